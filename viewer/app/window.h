// vorlix-view's GLUT window: its title, its making, and the callbacks that
// turn input into the view's changes, saves, colourings and playback.
#ifndef VORLIX_VIEWER_APP_WINDOW_H
#define VORLIX_VIEWER_APP_WINDOW_H

#include "viewer/app/options.h"

#include <string>

namespace vv {

// The title tells what the colours mean: the file and its colouring, or
// the trajectory's or live run's description.
std::string title();
// The window's title brought up to date.
void retitle();
// GLUT started with argv's program name only (the rest of the command line
// is ours) and the window made, its view the command line's, the first table
// registered; the window's id. A headless run's window only carries the
// OpenGL context, so it is small and, with no event loop, never mapped.
int create_window(const Options &o, char **argv);
// The callbacks registered and the event loop run; it never returns.
[[noreturn]] void run_window();

} // namespace vv

#endif
