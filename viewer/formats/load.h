// Loading a file into a cloud, whatever its format: picks the reader.
#ifndef VORLIX_VIEWER_FORMATS_LOAD_H
#define VORLIX_VIEWER_FORMATS_LOAD_H

#include "viewer/cloud/cloud.h"

#include <string>

namespace vv {

// Loads the file at `path`: a file whose extension (in any case) one of our
// readers claims goes to that reader, any other to the model importer after
// the OFF row count check (a PLY file under another name goes to our PLY
// reader, told by its first line, a PCD file to our PCD reader, told by
// its VERSION line, and a LAS file to our LAS reader, told by "LASF"; a
// ".laz" file is refused). A gzip- or zstd-compressed file (told by its first
// bytes) is read decompressed by our readers, its name taken without ".gz"
// or ".zst"; one
// that none of them reads is refused. Then colours the voxels that have no
// colour by height and links the lists. On failure returns false with error
// set to "PATH: problem" and the cloud cleared.
bool load_cloud(const std::string &path, Cloud &cloud, std::string &error);

} // namespace vv

#endif
