// Level of detail while the view moves: drags, the wheel and the zoom keys
// draw the point cloud's subsample (app.sample) until input pauses for
// kSettleMs, then the still frame draws every point again. Trajectories and
// live runs always draw all their atoms.
#ifndef VORLIX_VIEWER_APP_MOVING_H
#define VORLIX_VIEWER_APP_MOVING_H

namespace vv {

constexpr int kSettleMs = 200;

// The view moved: a redraw now, with the subsample until input pauses.
void moved();
// Registers the table the next frame draws with the library: the shown
// player's, or the cloud's; when `coarse` (the view moves) and there is a
// subsample, the subsample's, for cubes and spheres only as many of its
// leading lists as cost what its points would.
void use_table(bool coarse);

} // namespace vv

#endif
