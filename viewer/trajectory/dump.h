// LAMMPS text dumps ("dump atom", "dump custom" and their /gz forms) as a
// trajectory format: a row of the table in trajectory.cpp, read through the
// calls of trajectory.h.
//
// A dump is a run of frames, each:
//   ITEM: TIMESTEP / step / ITEM: NUMBER OF ATOMS / N /
//   ITEM: BOX BOUNDS [xy xz yz] b b b / three lines "lo hi [tilt]" /
//   ITEM: ATOMS column... / N rows of as many fields.
// "ITEM: UNITS" and "ITEM: TIME" sections (dump_modify units/time) may stand
// before a frame's TIMESTEP and are passed over. Lines in messages count
// from 1 at the frame's "ITEM: TIMESTEP" line.
//
// The index: each frame's header (timestep and atom count) is read, its
// lines counted. Refused besides a short frame before the last: a header
// that is not a dump's, bytes before the first frame other than UNITS/TIME
// sections, an empty file.
//
// A frame: the box (a triclinic one converted back from its bounding box,
// see Box in frame.h); the columns mapped by name (rows.h: the positions
// from x, xu, xs or xsu, id, type, element, every other column a field,
// all numbers). Refused: rows fewer or more than NUMBER OF ATOMS, a row
// whose field count differs from ITEM: ATOMS, a bad value, no position
// columns, a count the frame's bytes cannot hold (refused before anything
// is allocated).
#ifndef VORLIX_VIEWER_TRAJECTORY_DUMP_H
#define VORLIX_VIEWER_TRAJECTORY_DUMP_H

#include "viewer/trajectory/indexed.h"

#include <cstddef>

namespace vv {

namespace detail {

// Whether a file's first bytes are a dump's: they start with an ITEM: line.
bool looks_like_dump(const char *data, std::size_t size);

// The dump's scan and frame parse.
extern const FormatSteps kDumpSteps;

// A triclinic box as dumps write it (lo and hi its bounding box, the tilts
// set) turned into LAMMPS's own (see Box in frame.h); text and binary dumps
// alike.
void from_bounding_box(Box &box);

} // namespace detail

} // namespace vv

#endif
