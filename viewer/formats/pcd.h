// PCD point data (the point cloud library's format): x, y, z and the packed
// colour of every point.
#ifndef VORLIX_VIEWER_FORMATS_PCD_H
#define VORLIX_VIEWER_FORMATS_PCD_H

#include "viewer/cloud/cloud.h"
#include "viewer/io/source.h"

#include <string>

namespace vv {

// Reads a PCD file with DATA ascii or binary (packed little-endian records)
// into the cloud, every point with finite coordinates one voxel, fitted into
// the cube; points with a NaN or infinite coordinate (the holes of an
// organised cloud, HEIGHT > 1) are skipped and counted. Fields may come in
// any order, of any TYPE (I, U, F) and SIZE (1, 2, 4, 8), with any COUNT;
// x, y and z are the first value of their fields. Every other field of one
// value is kept as a scalar field (rgb, rgba and PCL's padding "_" aside);
// fields of several values are skipped. The colour is the packed 0x00RRGGBB
// of an `rgb` or `rgba` field of SIZE 4 (TYPE F holding the bits, or U);
// without one the voxels are marked kNoColour. DATA binary_compressed is
// refused, as is a file that ends before the POINTS its header declares
// (truncated_message(), row_counts.h). The source is read twice (bounds,
// then voxels). On failure returns false, the cloud cleared, with error set
// to "NAME: line N: problem" (header and ascii rows) or "NAME: problem".
bool read_pcd(io::Source &source, const std::string &name, Cloud &cloud, std::string &error);

} // namespace vv

#endif
