// Trajectory playback in the window: a timer shows one frame a tick when the
// reader has it ready (the frame shown never waits on parsing), steps wait
// for their one frame, and each frame shown has the next read ahead. Another
// timer takes in the whole-run pass when it ends (the title follows; the
// fit it brings waits for playing to pause).
#ifndef VORLIX_VIEWER_APP_PLAYBACK_H
#define VORLIX_VIEWER_APP_PLAYBACK_H

#include "viewer/play/player.h"

#include <cstddef>

namespace vv {

// Watches the player's whole-run pass, if one runs, from a GLUT timer.
void watch_whole_run();
// Frame k, already in the player's frame, into the nodes; the frame after it
// read ahead; the title and the picture follow.
void show_frame(std::size_t k);
// Waits for the step's frame (one parse), then shows it.
void go_to(Player::Step step);
// Frame k (below frames()), read on the reader's thread as a step's is.
void seek(std::size_t k);
// Space plays or pauses, , < slower and . > faster; true when the key was
// playback's.
bool playback_key(unsigned char key);
// Left, Right, Home, End: a frame back or forward, the first or last.
void playback_special(int key);

} // namespace vv

#endif
