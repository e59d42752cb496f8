// vorlix-view's one state block. Everything the program changes while it
// runs (the input drawn, the view, the window's input, the timers, the live
// run) is a member of App, and `app` (app/state.cpp) is its one instance: a
// mutable global anywhere else in viewer/ is a bug. The window's callbacks,
// the timers and the batches all run on the main thread; the frame reader's,
// the whole-run pass's and a batch's reading threads only read the
// trajectory the player holds.
#ifndef VORLIX_VIEWER_APP_STATE_H
#define VORLIX_VIEWER_APP_STATE_H

#include "viewer/app/view.h"
#include "viewer/cloud/cloud.h"
#include "viewer/output/batch.h"
#include "viewer/play/frame_reader.h"
#include "viewer/play/player.h"

#include <memory>
#include <string>

namespace vv {

class LiveSession; // built only with LAMMPS's library: app/live_hooks.h

struct App {
    std::string file; // as given: the titles and messages name it
    // No window, one picture into `screenshot`; or a batch (a trajectory's
    // `span`, a live run's pictures) into PNGs in `shot_dir` or a `movie`.
    std::string screenshot, shot_dir, movie;
    FrameSpan span;
    int shot_w = 0, shot_h = 0;
    MovieUnderWay movie_under_way; // for an exit in the middle of a movie

    // A point cloud, what it is coloured by now, and its level-of-detail
    // subsample (empty: every frame draws all).
    Cloud cloud;
    std::string colouring;
    Cloud sample;
    View view;
    // Legend and label drawn on the picture (off: --no-overlay); the
    // window's frame under way draws them at the library's swap.
    bool overlay = true, swap_overlay = false;

    // The window's input: a save asked for, the drag under way.
    bool save_pending = false;
    enum class Drag { None, Orbit, Pan, Timeline } dragging = Drag::None;
    int drag_x = 0, drag_y = 0;
    // Level of detail: the view moves (frames draw the subsample), the
    // settle timer is pending, the latest input (GLUT_ELAPSED_TIME, ms).
    bool moving = false, settle_armed = false;
    int last_input = 0;

    // A trajectory: the player owns the nodes; the reader parses the next
    // frame on its own thread. The library is called from this thread only.
    std::unique_ptr<Player> player;
    // The typical nearest-neighbour spacing of its first frame, in cube
    // units, measured at open: the default sphere radius is half of it.
    double first_spacing = 0;
    std::unique_ptr<FrameReader> reader;
    bool ticking = false;        // a playback (or live run) timer is pending
    bool skipped_untold = false; // a batch over every frame tells them at its end
    bool looping = false;        // the window's event loop runs

    // --lammps: the simulation runs in this process a chunk per timer tick;
    // its player's nodes are drawn. Made and freed by live/window.cpp (the
    // deleter comes with it); steps and every are the headless batch's.
    std::unique_ptr<LiveSession, void (*)(LiveSession *)> live{nullptr, nullptr};
    long long live_steps = 0, live_every = 0;
    bool live_closed = false; // LAMMPS ended (or let go) on this rank
    int live_rank = 0;
    bool holding = false; // the window is kept up after a LAMMPS error

    // No window to show: one picture, or a batch of them.
    bool headless() const { return !screenshot.empty() || !shot_dir.empty() || !movie.empty(); }
};

extern App app;

// The player whose nodes are drawn: the trajectory's or the live run's;
// null for a point cloud.
Player *shown_player();

// An error on stderr under the program's name, one line.
void complain(const std::string &error);

} // namespace vv

#endif
