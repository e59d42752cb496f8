// LAS point data (airborne and terrestrial lidar): the coordinates, colour,
// intensity and classification of every point record.
#ifndef VORLIX_VIEWER_FORMATS_LAS_H
#define VORLIX_VIEWER_FORMATS_LAS_H

#include "viewer/cloud/cloud.h"
#include "viewer/io/source.h"

#include <string>

namespace vv {

// Reads an uncompressed LAS 1.0 to 1.4 file with point data format 0 to 10
// into the cloud, every point record one voxel (withheld and overlap points
// included), fitted into the cube. Coordinates are X * scale + offset in
// double precision until they are centred, so georeferenced files keep
// their millimetres; the bounds come from the records, not from the
// header's minimum and maximum. Z (elevation) becomes the voxels' y, the
// screen's up axis, and Y (north) their -z, so terrain lies flat, seen from
// the south, and the height ramp follows elevation. Records may be longer than their format
// (extra bytes), never shorter. The point count is the 1.4 64-bit count
// when it is set, the legacy 32-bit count otherwise.
// Colours (formats 2, 3, 5, 7, 8, 10) are 16-bit, but many writers store
// 0..255 in them: when no red, green or blue value in the file exceeds 255
// they are taken as 8-bit (0..255), otherwise as 16-bit (0..65535). A
// 16-bit file so dark that every value is at most 255 is shown brighter
// than it is, the choice the common lidar tools make too. Without colours
// the voxels are marked kNoColour.
// Two fields are kept: "intensity" and "classification" (the low 5 bits of
// the byte in formats 0 to 5, the whole byte in 6 to 10).
// Refused with "NAME: problem", the cloud cleared: another signature than
// "LASF", an unknown version or format, a header or record length too
// short, point data starting inside the header, LAZ (compressed, told by
// bit 7 or 6 of the format byte), and a file that ends before the records
// its header declares (truncated_message(), row_counts.h), checked against
// the file's length before any allocation. The source is read once.
bool read_las(io::Source &source, const std::string &name, Cloud &cloud, std::string &error);

// A ".laz" file: always refused, "NAME: LAZ (compressed LAS) is not
// supported; decompress it to .las first".
bool read_laz(io::Source &source, const std::string &name, Cloud &cloud, std::string &error);

} // namespace vv

#endif
