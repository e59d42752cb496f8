// The comment line of an XYZ frame as extended XYZ writes it (xyz.h): its
// key=value pairs, the timestep and the cell they give.
#ifndef VORLIX_VIEWER_TRAJECTORY_XYZ_COMMENT_H
#define VORLIX_VIEWER_TRAJECTORY_XYZ_COMMENT_H

#include "viewer/trajectory/frame.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vv {

namespace detail {

struct Pair {
    std::string key, value;
};

// The comment's key=value pairs; a bare word is a key with the value "T".
// Values are quoted ("...", a backslash escaping the next byte), braced
// ({...}) or run to the next blank; an unclosed quote runs to the end of the
// line, as a plain XYZ comment is free text.
void comment_pairs(const char *p, const char *e, std::vector<Pair> &pairs);

// The first pair whose key is `key` (lower case), ignoring case; or null.
const Pair *find_pair(const std::vector<Pair> &pairs, const char *key);

// The timestep step= or Timestep= gives: 1 found, 0 none, -1 not an integer
// (bad then that pair).
int comment_step(const std::vector<Pair> &pairs, std::int64_t &step, const Pair *&bad);

// The message for a step that is not an integer.
std::string bad_step(const Pair &pair);

// The box that Lattice=, Origin= and pbc= give (Box() without them); false
// with problem set when Lattice or Origin is not 9 or 3 finite numbers.
bool comment_box(const std::vector<Pair> &pairs, Box &box, std::string &problem);

// box.lo, hi and the tilts from box.cell with lo as the corner: the cell
// turned as LAMMPS turns one (a along +x, b in the xy plane).
void turn_cell(Box &box);

// The comment line LAMMPS's dump xyz writes: "Atoms. Timestep: N".
constexpr char kLammpsXyz[] = "Atoms. Timestep:";

// The timestep of such a comment: 1 found, 0 not LAMMPS's comment, -1 the
// step is not an integer.
int lammps_xyz_step(const char *b, const char *e, std::int64_t &step);

} // namespace detail

} // namespace vv

#endif
