// Frames rendered into an off-screen framebuffer and read back, for
// --screenshot and the S key. Needs the current OpenGL context (the
// window's) and the cloud already handed to the library.
#ifndef VORLIX_VIEWER_OFFSCREEN_H
#define VORLIX_VIEWER_OFFSCREEN_H

#include "viewer/app/view.h"
#include "viewer/output/legend.h"

#include <string>
#include <vector>

namespace vv {

// Renders one frame of `view` at w x h through vorlix_render into a
// framebuffer object of that size and reads it back as RGB rows from the
// bottom up. Returns false with error set when this OpenGL has no
// framebuffer objects, the size is larger than it allows, or the
// framebuffer cannot be set up. Leaves the window's framebuffer bound and
// the library's viewport at w x h: the caller reshapes back. The overlay,
// when given, is drawn over the frame before it is read.
bool render_offscreen(const View &view, int w, int h, std::vector<unsigned char> &rgb,
                      std::string &error, const Overlay *overlay = nullptr);

// render_offscreen, then write_png: one frame of w x h into the PNG file
// `path`. On failure returns false with error set.
bool save_frame(const std::string &path, const View &view, int w, int h, std::string &error,
                const Overlay *overlay = nullptr);

} // namespace vv

#endif
