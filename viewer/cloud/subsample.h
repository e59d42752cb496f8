// Level of detail: a fixed subsample of a large cloud, drawn while the view
// moves so that orbiting stays fluid; the still frame draws every point.
//
// The subsample is a Cloud of its own: a small block of copies (position and
// colour) of at most `budget` of the full cloud's points, linked into its own
// list table with the full table's list length. It is built once after the
// load; switching between the two tables is one set_liste_voxels call, and
// nothing is copied per frame.
//
// The points are chosen by strata: the full block is cut into `budget` runs
// of consecutive points and one point is taken from each, at a place that
// varies from run to run. Every part of the file gets its share, and a
// regular layout (scan rows, organised grids) does not line up with a fixed
// stride and leave whole columns out. The runs are visited in an order that
// keeps every prefix of the table spread over the whole cloud, so that its
// first lists alone are a coarser subsample (for cubes, which cost more).
#ifndef VORLIX_VIEWER_LOD_H
#define VORLIX_VIEWER_LOD_H

#include "viewer/cloud/cloud.h"

#include <cstddef>

namespace vv {

// Points drawn while the view moves, unless --lod says otherwise: about
// 33 ms a frame on llvmpipe on our 2-core machine (README, bench/viewer_frame).
constexpr std::size_t kDefaultLodBudget = 100000;
// A cube costs about as much to draw as 10 to 20 points (bench/viewer_frame
// --cubes), so in cube mode a moving frame draws this many times fewer voxels.
constexpr std::size_t kCubeCost = 16;
// A sphere (output/style.cpp's program) costs about 3 points at the default
// radius of a dense cloud (bench/viewer_style --lod): spheres while moving
// draw a third of the subsample.
constexpr std::size_t kSphereCost = 3;

// Makes `sample` the subsample of `full` within `budget` points: exactly
// `budget` copies when full has more points than that, else nothing (sample
// cleared: the full table is cheap enough to draw always). budget 0 turns
// level of detail off. Returns false, sample cleared, only when the memory
// is not there.
bool build_subsample(const Cloud &full, std::size_t budget, Cloud &sample);

// Copies position and colour again from `full` into the subsample built from
// it, into the same nodes (no allocation, lists untouched): call it after
// rewriting the full block's colours or positions, so that the moving frame
// shows them too. `full` must have the count it had at build time; an empty
// sample is left as it is.
void refresh_subsample(const Cloud &full, Cloud &sample);

// How many leading lists of the subsample's table hold about `points`
// points, rounded down to whole lists but at least one (none for an empty
// sample): registered alone, they draw a coarser sample of the whole cloud.
std::size_t leading_lists(const Cloud &sample, std::size_t points);

} // namespace vv

#endif
