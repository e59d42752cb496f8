#include "viewer/io/source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

namespace vv {

namespace io {

namespace {

std::string reason(const std::string &name, const char *what) {
    return name + ": " + what + ": " + std::strerror(errno);
}

struct FdSource : Source {
    int fd;
    std::string name;
    FdSource(int f, std::string n) : fd(f), name(std::move(n)) {}
    ~FdSource() override { ::close(fd); }
    long long read(char *dst, std::size_t n, std::string &error) override {
        for (;;) {
            const ssize_t got = ::read(fd, dst, n);
            if (got >= 0) {
                position += static_cast<std::uint64_t>(got);
                return got;
            }
            if (errno != EINTR) {
                error = reason(name, "cannot read");
                return -1;
            }
        }
    }
    bool seek(std::uint64_t at, std::string &error) override {
        if (::lseek(fd, static_cast<off_t>(at), SEEK_SET) < 0) {
            error = name + ": cannot be read a second time (not a regular file?)";
            return false;
        }
        position = at;
        return true;
    }
    bool rewind(std::string &error) override { return seek(0, error); }
    bool size(std::uint64_t &out, std::string &error) override {
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            error = name + ": cannot be read a second time (not a regular file?)";
            return false;
        }
        out = static_cast<std::uint64_t>(st.st_size);
        return true;
    }
};

long long gz_read(gzFile file, char *dst, std::size_t n, const std::string &name,
                  std::string &error) {
    const int got = gzread(file, dst, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
    if (got >= 0)
        return got;
    int code = 0;
    const char *message = gzerror(file, &code);
    error = name + ": cannot decompress: " + (code == Z_ERRNO ? std::strerror(errno) : message);
    return -1;
}

struct GzSource : Source {
    gzFile file;
    std::string name;
    GzSource(gzFile f, std::string n) : file(f), name(std::move(n)) {}
    ~GzSource() override { gzclose(file); }
    long long read(char *dst, std::size_t n, std::string &error) override {
        const long long got = gz_read(file, dst, n, name, error);
        position += got > 0 ? static_cast<std::uint64_t>(got) : 0;
        return got;
    }
    bool rewind(std::string &error) override {
        if (gzrewind(file) != 0) {
            error = name + ": cannot read the gzip stream a second time";
            return false;
        }
        position = 0;
        return true;
    }
    // The uncompressed length is nowhere but at the end of the stream.
    bool size(std::uint64_t &out, std::string &error) override {
        return size_by_reading(out, error);
    }
};

// A zstd stream through libzstd's streaming decoder, which runs on from one
// frame into the next, so a file of several frames reads whole.
struct ZstdSource : Source {
    int fd;
    std::string name;
    ZSTD_DCtx *dctx;
    std::vector<char> in;
    ZSTD_inBuffer input{nullptr, 0, 0};
    bool eof = false;
    ZstdSource(int f, std::string n, ZSTD_DCtx *d)
        : fd(f), name(std::move(n)), dctx(d), in(std::size_t(1) << 20) {}
    ~ZstdSource() override {
        ZSTD_freeDCtx(dctx);
        ::close(fd);
    }
    long long read(char *dst, std::size_t n, std::string &error) override {
        ZSTD_outBuffer out{dst, n, 0};
        while (out.pos == 0 && n > 0) {
            if (input.pos == input.size && !eof) {
                const ssize_t got = ::read(fd, in.data(), in.size());
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0) {
                    error = reason(name, "cannot read");
                    return -1;
                }
                eof = got == 0;
                input = {in.data(), static_cast<std::size_t>(got), 0};
            }
            const std::size_t r = ZSTD_decompressStream(dctx, &out, &input);
            if (ZSTD_isError(r)) {
                error = name + ": cannot decompress: " + ZSTD_getErrorName(r);
                return -1;
            }
            // Out of input with nothing more to give: the end, or the cut of
            // a stream cut short, which ends there as a gzip stream does.
            if (out.pos == 0 && input.pos == input.size && eof)
                break;
        }
        position += out.pos;
        return static_cast<long long>(out.pos);
    }
    bool rewind(std::string &error) override {
        if (::lseek(fd, 0, SEEK_SET) < 0) {
            error = name + ": cannot read the zstd stream a second time (not a regular file?)";
            return false;
        }
        ZSTD_DCtx_reset(dctx, ZSTD_reset_session_only);
        input = {nullptr, 0, 0};
        eof = false;
        position = 0;
        return true;
    }
    bool size(std::uint64_t &out, std::string &error) override {
        return size_by_reading(out, error);
    }
};

struct MemSource : Source {
    const char *data;
    std::size_t length;
    MemSource(const char *d, std::size_t n) : data(d), length(n) {}
    std::size_t fixed_size() const override { return length; }
    long long read(char *dst, std::size_t n, std::string &) override {
        const std::size_t at = static_cast<std::size_t>(std::min<std::uint64_t>(position, length));
        n = std::min(n, length - at);
        if (n)
            std::memcpy(dst, data + at, n);
        position += n;
        return static_cast<long long>(n);
    }
    bool seek(std::uint64_t at, std::string &) override {
        position = at;
        return true;
    }
    bool rewind(std::string &error) override { return seek(0, error); }
    bool size(std::uint64_t &out, std::string &) override {
        out = length;
        return true;
    }
};

bool read_plain(const std::string &path, std::uint64_t offset, std::vector<char> &text,
                std::string &error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = reason(path, "cannot open");
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t got =
            ::pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? reason(path, "cannot read")
                            : path + ": the file is shorter than its index (changed since?)";
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return true;
}

// Bytes from a compressed stream through a cursor: on from where it stands
// when they lie ahead, from the start otherwise.
bool read_compressed(const std::string &path, Kind kind, std::uint64_t offset,
                     std::vector<char> &text, std::shared_ptr<Cursor> &cursor, std::string &error) {
    if (!cursor || cursor->path != path || cursor->source->position > offset) {
        cursor = std::make_shared<Cursor>();
        cursor->path = path;
        // Of the kind the index was made from, not told again: a pipe (a
        // FIFO in the tests) has no first bytes to look at twice.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = reason(path, "cannot open");
            cursor.reset();
            return false;
        }
        cursor->source = source_of_kind(fd, path, kind, error);
        if (!cursor->source) {
            cursor.reset();
            return false;
        }
    }
    Source &source = *cursor->source;
    const std::size_t size = text.size();
    // Skipped bytes go through the caller's own buffer.
    std::vector<char> skip;
    char *scratch = text.data();
    std::size_t room = size;
    if (room < (1u << 16)) {
        skip.resize(1u << 16);
        scratch = skip.data();
        room = skip.size();
    }
    std::size_t done = 0;
    while (source.position < offset || done < size) {
        const bool skipping = source.position < offset;
        const std::size_t want =
            skipping
                ? static_cast<std::size_t>(std::min<std::uint64_t>(offset - source.position, room))
                : size - done;
        const long long got = source.read(skipping ? scratch : text.data() + done, want, error);
        if (got <= 0) {
            if (got == 0)
                error = path + ": the stream is shorter than its index (changed since?)";
            cursor.reset();
            return false;
        }
        if (!skipping)
            done += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

bool Source::rewind(std::string &error) {
    error = "the source cannot be read a second time";
    return false;
}

bool Source::size(std::uint64_t &, std::string &error) {
    error = "the source has no known length";
    return false;
}

bool Source::size_by_reading(std::uint64_t &out, std::string &error) {
    const std::uint64_t here = position;
    std::vector<char> scratch(1u << 16);
    long long got;
    while ((got = read(scratch.data(), scratch.size(), error)) > 0) {
    }
    out = position;
    return got == 0 && seek(here, error);
}

// A kind without a cheaper way: back to the start, then read up to `at`.
bool Source::seek(std::uint64_t at, std::string &error) {
    if (at < position && !rewind(error))
        return false;
    char scratch[1 << 14];
    while (position < at) {
        const long long got =
            read(scratch,
                 static_cast<std::size_t>(std::min<std::uint64_t>(at - position, sizeof scratch)),
                 error);
        if (got < 0)
            return false;
        if (got == 0)
            break;
    }
    return true;
}

Kind kind_of(const unsigned char *start, std::size_t n) {
    if (n >= 2 && start[0] == 0x1f && start[1] == 0x8b)
        return Kind::Gzip;
    // A zstd frame's magic number, 0xFD2FB528 little-endian.
    if (n >= 4 && start[0] == 0x28 && start[1] == 0xb5 && start[2] == 0x2f && start[3] == 0xfd)
        return Kind::Zstd;
    return Kind::Plain;
}

const char *kind_name(Kind kind) {
    switch (kind) {
    case Kind::Gzip:
        return "gzip";
    case Kind::Zstd:
        return "zstd";
    case Kind::Plain:
        break;
    }
    return "plain";
}

std::unique_ptr<Source> open_source(int fd, const std::string &name, Kind &kind,
                                    std::string &error) {
    unsigned char magic[4];
    const ssize_t n = ::pread(fd, magic, sizeof magic, 0);
    kind = kind_of(magic, n > 0 ? static_cast<std::size_t>(n) : 0);
    return source_of_kind(fd, name, kind, error);
}

std::unique_ptr<Source> source_of_kind(int fd, const std::string &name, Kind kind,
                                       std::string &error) {
    switch (kind) {
    case Kind::Plain:
        return std::make_unique<FdSource>(fd, name);
    case Kind::Zstd: {
        ZSTD_DCtx *dctx = ZSTD_createDCtx();
        if (!dctx) {
            ::close(fd);
            error = name + ": cannot open the zstd stream";
            return nullptr;
        }
        return std::make_unique<ZstdSource>(fd, name, dctx);
    }
    case Kind::Gzip:
        break;
    }
    const gzFile file = gzdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        error = name + ": cannot open the gzip stream";
        return nullptr;
    }
    gzbuffer(file, 1u << 20);
    return std::make_unique<GzSource>(file, name);
}

std::unique_ptr<Source> open_source(const std::string &path, Kind &kind, std::string &error) {
    kind = Kind::Plain;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = reason(path, "cannot open");
        return nullptr;
    }
    return open_source(fd, path, kind, error);
}

std::unique_ptr<Source> memory_source(const char *data, std::size_t size) {
    return std::make_unique<MemSource>(data, size);
}

bool read_span(const std::string &path, Kind kind, std::uint64_t offset, std::vector<char> &text,
               std::shared_ptr<Cursor> &cursor, std::string &error) {
    return kind == Kind::Plain ? read_plain(path, offset, text, error)
                               : read_compressed(path, kind, offset, text, cursor, error);
}

bool read_start(Source &source, std::size_t n, std::string &out, std::string &error) {
    out.assign(n, '\0');
    std::size_t got = 0;
    for (long long r = 1; r > 0 && got < n; got += static_cast<std::size_t>(r))
        if ((r = source.read(&out[got], n - got, error)) < 0)
            return false;
    out.resize(got);
    return true;
}

} // namespace io

} // namespace vv
