// vorlix-view's pictures: PNG files from rows read back from OpenGL.
#ifndef VORLIX_VIEWER_PNG_H
#define VORLIX_VIEWER_PNG_H

#include <string>

namespace vv {

// Writes an 8-bit RGB PNG from rows stored bottom-up (as glReadPixels gives
// them), through a temporary file renamed at the end so that a failed write
// never leaves a partial image. On failure returns false with error set to
// "PATH: cannot be written (reason)".
bool write_png(const std::string &path, int width, int height, const unsigned char *rgb_bottom_up,
               std::string &error);

// The first name vorlix-view-N.png (N from 1) not yet taken in the current
// directory: where the S key saves.
std::string next_save_name();

} // namespace vv

#endif
