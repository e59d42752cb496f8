// The typical distance between neighbouring points of a table of voxel
// lists: what sizes a sphere so that a close-packed solid looks close-packed.
//
// Contract: typical_spacing() reads the nodes (never writes them) and
// returns the median, over an evenly strided sample of at most kSpacingSample
// points, of each one's distance to its nearest other point, in the nodes'
// own units (the cube -0.5..0.5). Points at the same place as their query
// (closer than 1e-7 of the cloud's extent) are not neighbours, so a frame
// with duplicated rows still gets the spacing of its distinct sites. Returns
// 0 when no sampled point has a neighbour (one point, or all at one place).
// Cost: O(n) for the cell grid (one pass to bound, one to count, one to
// fill) plus a few cells' worth of distances per sampled point.
#ifndef VORLIX_VIEWER_SPACING_H
#define VORLIX_VIEWER_SPACING_H

#include "vorlix.h"

#include <cstddef>

namespace vv {

constexpr std::size_t kSpacingSample = 4096;

double typical_spacing(VoxelNode *const *lists, unsigned int count);

} // namespace vv

#endif
