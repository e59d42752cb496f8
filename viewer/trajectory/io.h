// What the trajectory readers share (not an interface of its own): the
// sources a frame index scans (a file, a gzip stream, bytes in memory), the
// fast newline count, the small text helpers of their headers, and fetching
// one indexed frame's bytes, so that every format seeks and decompresses the
// same way.
#ifndef VORLIX_VIEWER_TRAJECTORY_IO_H
#define VORLIX_VIEWER_TRAJECTORY_IO_H

#include "viewer/trajectory/dump.h"

#include <zlib.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

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

// "NAME: frame K: line L: ", the start of a message about a frame.
std::string where(const std::string &name, std::size_t frame, std::uint64_t line);

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

// Frame k's bytes of an indexed file into frame.text (a gzip stream read on
// through frame.cursor, see read_frame in dump.h).
bool fetch_frame(const DumpIndex &index, std::size_t k, Frame &frame, std::string &error);

// Frame k's bytes within data[0..size), indexed with the *_bytes indexers.
bool frame_span(const char *data, std::size_t size, const DumpIndex &index, std::size_t k,
                const char *&begin, std::size_t &length, std::string &error);

// Every atom of the frame dropped, storage kept for the next frame.
void clear_atoms(Frame &frame);

// The index of element name [b, e) in frame.element_names, added when new;
// false past 256 names (elements are a periodic table's worth, not a name
// per atom).
bool element_index(Frame &frame, const char *b, const char *e, std::uint32_t &out);

// Appends an atom's position as floats; false, the atom counted in
// frame.skipped instead, when a coordinate is NaN, infinite or beyond what a
// float holds.
bool add_position(Frame &frame, const double pos[3]);

// A format's own two steps: its scan of a source into an index (which
// index_path and index_memory hand over empty, and clear again when it
// fails), and its
// parse of one frame's bytes (`number` counts frames from 1, for messages).
struct FormatSteps {
    bool (*index)(Source &source, const std::string &name, DumpIndex &index, std::string &error);
    bool (*parse)(const char *data, std::size_t size, const std::string &name, std::size_t number,
                  Frame &frame, std::string &error);
};

// What every format does around its steps, as dump.h promises for each
// public call: index a file (gzip or plain) or bytes in memory; read frame
// k, parse it, and refuse it when it no longer matches its index entry.
// On failure the frame holds no atoms.
bool index_path(const FormatSteps &format, const std::string &path, DumpIndex &index,
                std::string &error);
bool index_memory(const FormatSteps &format, const char *data, std::size_t size,
                  const std::string &name, DumpIndex &index, std::string &error);
bool read_indexed(const FormatSteps &format, const DumpIndex &index, std::size_t k, Frame &frame,
                  std::string &error);
bool read_indexed_bytes(const FormatSteps &format, const char *data, std::size_t size,
                        const DumpIndex &index, std::size_t k, Frame &frame, std::string &error);

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
