// Plain-text XYZ: "x y z" or "x y z r g b" per line.
#ifndef VORLIX_VIEWER_FORMATS_XYZ_H
#define VORLIX_VIEWER_FORMATS_XYZ_H

#include "viewer/cloud/cloud.h"
#include "viewer/io/source.h"

#include <string>

namespace vv {

// Reads XYZ into the cloud, every finite point one voxel, fitted into the
// cube; points with a NaN or infinite coordinate are skipped and counted.
// Colours are 0..255 or 0..1 for the whole file (0..255 as soon as one value
// is above 1); without colours the voxels are marked kNoColour. Blank lines
// and # comments are skipped; spaces, tabs, commas or semicolons separate
// the numbers. The source is read twice (bounds, then voxels). On failure
// returns false, the cloud cleared, with error set to "NAME: line N:
// problem" or "NAME: problem".
bool read_xyz(io::Source &source, const std::string &name, Cloud &cloud, std::string &error);

} // namespace vv

#endif
