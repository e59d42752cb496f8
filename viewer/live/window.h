// A live run (--lammps) in vorlix-view's window and batches: the calls of
// app/live_hooks.h, built only with LAMMPS's library (live/window.cpp), over
// the session in app.live.
//
// LAMMPS (built without exceptions) ends the process itself on an error:
// its ERROR line printed, MPI finalized, exit(1) called on every rank. The
// exit handler below says whose error it was and, in a window, keeps the
// last frame up until Escape or the window closes.
#ifndef VORLIX_VIEWER_LIVE_WINDOW_H
#define VORLIX_VIEWER_LIVE_WINDOW_H

#include "viewer/app/live_hooks.h"

namespace vv {

// The exit handler (std::atexit): nothing unless LAMMPS is ending the
// process from inside one of its calls. Then ranks other than 0 leave at
// once; rank 0 tells the step it stopped at and, while the window's loop
// runs, runs an event loop of its own that shows the last frame, titled with
// what happened, until Escape or the window closes; the exit then goes on
// with LAMMPS's status. No LAMMPS or MPI call may follow, so the session is
// let go, never freed. Without a window it abandons the movie under way.
void hold_window_after_lammps_error();

} // namespace vv

#endif
