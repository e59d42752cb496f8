// How vorlix-view colours its points: by height (the ramp of cloud.h), by
// the file's own colours, or by a scalar field through one perceptually
// uniform colour map, the map that everything colouring by a value shares.
#ifndef VORLIX_VIEWER_COLOUR_H
#define VORLIX_VIEWER_COLOUR_H

#include "viewer/cloud/cloud.h"

#include <cstddef>
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

// What the cloud can be coloured by, in the order a key cycles through
// them: "height", then "file" when the file gave colours, then each field.
std::vector<std::string> colourings(const Cloud &cloud);

// Colours every point by `name`, one of colourings(): the height ramp, the
// file's colours (put aside the first time they are replaced, to 8 bits per
// channel, what the frame buffer holds), or the field through colour_map
// over its finite range (lo and hi equal: the middle), missing values grey.
// Returns false, the colours unchanged, with error set to
// "no field 'NAME' to colour by (height, file, ...)" for any other name, or
// "not enough memory ..." when file colours cannot be put aside.
bool colour_by(Cloud &cloud, const std::string &name, std::string &error);

// The colouring after `current` in colourings(), the first after the last.
std::string next_colouring(const Cloud &cloud, const std::string &current);

// For the window title: "height", "file colours", or "NAME LO .. HI".
std::string describe_colouring(const Cloud &cloud, const std::string &name);

} // namespace vv

#endif
