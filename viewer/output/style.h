// The style the voxels are drawn in (points, spheres, lit cubes), in true
// depth, as client OpenGL state set around the library's frame: the window,
// S, --screenshot, --screenshot-dir, --movie and the level-of-detail
// subsample all draw through render_styled, so they all look the same.
//
// Contract: render_styled(view, matrix) enables the depth test (every style,
// the bounding cube and the gizmo included), sets up the view's style, calls
// vorlix_render(matrix) (which clears, draws and swaps) and restores the
// OpenGL state it changed. It needs the window's current context and the
// viewport the library's reshape set. begin_style/end_style are the two
// halves, for a caller that must draw between the library's frame and the
// restore; end_style is safe to call twice.
#ifndef VORLIX_VIEWER_STYLE_H
#define VORLIX_VIEWER_STYLE_H

#include "viewer/app/view.h"

namespace vv {

void begin_style(const View &view);
void end_style(const View &view);
void render_styled(const View &view, const float *matrix);

// The size in pixels across of a sphere of `radius` cube units `depth` in
// front of the eye, in a viewport `height` pixels high, under the library's
// projection (half-height 0.4 at depth 1).
double sphere_pixels(double radius, double depth, int height);

} // namespace vv

#endif
