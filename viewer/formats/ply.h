// PLY point data: the x, y, z and colour of each row of the vertex element,
// and its other numbers as scalar fields.
#ifndef VORLIX_VIEWER_FORMATS_PLY_H
#define VORLIX_VIEWER_FORMATS_PLY_H

#include "viewer/cloud/cloud.h"
#include "viewer/io/source.h"

#include <string>

namespace vv {

// Reads a PLY file (ascii, binary_little_endian or binary_big_endian) into
// the cloud, every vertex row with finite coordinates one voxel, fitted into
// the cube; rows with a NaN or infinite coordinate are skipped and counted.
// x, y and z may have any numeric type. The colour comes from one naming
// set, the first the vertex has all three of: red/green/blue, then
// diffuse_red/diffuse_green/diffuse_blue, then r/g/b; 0..255 for byte (and
// 32-bit integer) types, 0..65535 for 16-bit ones, 0..1 for floating point
// ones, clamped. Without a whole set the voxels are marked kNoColour. Every
// other numeric property of a vertex (a colour name of another set too) is
// kept as a scalar field, alpha aside; list properties are skipped. The rows
// of other elements are skipped before the vertex element and counted after
// it. A file that ends before the rows its header declares is refused with
// truncated_message() (row_counts.h). The source is read twice (bounds,
// then voxels); a binary file with float x, y and z and no skipped row is
// read once, its voxels stored as they are measured and fitted in place
// (the same bits). On failure returns false, the cloud cleared, with error
// set to "NAME: line N: problem" (header and ascii rows) or "NAME: problem".
bool read_ply(io::Source &source, const std::string &name, Cloud &cloud, std::string &error);

} // namespace vv

#endif
