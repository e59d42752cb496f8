// vorlix-view without a window to show: one picture of the input, or a
// trajectory's span of frames into PNG files or a movie (a live run's
// pictures: app/live_hooks.h), drawn off screen in the small window's
// OpenGL context. Failures are told on stderr.
#ifndef VORLIX_VIEWER_OUTPUT_HEADLESS_H
#define VORLIX_VIEWER_OUTPUT_HEADLESS_H

#include <string>

namespace vv {

// One frame of w x h of app.view off screen into the PNG file at `path`;
// false when it could not be written.
bool save_picture(const std::string &path, int w, int h);
// The pictures app asks for (a live run's or the input's), then the window
// destroyed and GLUT ended; the exit status, 0 when every picture was
// written, else 1.
int run_headless(int window);

} // namespace vv

#endif
