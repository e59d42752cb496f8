// Plain-text XYZ, read in two streamed passes: the first checks every line and
// gathers the bounds, the count and the colour range, so that the voxel block
// is allocated once at its final size and the second pass stores each point
// already centred and scaled (in double precision, before it becomes float).
#include "viewer/formats/xyz.h"

#include "viewer/formats/stream.h"
#include "viewer/formats/text.h"

#include <cmath>
#include <cstring>
#include <istream>

namespace vv {
namespace {

constexpr std::size_t kMaxLine = 4096;
constexpr int kMaxColumns = 6;

bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == ';' || c == '\r' || c == '\v' || c == '\f';
}

// The numbers of one line. Returns false with `why` set when it is not a
// list of numbers; `count` is how many there were (all of them, even past 6).
bool split_line(const char *s, std::size_t n, double (&v)[kMaxColumns], int &count,
                std::string &why) {
    count = 0;
    std::size_t i = 0;
    while (i < n) {
        while (i < n && is_separator(s[i]))
            ++i;
        if (i == n)
            break;
        const std::size_t start = i;
        while (i < n && !is_separator(s[i]))
            ++i;
        if (count == 0 && s[start] == '#')
            return true; // comment line
        double value = 0;
        if (!parse_number(s + start, i - start, value)) {
            why = quote_token(s + start, i - start) + " is not a number";
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
    int columns = 0;       // 3 or 6, fixed by the first point line
    std::size_t first = 0; // that line's number
    double max_colour = 0;
};

// One pass over the stream. Without `store` it checks and measures; with it,
// it writes the points into the cloud, normalised by `norm`.
bool run_pass(std::istream &in, Pass &p, Cloud *store, const Normaliser *norm, double colour_div,
              std::string &error) {
    char buf[kMaxLine + 1];
    std::size_t line = 0;
    while (true) {
        in.getline(buf, sizeof buf);
        const std::streamsize got = in.gcount();
        if (in.bad()) {
            error = "read error after line " + std::to_string(line);
            return false;
        }
        if (got == 0 && in.eof())
            return true;
        ++line;
        if (in.fail() && !in.eof()) {
            error = "line " + std::to_string(line) + ": longer than " + std::to_string(kMaxLine) +
                    " characters";
            return false;
        }
        // gcount counts the newline when one ended the line; a last line
        // without one ends at end of file instead.
        const std::size_t len = static_cast<std::size_t>(got) - (in.eof() ? 0 : 1);
        in.clear(in.rdstate() & std::ios::eofbit);

        double v[kMaxColumns];
        int n = 0;
        std::string why;
        if (!split_line(buf, len, v, n, why)) {
            error = "line " + std::to_string(line) + ": " + why;
            return false;
        }
        if (n == 0)
            continue; // blank or comment
        if (n != 3 && n != 6) {
            error = "line " + std::to_string(line) +
                    ": expected 3 or 6 numbers (x y z [r g b]), found " + std::to_string(n);
            return false;
        }
        if (p.columns == 0) {
            p.columns = n;
            p.first = line;
        } else if (n != p.columns) {
            error = "line " + std::to_string(line) + ": " + std::to_string(n) +
                    " numbers, but line " + std::to_string(p.first) + " had " +
                    std::to_string(p.columns);
            return false;
        }
        if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) {
            ++p.skipped;
            continue;
        }
        for (int c = 3; c < n; ++c) {
            if (!(v[c] >= 0 && v[c] <= 255)) { // NaN fails too
                char text[64];
                std::snprintf(text, sizeof text, "%g", v[c]);
                error = "line " + std::to_string(line) + ": colour " + text + " is outside 0..255";
                return false;
            }
            p.max_colour = std::max(p.max_colour, v[c]);
        }
        if (!store) {
            p.bounds.add(v[0], v[1], v[2]);
            ++p.points;
            continue;
        }
        if (store->count == store->capacity) {
            error = kChanged;
            return false;
        }
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

bool read_xyz(std::istream &in, const std::string &name, Cloud &cloud, std::string &error) {
    clear(cloud);
    std::uint64_t size = 0;
    if (!seekable_size(in, name, size, error))
        return false;
    Pass measure;
    std::string why;
    if (!run_pass(in, measure, nullptr, nullptr, 1, why)) {
        error = name + ": " + why;
        return false;
    }
    // Colours are 0..1 unless some value is above 1; then the whole file is 0..255.
    const double colour_div = measure.max_colour > 1 ? 255.0 : 1.0;
    return second_pass(cloud, measure, name, "points", error,
                       [&](Tally &, Cloud *store, const Normaliser *norm) {
                           in.clear();
                           in.seekg(0);
                           Pass p;
                           if (run_pass(in, p, store, norm, colour_div, why))
                               return true;
                           error = name + ": " + (why.empty() ? kChanged : why);
                           return false;
                       });
}

} // namespace vv
