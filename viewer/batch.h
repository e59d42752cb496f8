// A trajectory's frames written without a window: one PNG per frame into a
// directory, or one movie through ffmpeg. Needs the window's OpenGL context
// (frames are drawn off screen) and runs on its thread.
#ifndef VORLIX_VIEWER_BATCH_H
#define VORLIX_VIEWER_BATCH_H

#include "viewer/player.h"
#include "viewer/view.h"

#include <cstddef>
#include <string>

namespace vv {

// Frames first, first + step, ... up to but not including last; last 0, or
// beyond the trajectory, means to its end.
struct FrameSpan {
    std::size_t first = 0, last = 0, step = 1;
};

// DIR/frame_KKKKKK.png (K the frame's number from 0, six digits or more)
// for each frame of the span, DIR created if missing. Each file is whole or
// absent. On failure returns false with error set; the files written before
// it stay.
bool write_frame_pngs(Player &player, const View &view, const std::string &dir, FrameSpan span,
                      int w, int h, std::string &error);

// One movie of the span at 30 frames per second: raw RGB frames piped into
// ffmpeg, which encodes into a temporary name renamed to `path` at the end.
// On any failure (ffmpeg not on PATH, an odd size, ffmpeg's own failure) returns
// false with error set and leaves no file.
bool write_movie(Player &player, const View &view, const std::string &path, FrameSpan span, int w,
                 int h, std::string &error);

} // namespace vv

#endif
