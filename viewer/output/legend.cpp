#include "viewer/output/legend.h"
#include "viewer/cloud/elements.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vv {

std::string format_value(double v, int digits) {
    if (std::isnan(v))
        return "nan";
    if (v == 0)
        return "0"; // never "-0"
    char text[32];
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    return text;
}

std::vector<std::string> legend_numbers(const Range &range) {
    if (range.empty)
        return {};
    const double lo = range.lo, hi = range.hi;
    // Half of each rather than (lo + hi) / 2, which overflows near the
    // largest floats.
    const double mid = lo / 2 + hi / 2;
    if (lo == hi)
        return {format_value(lo)};
    std::vector<std::string> out;
    for (int digits = 3; digits <= 7; ++digits) {
        out = {format_value(lo, digits), format_value(mid, digits), format_value(hi, digits)};
        if (out[0] != out[1] && out[1] != out[2])
            break;
    }
    return out;
}

namespace {

// The types present in the frame, each with type_colour; a frame without a
// type column is all type 1, as paint_quantity colours it.
void type_swatches(const Frame &frame, Legend &legend) {
    std::vector<std::int32_t> types;
    if (frame.type.empty()) {
        types.push_back(1);
    } else {
        // LAMMPS numbers types 1..ntypes, so a table by number is enough;
        // a type beyond it still gets counted through the sort below.
        std::vector<char> seen(257, 0);
        std::vector<std::int32_t> odd;
        for (std::size_t i = 0; i < frame.atoms && i < frame.type.size(); ++i) {
            const std::int32_t t = frame.type[i];
            if (t >= 0 && t <= 256)
                seen[static_cast<std::size_t>(t)] = 1;
            else if (odd.size() < 4096)
                odd.push_back(t);
        }
        for (std::int32_t t = 0; t <= 256; ++t)
            if (seen[static_cast<std::size_t>(t)])
                types.push_back(t);
        std::sort(odd.begin(), odd.end());
        odd.erase(std::unique(odd.begin(), odd.end()), odd.end());
        types.insert(types.end(), odd.begin(), odd.end());
        std::sort(types.begin(), types.end());
    }
    for (std::int32_t t : types) {
        if (legend.swatches.size() == kMaxSwatches) {
            ++legend.more;
            continue;
        }
        Swatch s;
        s.label = std::to_string(t);
        type_colour(t, s.rgb.data());
        legend.swatches.push_back(s);
    }
}

// The elements the frame names, in their order of first appearance.
void element_swatches(const Frame &frame, Legend &legend) {
    for (const std::string &name : frame.element_names) {
        if (legend.swatches.size() == kMaxSwatches) {
            ++legend.more;
            continue;
        }
        Swatch s;
        s.label = name;
        if (!element_colour(name, s.rgb.data()))
            s.rgb = {kUnknownElementGrey, kUnknownElementGrey, kUnknownElementGrey};
        legend.swatches.push_back(s);
    }
}

// What a trajectory's colour range covers, when not the whole run.
std::string range_scope(const Player &player) {
    if (player.range_per_frame())
        return "this frame";
    // The window shows frame 1 before the whole-run pass has ended.
    return player.whole_run_known() ? "" : "frames read so far";
}

} // namespace

Overlay player_overlay(const Player &player, bool live) {
    Overlay o;
    const Frame &frame = player.frame();
    Legend &legend = o.legend;
    legend.name = player.colouring();
    if (legend.name == "type") {
        legend.kind = Legend::Kind::Swatches;
        type_swatches(frame, legend);
    } else if (legend.name == "element") {
        legend.kind = Legend::Kind::Swatches;
        element_swatches(frame, legend);
    } else {
        legend.kind = Legend::Kind::Bar;
        legend.map = colour_map;
        legend.range = player.range();
        legend.scope = range_scope(player);
    }
    char text[96];
    if (live)
        std::snprintf(text, sizeof text, "step %lld", static_cast<long long>(frame.timestep));
    else
        std::snprintf(text, sizeof text, "frame %zu/%zu  step %lld", player.shown() + 1,
                      player.frames(), static_cast<long long>(frame.timestep));
    o.label = text;
    if (!std::isnan(frame.time)) { // where the file gives it
        std::snprintf(text, sizeof text, "  time %.6g", frame.time);
        o.label += text;
    }
    if (!live) {
        o.frame = player.shown();
        o.frames = player.frames();
    }
    return o;
}

Overlay cloud_overlay(const Cloud &cloud, const std::string &colouring) {
    Overlay o;
    Legend &legend = o.legend;
    if (colouring == "file")
        return o;
    legend.kind = Legend::Kind::Bar;
    legend.name = colouring;
    if (colouring == "height") {
        legend.map = height_colour;
        legend.scope = "in the fitted cube";
        for (std::size_t i = 0; i < cloud.count; ++i) {
            const float y = cloud.nodes[i].y;
            legend.range.lo = legend.range.empty ? y : std::min(legend.range.lo, y);
            legend.range.hi = legend.range.empty ? y : std::max(legend.range.hi, y);
            legend.range.empty = false;
        }
        return o;
    }
    legend.map = colour_map;
    if (const Field *f = find_field(cloud.fields, colouring))
        legend.range = range_of(f->values.data(), std::min(f->values.size(), cloud.count));
    return o;
}

} // namespace vv
