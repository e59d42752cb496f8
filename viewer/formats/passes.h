// What the point-cloud readers share on top of the byte layer (viewer/io):
// the tally of a first pass, a reader of a text header and rows over a
// source, and the second pass that stores what the first measured.
#ifndef VORLIX_VIEWER_FORMATS_PASSES_H
#define VORLIX_VIEWER_FORMATS_PASSES_H

#include "viewer/cloud/cloud.h"
#include "viewer/io/lines.h"
#include "viewer/io/source.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vv {

constexpr std::size_t kMaxLine = std::size_t{1} << 20;
constexpr int kMaxHeaderLines = 10000;
// For a file that gives a second pass other rows than the first.
constexpr const char *kChanged = "changed while it was being read";

// What the first pass over a file finds: the finite points, their bounds
// and the points skipped.
struct Tally {
    Bounds bounds;
    std::size_t points = 0;
    std::size_t skipped = 0;
};

// A reader's place in its source: lines for a text header and rows, bytes
// for binary ones, the line count and where the rows start, and messages
// "NAME: line N: problem" or "NAME: problem". A failure of the source
// itself wins over whatever the reader makes of the bytes missing.
class SourceReader {
  public:
    SourceReader(io::Source &source, const std::string &name, std::string &error,
                 std::size_t max_line = kMaxLine)
        : window_(source, io::kParseBlock), lines_(window_, max_line), name_(name), error_(error) {}

    // The length of the whole source (into size), which the binary readers
    // check their rows against before allocating.
    bool measure();
    // Back to the first row, for the second pass.
    bool rewind();
    std::uint64_t size = 0;

  protected:
    bool fail(const std::string &why) { return fail_whole(name_ + ": " + why); }
    bool fail_line(const std::string &why) {
        return fail("line " + std::to_string(lines_.number) + ": " + why);
    }
    bool fail_whole(const std::string &message) {
        error_ = source_error_.empty() ? message : source_error_;
        return false;
    }
    // The next line of text; `end` set at the end of the source. Fails with
    // "line N: longer than ..." or the source's own error.
    bool next_line(std::string_view &s, bool &end);
    // The next n bytes, or null when the source ends (or fails) first.
    const char *take(std::size_t n) { return window_.take(n, source_error_); }
    std::uint64_t offset() const { return window_.tell(); }
    bool seek(std::uint64_t at) { return window_.seek(at, source_error_) || fail(kChanged); }
    std::uint64_t line() const { return lines_.number; }
    // The header ends here: the rows start.
    void mark_body() {
        body_ = window_.tell();
        body_line_ = lines_.number;
    }

    io::Window window_;
    io::Lines lines_;
    const std::string &name_;
    std::string &error_;
    std::string source_error_;

  private:
    std::uint64_t body_ = 0;
    std::uint64_t body_line_ = 0;
};

// The second of two passes: allocates for the points the first found and
// for their `fields` (allocate_points, naming them `what`), then `store(tally, &cloud, &norm)`
// puts them into the block, fitted. False, the cloud cleared, when that
// fails or finds other points than the first pass.
template <typename Store>
bool second_pass(Cloud &cloud, const Tally &measure, const std::string &name, const char *what,
                 std::string &error, Store store, const std::vector<std::string> &fields = {}) {
    clear(cloud); // a block the first pass may have filled
    if (!allocate_points(cloud, measure.points, measure.skipped, name, what, error, fields))
        return false;
    const Normaliser norm(measure.bounds);
    cloud.unit = norm.unit();
    Tally t;
    const bool stored = store(t, &cloud, &norm);
    if (!stored || cloud.count != measure.points) {
        clear(cloud);
        if (stored)
            error = name + ": " + kChanged;
        return false;
    }
    cloud.skipped = measure.skipped;
    return true;
}

// second_pass for a reader whose pass(tally, store, norm) reads its rows
// again after a rewind, its fields named by field_names().
template <typename Reader>
bool store_rows(Reader &reader, Cloud &cloud, const Tally &measure, const std::string &name,
                const char *what, std::string &error) {
    return second_pass(
        cloud, measure, name, what, error,
        [&](Tally &t, Cloud *store, const Normaliser *norm) {
            return reader.rewind() && reader.pass(t, store, norm);
        },
        reader.field_names());
}

} // namespace vv

#endif
