// Where a reader's bytes come from: a file, a gzip or zstd stream or bytes
// in memory, all behind one Source. The kind is told by the first bytes, in
// one place (open_source), so that another compression is one more case
// there. A byte range read back by offset (plain or compressed) serves the
// trajectory index. gzip goes through zlib, zstd through libzstd; a zstd
// file of several frames (as the zstd tool and LAMMPS's /zstd dumps write
// them) reads as their bytes one after another.
//
// The point-cloud readers read a file twice (bounds, then voxels), so a
// source can start over: rewind() (fd: lseek, gzip: gzrewind, zstd: lseek
// and a fresh decoder, memory: back to the first byte) and seek() built on it. Rewinding rather
// than keeping the bytes of the first pass: a scan is larger than memory would like, and a second
// read of a plain file is as fast as the first.
//
// A compressed stream cut short (a dump still being written, say) ends at
// the cut, as a plain file cut there would: the readers' own checks
// (declared row counts, whole frames) tell a short file, the same way for
// all. Bytes that are not the stream they claim to be are an error, one
// line naming the file.
//
// The trajectory readers name these, and the rest of the layer, through
// vv::detail (see the end of this header); new code uses vv::io.
#ifndef VORLIX_VIEWER_IO_SOURCE_H
#define VORLIX_VIEWER_IO_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vv {

namespace io {

// A stream of bytes read front to back, able to start over.
struct Source {
    virtual ~Source() = default;
    // Up to n bytes into dst: the count, 0 at the end, -1 with error set.
    virtual long long read(char *dst, std::size_t n, std::string &error) = 0;
    // The size of a source that cannot grow, or the most a size_t holds.
    virtual std::size_t fixed_size() const { return SIZE_MAX - 1; }
    // Back to the first byte; false with error set when it cannot be (a
    // kind that reads once, the default).
    virtual bool rewind(std::string &error);
    // On to byte `at` (counted from the start): by lseek where the kind can,
    // otherwise by rewinding and reading on. The next read starts there;
    // past the end it reads nothing.
    virtual bool seek(std::uint64_t at, std::string &error);
    // The whole stream's length, the place left as it was. A compressed
    // stream is decompressed on to its end for it. A kind that reads once has none (the
    // default).
    virtual bool size(std::uint64_t &out, std::string &error);
    // Bytes read since the first one.
    std::uint64_t position = 0;

  protected:
    // size() for a compressed stream, whose length is known only at its
    // end: read to the end, then seek back.
    bool size_by_reading(std::uint64_t &out, std::string &error);
};

// The kinds of source a file may be, told by its first bytes.
enum class Kind { Plain, Gzip, Zstd };
Kind kind_of(const unsigned char *start, std::size_t n);
// "plain", "gzip", "zstd", for messages.
const char *kind_name(Kind kind);

// The open file fd, named `name` in messages, decompressed when its first
// bytes are a compressed stream's (kind says which); the source owns fd.
// Null with error set on failure.
std::unique_ptr<Source> open_source(int fd, const std::string &name, Kind &kind,
                                    std::string &error);

// The open file fd read as a source of that kind, whatever its first bytes
// (a pipe cannot be looked at first); the source owns fd.
std::unique_ptr<Source> source_of_kind(int fd, const std::string &name, Kind kind,
                                       std::string &error);

// The file at path, as above; "PATH: cannot open: REASON" when it cannot be.
std::unique_ptr<Source> open_source(const std::string &path, Kind &kind, std::string &error);

// The bytes data[0..size), which must outlive the source.
std::unique_ptr<Source> memory_source(const char *data, std::size_t size);

// The source's next bytes, up to n of them (fewer at its end), into out;
// false with error set when the source fails. Readers sniff formats by it.
bool read_start(Source &source, std::size_t n, std::string &out, std::string &error);

// An open compressed stream (its position: how far into its uncompressed
// bytes it has read).
struct Cursor {
    std::string path;
    std::unique_ptr<Source> source;
};

// text.size() bytes of the file at path from offset on into text: by pread
// for a plain file, or for a compressed stream (gzip or zstd alike) read on
// through cursor (reopened when the bytes lie behind it); false with error
// set when the file is short or unreadable.
bool read_span(const std::string &path, Kind kind, std::uint64_t offset, std::vector<char> &text,
               std::shared_ptr<Cursor> &cursor, std::string &error);

} // namespace io

} // namespace vv

#endif
