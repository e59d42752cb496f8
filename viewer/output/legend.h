// What a picture says about itself besides its atoms, worked out without
// OpenGL: the colour legend (a bar of the map with its quantity and values,
// or a swatch per type or element present), the label of a trajectory's
// frame, and where the frame lies in the run. output/overlay.h draws it.
#ifndef VORLIX_VIEWER_OUTPUT_LEGEND_H
#define VORLIX_VIEWER_OUTPUT_LEGEND_H

#include "viewer/cloud/cloud.h"
#include "viewer/cloud/colour.h"
#include "viewer/play/player.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace vv {

struct Swatch {
    std::string label; // the type's number or the element's symbol
    std::array<float, 3> rgb{};
};

struct Legend {
    // Bar: a scalar through `map` over `range`; Swatches: one per type or
    // element present; None: nothing to explain (the file's own colours).
    enum class Kind { None, Bar, Swatches } kind = Kind::None;
    std::string name;                             // the quantity
    void (*map)(float t, float rgb[3]) = nullptr; // Bar: the colouring's map, t 0..1
    Range range;                                  // Bar: lo..hi; empty: no finite value
    // Bar: what the range covers when it is not the whole run or cloud, as
    // "this frame" (--range frame); empty otherwise.
    std::string scope;
    std::vector<Swatch> swatches; // Swatches: at most kMaxSwatches
    std::size_t more = 0;         // Swatches: those left out past kMaxSwatches
};

constexpr std::size_t kMaxSwatches = 12;

struct Overlay {
    Legend legend;
    // "frame k/N  step S", "step S" for a live run, then "  time T" where
    // the file gives the time; empty: none.
    std::string label;
    // The timeline's place: frame `frame` of `frames` (0 frames: none).
    std::size_t frame = 0, frames = 0;
    bool empty() const { return legend.kind == Legend::Kind::None && label.empty(); }
};

// A value as the legend prints it: %.3g, or more digits (up to 7, what a
// float holds) when fewer would print `lo`, `mid` and `hi` alike though they
// differ; "-0" prints as "0", NaN as "nan".
std::vector<std::string> legend_numbers(const Range &range);
// One value at `digits` significant digits, %g-like.
std::string format_value(double v, int digits = 3);

// The overlay of the player's shown frame: its colouring's legend (the
// whole run's range, or the frame's), the frame label (a live run, which has
// no frame count: the step alone) and the timeline's place.
Overlay player_overlay(const Player &player, bool live);
// The overlay of a cloud coloured by `colouring` (colourings()): the height
// ramp over the fitted heights, a field's map over its range; none for the
// file's colours.
Overlay cloud_overlay(const Cloud &cloud, const std::string &colouring);

} // namespace vv

#endif
