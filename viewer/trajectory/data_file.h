// LAMMPS data files (write_data's, and those written for read_data by hand
// or by tools) as a trajectory format of one frame: a row of the table in
// trajectory.cpp, read through the calls of trajectory.h. Hand-written:
// LAMMPS's library reads a data file only into a running simulation.
//
// A file is a title line, a header, then sections:
//   title                        write_data's "..., timestep = N, ..." gives
//                                the step (else 0)
//   N atoms / N atom types       the counts kept; other counts are passed over
//   lo hi xlo xhi (ylo yhi, zlo zhi)          the box (else -0.5 0.5, as LAMMPS)
//   xy xz yz xy xz yz            the tilts: a triclinic box
//   Masses                       "type mass" rows: the field "mass" per atom
//   Atoms # style                the atoms, columns as the style gives them
//   Velocities                   "id vx vy vz ...": the fields vx vy vz,
//                                matched by id (0 for an atom without one)
//   any other section            passed over, up to the next section's name
// A '#' starts a comment on any line (the Atoms section's, the style). A section
// name is a line whose first character is a letter; rows start with a
// number.
//
// Atom styles and their columns (LAMMPS's names; id, type and x y z go to
// Frame's ids, types and positions, every other column is a field):
//   atomic id type x y z                 charge id type q x y z
//   molecular, bond, angle id mol type x y z
//   full id mol type q x y z             sphere id type diameter density x y z
//   ellipsoid id type ellipsoidflag density x y z
//   dipole id type q x y z mux muy muz   peri id type volume density x y z
//   body id type bodyflag mass x y z     dpd id type theta x y z
//   line, tri id mol type lineflag|triangleflag density x y z
// Without the style comment, the style is the one the column count leaves
// (5 or 8: atomic); otherwise the file is refused with a message asking for
// the comment. Three more integer columns are the image flags, fields ix iy
// iz; positions are as written (not unwrapped). Frame::columns are the
// style's (and ix iy iz), position_columns "x y z".
//
// The index reads the header alone: the atom count and the timestep.
// Refused: no "atoms" line, an unknown style, Atoms rows fewer than the
// header's count (ended by a section, a blank line or the file), a row with
// another column count than the first, a bad value, a Velocities id no atom
// has, no Atoms section while the header counts atoms, a count the file's
// bytes cannot hold (at the index, before anything is allocated).
#ifndef VORLIX_VIEWER_TRAJECTORY_DATA_FILE_H
#define VORLIX_VIEWER_TRAJECTORY_DATA_FILE_H

#include "viewer/trajectory/indexed.h"

#include <cstddef>

namespace vv {

namespace detail {

// Whether a file's first bytes are a data file's: after the title line,
// the lines up to "N atoms" (blank and '#' lines aside) start with a number.
bool looks_like_data_file(const char *data, std::size_t size);

// The data file's scan (the header alone) and frame parse.
extern const FormatSteps kDataSteps;

} // namespace detail

} // namespace vv

#endif
