// LAMMPS binary dumps ("dump atom" and "dump custom" to a file named *.bin)
// as a trajectory format: a row of the table in trajectory.cpp, read through
// the calls of trajectory.h. Hand-written: no Debian package reads them
// (LAMMPS's own reader lives inside its library, behind a running LAMMPS).
//
// A frame, in the writer's byte order (native, 8-byte bigint):
//   bigint -len, the magic "DUMPATOM" or "DUMPCUSTOM" (len bytes),
//   int byte-order word (1), int format revision (2),
//   bigint timestep, bigint atoms, int triclinic (0 or 1),
//   int boundary[3][2] (0 p, 1 f, 2 s, 3 m), double xlo xhi ylo yhi zlo zhi
//   [xy xz yz] (for a triclinic box its bounding box, as in text dumps),
//   int size_one (values per atom), int units length + units,
//   char time flag [+ double time], int columns length + column names
//   (blank-separated), int nchunk, then per chunk (one per writing rank)
//   int n and n doubles: n / size_one atoms of size_one values each.
// Recognised by the magic, in either byte order; a file of the byte order
// this machine does not have is refused with a message that says so, as
// is a magic-less binary dump of older LAMMPS (recognised by the shape of
// its first header) and a format revision other than 2.
//
// The index reads each frame's header and chunk lengths and seeks past the
// chunks' values (lseek on a plain file): atoms are never parsed there. A
// frame whose chunks hold another count than its header, a bad header or
// chunk length is refused; a file that ends inside a frame keeps the frames
// before it, with a warning, as a text dump does.
//
// A frame: the columns mapped by name exactly as a text dump's (rows.h), so
// that colours and fields are the same; ids and types must be whole
// numbers. A count the frame's bytes cannot hold is refused before anything
// is allocated. Messages: "NAME: frame K: header: problem", "NAME: frame K:
// chunk C: problem" and "NAME: frame K: chunk C: row R: problem" (all from 1).
#ifndef VORLIX_VIEWER_TRAJECTORY_BINARY_DUMP_H
#define VORLIX_VIEWER_TRAJECTORY_BINARY_DUMP_H

#include "viewer/trajectory/indexed.h"

#include <cstddef>

namespace vv {

namespace detail {

// Whether a file's first bytes are a LAMMPS binary dump's, with the magic
// or (to be refused by name) without it.
bool looks_like_binary_dump(const char *data, std::size_t size);

// The binary dump's scan and frame parse.
extern const FormatSteps kBinaryDumpSteps;

} // namespace detail

} // namespace vv

#endif
