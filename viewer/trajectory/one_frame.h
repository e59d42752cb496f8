// What the formats of one frame a file (extended CFG, data files) share:
// an index made from the file's header alone, and the step a file's name
// gives when the file itself holds none.
#ifndef VORLIX_VIEWER_TRAJECTORY_ONE_FRAME_H
#define VORLIX_VIEWER_TRAJECTORY_ONE_FRAME_H

#include "viewer/trajectory/indexed.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vv {

namespace detail {

// Reads a header from the first block of a file (data[0..size), the whole
// file when it is smaller than a block) into entry's timestep and atoms;
// false with error set ("NAME: frame 1: line L: problem").
using ReadHeader = bool (*)(const char *data, std::size_t size, const std::string &name,
                            FrameEntry &entry, std::string &error);

// The index of a file of one frame: the header read from its first block,
// the rest only streamed through for its length (no rows parsed). A count
// of more atoms than the file's bytes can hold at `row_bytes` a row is
// refused here, before anyone allocates for it.
bool index_one_frame(Source &source, const std::string &name, FrameIndex &index, std::string &error,
                     ReadHeader header, std::size_t row_bytes);

// The last run of digits in the file name's last part (LAMMPS writes the
// step where a dump's name has '*': t.*.cfg gives t.100.cfg), or 0.
std::int64_t step_from_name(const std::string &name);

} // namespace detail

} // namespace vv

#endif
