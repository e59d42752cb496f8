// How vorlix-view colours points and atoms: one engine for clouds,
// trajectory frames and live runs. A name picks the colouring from a list
// (one wording for a name not in it, one wrap to the next); a quantity (a
// named array of values, or an atom's type or element) becomes colours
// through one entry, so a value always meets the same map and the same grey.
// Clouds add their height ramp and their file's own colours.
#ifndef VORLIX_VIEWER_COLOUR_H
#define VORLIX_VIEWER_COLOUR_H

#include "viewer/cloud/cloud.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vv {

// Viridis: dark blue-violet at 0, teal half way, yellow at 1, its lightness
// (CIE L*) rising evenly from 16 to 91, so equal steps of value look equal
// and the map reads in grey too. t is clamped to 0..1; NaN gives the middle.
void colour_map(float t, float rgb[3]);

// The colour of points whose field has no finite value.
constexpr float kMissingGrey = 0.5f;

// The finite lo..hi of `n` values; empty when none is finite.
struct Range {
    float lo = 0, hi = 0;
    bool empty = true;
};
Range range_of(const float *values, std::size_t n);

// The field called `name` among `fields`; nullptr when there is none.
const Field *find_field(const std::vector<Field> &fields, const std::string &name);

// True when `name` is one of `names`; otherwise false with error set to
// "no quantity 'NAME' to colour by (A, B, ...)", the list being `names`.
bool check_colouring(const std::vector<std::string> &names, const std::string &name,
                     std::string &error);

// The name after `current` in `names` (not empty): the first after the
// last, and when `current` is not among them.
std::string next_colouring(const std::vector<std::string> &names, const std::string &current);

// Colours nodes[0, n) by values[0, count) through colour_map over `range`,
// lo to hi (lo equal to hi: the middle of the map); a value that is not
// finite, or past `count`, gives kMissingGrey.
void paint_values(const float *values, std::size_t count, const Range &range, VoxelNode *nodes,
                  std::size_t n);

// What nodes can be coloured by, borrowed and plain: per-node fields, and
// for atoms their LAMMPS types and elements (indices into element_names).
// A null pointer: the nodes have no such quantity.
struct Quantities {
    const std::vector<Field> *fields = nullptr;
    const std::vector<std::int32_t> *type = nullptr;
    const std::vector<std::uint32_t> *element = nullptr;
    const std::vector<std::string> *element_names = nullptr;
};

// The one entry for colouring nodes[0, n) by a quantity. "type" (when the
// nodes have types): type_colour, type 1 past the end of the types;
// "element" (when they have elements): element_colour, kUnknownElementGrey
// for a name it does not know, kMissingGrey without one; any other name: the
// field of that name through paint_values, over `*range` if given, else over
// its own finite range (a field the nodes lack: all grey). Returns the range
// a field was coloured over, empty for type and element.
Range paint_quantity(const Quantities &q, const std::string &name, const Range *range,
                     VoxelNode *nodes, std::size_t n);

// What the cloud can be coloured by, in the order a key cycles through
// them: "height", then "file" when the file gave colours, then each field.
std::vector<std::string> colourings(const Cloud &cloud);

// Colours every point by `name`, one of colourings(): the height ramp, the
// file's colours (put aside the first time they are replaced, to 8 bits per
// channel, what the frame buffer holds), or the field through
// paint_quantity. Returns false, the colours unchanged, with error set by
// check_colouring for any other name, or to "not enough memory ..." when
// file colours cannot be put aside.
bool colour_by(Cloud &cloud, const std::string &name, std::string &error);

// The colouring after `current` in colourings(), the first after the last.
std::string next_colouring(const Cloud &cloud, const std::string &current);

// For the window title: "height", "file colours", or "NAME LO .. HI".
std::string describe_colouring(const Cloud &cloud, const std::string &name);

} // namespace vv

#endif
