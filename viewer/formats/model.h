// Every file that none of our own readers claims goes to the model importer
// (OBJ, OFF, STL and the many other formats it reads).
#ifndef VORLIX_VIEWER_FORMATS_MODEL_H
#define VORLIX_VIEWER_FORMATS_MODEL_H

#include "viewer/cloud/cloud.h"

#include <string>

namespace vv {

// Imports the file at `path` into the cloud: every vertex of every mesh
// instance in the scene (its node transforms applied) one voxel, fitted into
// the cube. A mesh the importer unrolled to one vertex per face corner (OBJ,
// STL) is folded back to one voxel per distinct position and colour, so a
// cube is 8 voxels and not 24. Vertex colours are kept, clamped to 0..1;
// without them the voxels are marked kNoColour. Vertices with a NaN or
// infinite coordinate are skipped and counted. On failure returns false with
// error set to "PATH: problem"; what the importer held is handed back to the
// system either way.
bool read_model(const std::string &path, Cloud &cloud, std::string &error);

} // namespace vv

#endif
