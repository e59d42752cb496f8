// Colours for atoms drawn by what they are: the customary colour of each
// chemical element, and a fixed palette for LAMMPS atom types, which carry
// no chemistry of their own.
#ifndef VORLIX_VIEWER_ELEMENTS_H
#define VORLIX_VIEWER_ELEMENTS_H

#include <cstdint>
#include <string>

namespace vv {

// The element's customary colour (0..1) for its symbol ("Fe", case as
// written in the periodic table); false, rgb untouched, for anything else.
bool element_colour(const std::string &symbol, float rgb[3]);

// Colour of an element name that element_colour does not know: mid grey.
constexpr float kUnknownElementGrey = 0.6f;

// Number of distinct colours in the type palette.
constexpr int kTypeColours = 10;

// Atom type t's colour: types 1, 2, ... take the palette's colours in turn,
// so neighbouring types always differ; the palette repeats after
// kTypeColours types (any integer, negatives included, maps somewhere).
void type_colour(std::int32_t type, float rgb[3]);

} // namespace vv

#endif
