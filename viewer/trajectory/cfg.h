// Extended CFG files (LAMMPS's dump cfg, one frame a file) as a trajectory
// format: a row of the table in trajectory.cpp, read through the calls of
// trajectory.h. Hand-written: no Debian library reads CFG.
//
// A file is a header of "key = value" lines, then the atoms:
//   Number of particles = N
//   A = 1 Angstrom (basic length-scale)       scales H0 (1 when absent)
//   H0(i,j) = v A                              the cell's edge vectors, rows
//   .NO_VELOCITY.                              the rows hold no velocities
//   entry_count = E                            values an atom row holds
//   auxiliary[k] = name [unit]                 the names of the values after
//                                              the coordinates (and velocities)
//   then groups of: mass / element / atom rows "s1 s2 s3 [v1 v2 v3] aux..."
// Blank lines and lines starting with '#' are passed over anywhere. R = ...
// is ignored; Transform(i,j) and eta(i,j) are refused (LAMMPS never writes
// them). The standard CFG, without entry_count, is refused.
//
// A frame: the box is the cell H0*A from the origin, turned as LAMMPS turns
// one (a along +x, b in the xy plane; LAMMPS's own H0 is already so, so the
// box is its box moved to 0). Positions are the scaled coordinates put
// through it (position_columns "xs ys zs"), the element line before an atom
// row its element, its mass line the field "mass", the velocities fields
// vx vy vz, and each auxiliary a field under its name but "id" and "type",
// which are the ids and types. Frame::columns is "mass element xs ys zs
// [vx vy vz] aux...". The timestep is the last number in the file's name
// (t.100.cfg: 100), else 0: CFG holds none.
//
// Refused: a header without Number of particles or entry_count, an
// entry_count that is not 3 (6 with velocities) plus the auxiliaries, an
// atom row before any element, a row of other than entry_count values, a
// value that is not a number, atoms fewer or more than the header says, a
// count the file's bytes cannot hold (at the index, before anything is
// allocated).
#ifndef VORLIX_VIEWER_TRAJECTORY_CFG_H
#define VORLIX_VIEWER_TRAJECTORY_CFG_H

#include "viewer/trajectory/indexed.h"

#include <cstddef>

namespace vv {

namespace detail {

// Whether a file's first bytes are an extended CFG's: its first line (blank
// and '#' lines aside) is "Number of particles = ...".
bool looks_like_cfg(const char *data, std::size_t size);

// The CFG scan (the header alone) and frame parse.
extern const FormatSteps kCfgSteps;

} // namespace detail

} // namespace vv

#endif
