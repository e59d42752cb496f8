// Pictures written without a window, a trajectory's frames or a live run's:
// one PNG per picture into a directory, or one movie through ffmpeg. Needs the window's OpenGL
// context (frames are drawn off screen) and runs on its thread.
#ifndef VORLIX_VIEWER_BATCH_H
#define VORLIX_VIEWER_BATCH_H

#include "viewer/app/view.h"
#include "viewer/output/legend.h"
#include "viewer/play/player.h"

#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>

namespace vv {

// Frames first, first + step, ... up to but not including last; last 0, or
// beyond the trajectory, means to its end.
struct FrameSpan {
    std::size_t first = 0, last = 0, step = 1;
};

// The pictures of a batch, in order: how many, and how to put picture i
// (from 0) into the nodes and register its table, with the number its file
// is named by. False with error set when it cannot be had. The overlay, if
// set, gives what is drawn over each picture once it is put.
struct Pictures {
    std::size_t count = 0;
    std::function<bool(std::size_t i, std::size_t &number, std::string &error)> put;
    std::function<Overlay()> overlay;
};

// A trajectory's span as pictures, numbered by frame, each frame parsed
// ahead on every core (viewer/play/frame_pool.h). False with error set for
// a first frame beyond the trajectory; last is clipped to its end.
bool frame_pictures(Player &player, FrameSpan span, Pictures &pictures, std::string &error);

// DIR/frame_KKKKKK.png (K the picture's number, six digits or more) for each
// picture, DIR created if missing. Each file is whole or absent. On failure
// returns false with error set, and the files it wrote are removed (and
// DIR, when it made DIR and nothing else is in it).
bool write_frame_pngs(const Pictures &pictures, const View &view, const std::string &dir, int w,
                      int h, std::string &error);

// A movie being written: its ffmpeg and the file it writes into, kept by
// the caller while write_movie runs, so that abandon_movie can end it.
struct MovieUnderWay {
    pid_t pid = -1; // none
    std::string part;
};

// One movie of the pictures at 30 frames per second: raw RGB frames piped
// into ffmpeg, which encodes into a temporary name renamed to `path` at the
// end; `under_way` says so meanwhile. On any failure (ffmpeg not on PATH,
// an odd size, ffmpeg's own failure, a picture that cannot be had) returns
// false with error set and leaves no file.
bool write_movie(const Pictures &pictures, const View &view, const std::string &path, int w, int h,
                 std::string &error, MovieUnderWay &under_way);

// Ends the movie under way, if any, leaving no file: for a process ended in
// the middle of one (LAMMPS exits on an error). Not for signal handlers.
void abandon_movie(MovieUnderWay &under_way);

} // namespace vv

#endif
