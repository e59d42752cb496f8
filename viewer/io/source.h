// The byte layer under the readers: the sources a scan reads (a file, a
// gzip stream, bytes in memory), the sliding window over them, the fast
// newline count, a byte range read back by offset (plain or gzip), and the
// small text helpers of line-based formats, so that every reader seeks,
// decompresses and splits lines the same way.
#ifndef VORLIX_VIEWER_IO_SOURCE_H
#define VORLIX_VIEWER_IO_SOURCE_H

#include <zlib.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vv {

namespace detail {

// An open gzip stream and how far into its uncompressed bytes it has read.
struct Cursor {
    std::string path;
    gzFile file = nullptr;
    std::uint64_t position = 0;
    ~Cursor() {
        if (file)
            gzclose(file);
    }
};

// Blocks this large keep read() and memchr at memory speed.
constexpr std::size_t kBlock = std::size_t(8) << 20;

// Newlines in p[0..n).
std::uint64_t count_newlines(const char *p, std::size_t n);

// Where a trajectory's bytes come from while indexing.
struct Source {
    virtual ~Source() = default;
    // Up to n bytes into dst: the count, 0 at the end, -1 with error set.
    virtual long long read(char *dst, std::size_t n, std::string &error) = 0;
    // The size of a source that cannot grow, or the most a size_t holds.
    virtual std::size_t fixed_size() const { return SIZE_MAX - 1; }
};

// A scan's view of a source: a block of its bytes at a time, slid on as the
// scan goes. buf[0..len) are the stream's bytes from offset on; pos is the
// scan's place in them. A source that cannot grow and holds less than a
// block gets a buffer of its size: no block-sized allocation for a small
// file.
struct Window {
    explicit Window(Source &source);
    // Drops buf[0..keep), pos moving back with the bytes (to 0 at least),
    // then reads until the buffer is full or the stream ends; false with
    // error set when the source fails.
    bool slide(std::size_t keep, std::string &error);

    Source &source;
    std::size_t size;
    std::unique_ptr<char[]> buf;
    std::uint64_t offset = 0;
    std::size_t len = 0, pos = 0;
    bool eof = false;
};

// The file at path, through zlib when it starts with gzip's magic bytes
// (gzip then true); null with error set when it cannot be opened.
std::unique_ptr<Source> open_source(const std::string &path, bool &gzip, std::string &error);

// The bytes data[0..size), which must outlive the source.
std::unique_ptr<Source> memory_source(const char *data, std::size_t size);

// text.size() bytes of the file at path from offset on into text: by pread,
// or for a gzip stream read on through cursor (reopened when the bytes lie
// behind it); false with error set when the file is short or unreadable.
bool read_span(const std::string &path, bool gzip, std::uint64_t offset, std::vector<char> &text,
               std::shared_ptr<Cursor> &cursor, std::string &error);

// Beyond a float's range is infinity, not undefined behaviour.
float to_float(double v);

inline bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

inline bool starts_with(const char *b, const char *e, const char *prefix) {
    const std::size_t n = std::strlen(prefix);
    return static_cast<std::size_t>(e - b) >= n && std::memcmp(b, prefix, n) == 0;
}

inline void trim(const char *&b, const char *&e) {
    while (b < e && is_blank(*b))
        ++b;
    while (e > b && is_blank(e[-1]))
        --e;
}

// The whole of [b, e), blanks around it aside, as an integer ('+' allowed).
template <typename Int> bool parse_int(const char *b, const char *e, Int &out) {
    trim(b, e);
    if (b < e && *b == '+')
        ++b;
    const auto r = std::from_chars(b, e, out);
    return b < e && r.ptr == e && r.ec == std::errc();
}

// The next blank-separated token of [p, e) as [tb, te), p moved past it.
inline bool next_token(const char *&p, const char *e, const char *&tb, const char *&te) {
    while (p < e && is_blank(*p))
        ++p;
    if (p == e)
        return false;
    tb = p;
    while (p < e && !is_blank(*p))
        ++p;
    te = p;
    return true;
}

// Lines of a frame's bytes, counted from 1.
struct LineReader {
    const char *p, *end;
    std::uint64_t number = 0;
    // The next line without its newline and trailing blanks.
    bool next(const char *&b, const char *&e) {
        if (p >= end)
            return false;
        b = p;
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', end - p));
        e = nl ? nl : end;
        p = nl ? nl + 1 : end;
        while (e > b && is_blank(e[-1]))
            --e;
        ++number;
        return true;
    }
};

} // namespace detail

} // namespace vv

#endif
