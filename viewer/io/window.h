// A scan's view of a source: a block of its bytes at a time, slid on as the
// scan goes, and the fast newline count of a block.
#ifndef VORLIX_VIEWER_IO_WINDOW_H
#define VORLIX_VIEWER_IO_WINDOW_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vv {

namespace io {

struct Source;

// Blocks this large keep read() and memchr at memory speed.
constexpr std::size_t kBlock = std::size_t(8) << 20;

// Newlines in p[0..n).
std::uint64_t count_newlines(const char *p, std::size_t n);

// A block that stays in the processor's cache while a reader that does more
// than look for newlines parses it: on 10^6-point PLY files the 8 MiB block
// made loading twice as slow, the bytes read in gone from the cache by the
// time the rows were parsed.
constexpr std::size_t kParseBlock = std::size_t(64) << 10;

// buf[0..len) are the stream's bytes from offset on; pos is the scan's place
// in them. A source that cannot grow and holds less than a block gets a
// buffer of its size: no block-sized allocation for a small file.
struct Window {
    explicit Window(Source &source, std::size_t block = kBlock);
    // Drops buf[0..keep), pos moving back with the bytes (to 0 at least),
    // then reads until the buffer is full or the stream ends; false with
    // error set when the source fails.
    bool slide(std::size_t keep, std::string &error);

    // Makes buf[pos..pos + n) the stream's next n bytes, the buffer grown
    // when it is smaller; false at the end of the stream (error empty) or
    // when the source fails (error set).
    bool need(std::size_t n, std::string &error);
    // The next n bytes, pos moved past them; null as need() fails.
    const char *take(std::size_t n, std::string &error);
    // The place in the stream, and a jump to another: within the buffer by
    // moving pos, otherwise through the source (a second pass goes back).
    std::uint64_t tell() const { return offset + pos; }
    bool seek(std::uint64_t at, std::string &error);

    Source &source;
    std::size_t size;
    std::unique_ptr<char[]> buf;
    std::uint64_t offset = 0;
    std::size_t len = 0, pos = 0;
    bool eof = false;
};

} // namespace io

} // namespace vv

#endif
