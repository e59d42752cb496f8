// Reading pieces shared by the PLY and PCD readers: a buffered stream that
// hands out lines and binary rows, the words of a header line, and binary
// values of the usual numeric types.
#ifndef VORLIX_VIEWER_FORMATS_STREAM_H
#define VORLIX_VIEWER_FORMATS_STREAM_H

#include "viewer/cloud/cloud.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace vv {

// The numeric types of binary files (PLY names all but the 64-bit integers,
// which PCD has).
enum class Type : std::uint8_t { I8, U8, I16, U16, I32, U32, F32, F64, I64, U64 };

inline std::size_t size_of(Type t) {
    static const std::size_t kSizes[] = {1, 1, 2, 2, 4, 4, 4, 8, 8, 8};
    return kSizes[static_cast<int>(t)];
}

// One value of a binary row, in the file's byte order.
double decode(const char *p, Type t, bool swap);

bool host_is_little_endian();

// A value of the file as a scalar field holds it: beyond a float's range it
// is infinite (a plain conversion would be undefined there).
inline float to_float(double v) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (v > kMax)
        return std::numeric_limits<float>::infinity();
    if (v < -kMax)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

constexpr std::size_t kChunk = std::size_t{1} << 16;
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

// The stream through a buffer of our own: bytes for binary rows, lines for
// the header and ascii rows, and jumps over rows that are not read.
class Source {
  public:
    // Lines longer than `max_line` bytes (a "\r" before the "\n" counted)
    // are refused.
    explicit Source(std::istream &in, std::size_t max_line = kMaxLine)
        : in_(in), buf_(kChunk), max_line_(max_line) {}

    // The next n bytes, or nullptr when the stream ends first.
    const char *take(std::size_t n) {
        if (end_ - pos_ < n && !fill(n))
            return nullptr;
        const char *p = buf_.data() + pos_;
        pos_ += n;
        return p;
    }

    // The next line, without its "\n" or "\r\n"; false at the end of the
    // stream (or when it cannot be read: see broken) or, too_long set, when
    // the line is longer than max_line bytes.
    bool line(std::string_view &out, bool &too_long) {
        too_long = false;
        std::size_t scanned = 0;
        while (true) {
            const char *start = buf_.data() + pos_;
            const auto *nl = static_cast<const char *>(
                std::memchr(start + scanned, '\n', end_ - pos_ - scanned));
            std::size_t len = 0;
            if (nl) {
                len = static_cast<std::size_t>(nl - start);
                if (len > max_line_) {
                    too_long = true;
                    return false;
                }
                pos_ += len + 1;
            } else {
                scanned = end_ - pos_;
                if (scanned > max_line_) {
                    too_long = true;
                    return false;
                }
                if (fill(scanned + 1))
                    continue;
                if (end_ == pos_)
                    return false;
                start = buf_.data() + pos_; // the last line, without a line end
                len = end_ - pos_;
                pos_ = end_;
            }
            if (len > 0 && start[len - 1] == '\r')
                --len;
            out = std::string_view(start, len);
            return true;
        }
    }

    std::uint64_t offset() const { return base_ + pos_; }
    std::size_t max_line() const { return max_line_; }
    // Whether reading stopped on an error rather than at the end.
    bool broken() const { return in_.bad(); }

    void seek(std::uint64_t at) {
        if (at >= base_ && at <= base_ + end_) {
            pos_ = static_cast<std::size_t>(at - base_);
            return;
        }
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(at));
        base_ = at;
        pos_ = end_ = 0;
    }

  private:
    // Makes at least `want` bytes available from pos_; false at end of stream.
    bool fill(std::size_t want) {
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        base_ += pos_;
        end_ -= pos_;
        pos_ = 0;
        if (buf_.size() < want)
            buf_.resize(std::max(want, 2 * buf_.size()));
        while (end_ < want && in_) {
            in_.read(buf_.data() + end_, static_cast<std::streamsize>(buf_.size() - end_));
            end_ += static_cast<std::size_t>(in_.gcount());
        }
        return end_ >= want;
    }

    std::istream &in_;
    std::vector<char> buf_;
    std::uint64_t base_ = 0; // stream offset of buf_[0]
    std::size_t pos_ = 0, end_ = 0;
    std::size_t max_line_;
};

// What the readers of a text header and rows share: the stream, the file's
// name for messages, the line count, and where the rows start.
class LineReader {
  public:
    LineReader(std::istream &in, const std::string &name, std::string &error,
               std::size_t max_line = kMaxLine)
        : src_(in, max_line), name_(name), error_(error) {}

    // Back to the first row, for the second pass.
    void rewind() {
        src_.seek(body_);
        line_ = body_line_;
    }
    std::uint64_t size = 0; // of the whole stream

  protected:
    bool fail(const std::string &why) {
        error_ = name_ + ": " + why;
        return false;
    }
    bool fail_line(const std::string &why) {
        return fail("line " + std::to_string(line_) + ": " + why);
    }
    // The next line of text; `end` set at the end of the stream. Fails with
    // "line N: longer than ..." or "read error after line N".
    bool next_line(std::string_view &s, bool &end);
    // The header ends here: the rows start.
    void mark_body() {
        body_ = src_.offset();
        body_line_ = line_;
    }

    Source src_;
    const std::string &name_;
    std::string &error_;
    std::size_t line_ = 0;

  private:
    std::uint64_t body_ = 0;
    std::size_t body_line_ = 0;
};

bool is_space(char c);

// Splits a line into its words; returns how many there were (all of them),
// storing at most `max`.
std::size_t split(std::string_view s, std::string_view *words, std::size_t max);

// All the words of a line.
inline void split(std::string_view s, std::vector<std::string_view> &words) {
    words.resize(split(s, nullptr, 0));
    split(s, words.data(), words.size());
}

bool is_blank(std::string_view s);

// The length of a stream that will be read twice, left at its start; false
// with "NAME: cannot be read a second time" when it cannot seek.
bool seekable_size(std::istream &in, const std::string &name, std::uint64_t &size,
                   std::string &error);

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

} // namespace vv

#endif
