// The call streams the library documents for its drawing pieces, as
// `apitrace dump` prints them (trace.h), for tests to compare traces with.
#ifndef VORLIX_TEST_LIBRARY_CALLS_H
#define VORLIX_TEST_LIBRARY_CALLS_H

#include "trace.h"

#include <vector>

namespace vt {

// A voxel as a client gives it: centre and colour.
struct Voxel {
    float x, y, z, r, g, b;
};

// draw_cube_englobant: one GL_LINES pair, twelve edges of the cube -0.5..0.5;
// the three edges leaving (-,-,-) carry the axis colours as given (negative
// components included), the other nine are grey.
Calls bounding_cube_calls();
// draw_axes(sx, sy, sz): push, scale, the X mark and three unit axes in red,
// green, blue, pop.
Calls axes_calls(float sx, float sy, float sz);
// draw_voxels_points: the point size, then one GL_POINTS pair with colour
// before vertex for each voxel in order.
Calls points_calls(const std::vector<Voxel> &voxels, float size);
// One voxel of draw_voxels_cubes: GL_NORMALIZE, then one GL_QUADS pair with
// six faces (+Z, -Z, +Y, -Y, +X, -X), each colour, normal, four corners.
Calls voxel_cube_calls(const Voxel &v, float edge);

} // namespace vt

#endif
