// Opening the input named on the command line before any window exists, so
// that bad input ends with a message and never with a half-drawn frame: a
// point cloud loaded and coloured, a trajectory indexed with its first
// frame (or --frame's) in the nodes (every frame read first for a headless
// run that needs them; the window's come in from the background), or a
// live run started.
#ifndef VORLIX_VIEWER_APP_OPEN_H
#define VORLIX_VIEWER_APP_OPEN_H

#include "viewer/app/options.h"

namespace vv {

// The options into app, then the input opened. -1 to go on to the window
// or the batch; else the exit status, the reason told on stderr: 1 for
// input that cannot be read or drawn, 2 for what the command line got
// wrong about it (--frame or --frames for a point cloud, a frame beyond
// the trajectory, a colouring it does not have, --lammps without LAMMPS's
// library), or a live run's rank that is done.
int open_input(const Options &o, int &argc, char **&argv);

// The trajectory's atom rows left out for NaN or infinite positions, on
// stderr when there are any: at the start when the whole run was read
// first, else once the pass or the batch has read every frame.
void complain_skipped();

} // namespace vv

#endif
