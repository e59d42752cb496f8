// Plain-text XYZ, read in two streamed passes: the first checks every line and
// gathers the bounds, the count and the colour range, so that the voxel block
// is allocated once at its final size and the second pass stores each point
// already centred and scaled (in double precision, before it becomes float).
#include "viewer/formats/xyz.h"

#include "viewer/formats/passes.h"
#include "viewer/io/text.h"
#include "viewer/io/tokens.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace vv {
namespace {

// Longer lines are refused: no list of six numbers needs more.
constexpr std::size_t kMaxXyzLine = 4096;
constexpr int kMaxColumns = 6;

// The numbers of one line. Returns false with `why` set when it is not a
// list of numbers; `count` is how many there were (all of them, even past 6).
bool split_line(const char *s, std::size_t n, double (&v)[kMaxColumns], int &count,
                std::string &why) {
    count = 0;
    const char *p = s, *tb, *te;
    while (io::next_token(p, s + n, tb, te, ",;")) {
        if (count == 0 && *tb == '#')
            return true; // comment line
        double value = 0;
        if (!parse_number(tb, static_cast<std::size_t>(te - tb), value)) {
            why = quote_token(tb, static_cast<std::size_t>(te - tb)) + " is not a number";
            return false;
        }
        if (count < kMaxColumns)
            v[count] = value;
        ++count;
    }
    return true;
}

// The shared first-pass tally (bounds, points, skipped) and what is XYZ's own.
struct Pass : Tally {
    int columns = 0;         // 3 or 6, fixed by the first point line
    std::uint64_t first = 0; // that line's number
    double max_colour = 0;
};

// Lines of the source, at most kMaxXyzLine bytes each.
class Reader : public SourceReader {
  public:
    Reader(io::Source &source, const std::string &name, std::string &error)
        : SourceReader(source, name, error, kMaxXyzLine) {}

    // One pass over the stream. Without `store` it checks and measures;
    // with it, it writes the points into the cloud, normalised by `norm`.
    bool pass(Pass &p, Cloud *store, const Normaliser *norm, double colour_div);
};

bool Reader::pass(Pass &p, Cloud *store, const Normaliser *norm, double colour_div) {
    std::string_view s;
    bool end = false;
    while (true) {
        if (!next_line(s, end))
            return end;
        double v[kMaxColumns];
        int n = 0;
        std::string why;
        if (!split_line(s.data(), s.size(), v, n, why))
            return fail_line(why);
        if (n == 0)
            continue; // blank or comment
        if (n != 3 && n != 6)
            return fail_line("expected 3 or 6 numbers (x y z [r g b]), found " + std::to_string(n));
        if (p.columns == 0) {
            p.columns = n;
            p.first = line();
        } else if (n != p.columns) {
            return fail_line(std::to_string(n) + " numbers, but line " + std::to_string(p.first) +
                             " had " + std::to_string(p.columns));
        }
        if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) {
            ++p.skipped;
            continue;
        }
        for (int c = 3; c < n; ++c) {
            if (!(v[c] >= 0 && v[c] <= 255)) { // NaN fails too
                char text[64];
                std::snprintf(text, sizeof text, "%g", v[c]);
                return fail_line(std::string("colour ") + text + " is outside 0..255");
            }
            p.max_colour = std::max(p.max_colour, v[c]);
        }
        if (!store) {
            p.bounds.add(v[0], v[1], v[2]);
            ++p.points;
            continue;
        }
        if (store->count == store->capacity)
            return fail(kChanged);
        VoxelNode &node = store->nodes[store->count++];
        norm->apply(v[0], v[1], v[2], node);
        if (n == 6) {
            node.r = static_cast<float>(v[3] / colour_div);
            node.g = static_cast<float>(v[4] / colour_div);
            node.b = static_cast<float>(v[5] / colour_div);
        } else {
            node.r = node.g = node.b = kNoColour;
        }
    }
}

} // namespace

bool read_xyz(io::Source &source, const std::string &name, Cloud &cloud, std::string &error) {
    clear(cloud);
    Reader reader(source, name, error);
    Pass measure;
    if (!reader.pass(measure, nullptr, nullptr, 1))
        return false;
    // Colours are 0..1 unless some value is above 1; then the whole file is 0..255.
    const double colour_div = measure.max_colour > 1 ? 255.0 : 1.0;
    return second_pass(cloud, measure, name, "points", error,
                       [&](Tally &, Cloud *store, const Normaliser *norm) {
                           Pass p;
                           return reader.rewind() && reader.pass(p, store, norm, colour_div);
                       });
}

} // namespace vv
