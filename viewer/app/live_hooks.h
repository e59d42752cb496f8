// What the program asks of a live run (--lammps), whether or not it was built
// with LAMMPS's library. live/window.cpp implements these with it;
// app/no_live.cpp without it, where --lammps is refused and app.live stays
// empty. CMake picks one of the two files, so nothing else needs to know.
// The calls other than live_built() and open_live() are made only while
// app.live holds a session.
#ifndef VORLIX_VIEWER_APP_LIVE_HOOKS_H
#define VORLIX_VIEWER_APP_LIVE_HOOKS_H

#include "viewer/app/options.h"
#include "viewer/play/player.h"

#include <string>

namespace vv {

// Whether --lammps is there.
bool live_built();
// Every rank: MPI and LAMMPS started on the script, up to its first run;
// ranks other than 0 follow rank 0's chunks to the end here. The exit
// status for a rank that is done, or for a failure (told on stderr), or -1
// for rank 0 to go on to its window or batch.
int open_live(const Options &o, int &argc, char **&argv);
// The live run's player, whose nodes are drawn.
Player *live_player();
// The title's words for the run: step, atoms, speed, colours, its state.
std::string live_describe();
// Space pauses or resumes the run; true when the key was the run's.
bool live_key(unsigned char key);
// Escape: ends LAMMPS on every rank, and false; true instead when the
// window is held after a LAMMPS error, which it lets go (the exit under way
// then goes on with LAMMPS's status).
bool quit_live();
// The window's live parts: closing it ends the run as Escape does, the
// chunks tick, and the window is kept up should LAMMPS end on an error.
void start_live_window();
// No window: the picture after --steps, or the pictures every --every steps
// up to them; the exit status.
int shoot_live();
// Ends LAMMPS on every rank, then MPI; nothing if already done.
void end_live();

} // namespace vv

#endif
