// Multi-frame XYZ files, plain and extended, as a trajectory format: a row
// of the table in trajectory.cpp, read through the calls of trajectory.h.
//
// A file is a run of frames, each:
//   N                      the atom count, alone on its line
//   comment                any text; extended XYZ puts key=value pairs here
//   N rows                 Symbol x y z [more columns]
// Blank lines may stand between frames and at the end.
//
// Extended XYZ: the comment's pairs are blank-separated, key=value, with
// values in double quotes where they hold blanks (\" and \\ escape inside).
// Keys are matched ignoring case:
//   Lattice="ax ay az bx by bz cx cy cz"   the cell's edge vectors: Box with
//                                          has_cell, and its LAMMPS form
//   Origin="x y z"                         the cell's corner (else 0 0 0)
//   pbc="T T F"                            Box::boundary "pp" or "ff"
//   Properties=name:type:count:...         the row's columns, in order; type
//                                          S string, R real, I integer, L logical
//   step= or Timestep=                     the frame's timestep (an integer)
// With Properties, "pos" (R:3) gives the positions, "species" (S:1) the
// elements, every other R or I column a field: named as the property when its
// count is 1, name_0, name_1... otherwise ("forces_0 forces_1 forces_2");
// other S and L columns are skipped. Frame::columns holds those expanded
// names in order ("species pos_0 pos_1 pos_2 ..."), position_columns "pos".
// LAMMPS's dump xyz is plain XYZ whose comment is "Atoms. Timestep: N" (the
// timestep) and whose first column is the type number, or the element after
// dump_modify element: a frame whose first row starts with an integer is
// read as "type x y z", types in Frame::type.
// Without Properties (plain XYZ) a row is "element x y z" (mapped by those
// names as a dump's columns are, rows.h) and any further
// columns, all numbers, become fields named by their 1-based place: col5,
// col6...; columns are "element x y z col5...", position_columns "x y z".
// Every row of a frame has as many columns as its first (plain) or as
// Properties gives (extended).
//
// The timestep is step=/Timestep= (or LAMMPS's Timestep: N) when the comment
// has it, else the frame's place in the file counting from 0. XYZ files carry
// no ids: Frame::id stays empty, and so does Frame::type but for LAMMPS's.
//
// Lines in messages count from 1 at the frame's count line.
//
// The index: each frame's count line and comment are read, its N rows only
// counted, not parsed; a last frame cut short (as a file still being written
// is: rows count only when their newline is there) is dropped with a
// warning. Refused: a count line that is not a non-negative integer (so also
// a frame before whose rows are fewer or more than its count), a bad step=
// value, an empty file.
//
// A frame: refused are rows fewer or more than the count, a row whose column
// count differs, a value that is not a number in a number column, an unknown
// Properties type, a Properties without pos, a Lattice or Origin that is not
// 9 or 3 finite numbers, a count the frame's bytes cannot hold (refused
// before anything is allocated).
#ifndef VORLIX_VIEWER_TRAJECTORY_XYZ_H
#define VORLIX_VIEWER_TRAJECTORY_XYZ_H

#include "viewer/trajectory/indexed.h"

#include <cstddef>

namespace vv {

namespace detail {

// Whether the first bytes of a file are a trajectory XYZ's: its first
// non-blank line is one non-negative integer and its third line starts with
// a token that is not a number (an element symbol), or is four numbers the
// first an integer (LAMMPS's dump xyz: type x y z). A point-cloud XYZ has
// three or six numbers a line, never one.
bool looks_like_xyz_trajectory(const char *data, std::size_t size);

// The XYZ scan and frame parse.
extern const FormatSteps kXyzSteps;

} // namespace detail

} // namespace vv

#endif
