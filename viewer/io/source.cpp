#include "viewer/io/source.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

namespace vv {

namespace detail {

namespace {

bool gzip_magic(const unsigned char *p, std::size_t n) {
    return n >= 2 && p[0] == 0x1f && p[1] == 0x8b;
}

struct FdSource : Source {
    int fd;
    std::string name;
    FdSource(int f, std::string n) : fd(f), name(std::move(n)) {}
    ~FdSource() override { ::close(fd); }
    long long read(char *dst, std::size_t n, std::string &error) override {
        for (;;) {
            const ssize_t got = ::read(fd, dst, n);
            if (got >= 0)
                return got;
            if (errno != EINTR) {
                error = name + ": cannot read: " + std::strerror(errno);
                return -1;
            }
        }
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
        return gz_read(file, dst, n, name, error);
    }
};

struct MemSource : Source {
    const char *data;
    std::size_t left;
    MemSource(const char *d, std::size_t n) : data(d), left(n) {}
    std::size_t fixed_size() const override { return left; }
    long long read(char *dst, std::size_t n, std::string &) override {
        n = std::min(n, left);
        if (n)
            std::memcpy(dst, data, n);
        data += n;
        left -= n;
        return static_cast<long long>(n);
    }
};

bool read_plain(const std::string &path, std::uint64_t offset, std::vector<char> &text,
                std::string &error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t got =
            ::pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = path + ": " +
                    (got < 0 ? std::string("cannot read: ") + std::strerror(errno)
                             : std::string("the file is shorter than its index (changed since?)"));
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return true;
}

// Bytes from a gzip stream through a cursor: on from where it stands when
// they lie ahead, from the start otherwise.
bool read_gzip(const std::string &path, std::uint64_t offset, std::vector<char> &text,
               std::shared_ptr<Cursor> &cursor, std::string &error) {
    if (!cursor || cursor->path != path || cursor->position > offset) {
        cursor = std::make_shared<Cursor>();
        cursor->path = path;
        cursor->file = gzopen(path.c_str(), "rb");
        if (!cursor->file) {
            error = path + ": cannot open: " + std::strerror(errno);
            cursor.reset();
            return false;
        }
        gzbuffer(cursor->file, 1u << 20);
    }
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
    while (cursor->position < offset || done < size) {
        const bool skipping = cursor->position < offset;
        const std::size_t want =
            skipping
                ? static_cast<std::size_t>(std::min<std::uint64_t>(offset - cursor->position, room))
                : size - done;
        const long long got =
            gz_read(cursor->file, skipping ? scratch : text.data() + done, want, path, error);
        if (got <= 0) {
            if (got == 0)
                error = path + ": the stream is shorter than its index (changed since?)";
            cursor.reset();
            return false;
        }
        cursor->position += static_cast<std::uint64_t>(got);
        if (!skipping)
            done += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

Window::Window(Source &source)
    : source(source), size(std::min(kBlock, source.fixed_size() + 1)), buf(new char[size]) {}

bool Window::slide(std::size_t keep, std::string &error) {
    std::memmove(buf.get(), buf.get() + keep, len - keep);
    offset += keep;
    len -= keep;
    pos -= std::min(pos, keep);
    while (!eof && len < size) {
        const long long got = source.read(buf.get() + len, size - len, error);
        if (got < 0)
            return false;
        if (got == 0)
            eof = true;
        len += static_cast<std::size_t>(got);
    }
    return true;
}

// Newlines in p[0..n), eight bytes at a time: a byte equal to '\n' leaves a
// 1 in its lane, summed in the lanes and folded every 255 words.
std::uint64_t count_newlines(const char *p, std::size_t n) {
    constexpr std::uint64_t k01 = 0x0101010101010101ull, k7f = 0x7f7f7f7f7f7f7f7full;
    constexpr std::uint64_t k0a = k01 * '\n', k00ff = 0x00ff00ff00ff00ffull;
    std::uint64_t count = 0;
    while (n >= 8) {
        std::uint64_t lanes = 0;
        for (std::size_t words = std::min<std::size_t>(n / 8, 255); words; --words) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            const std::uint64_t x = w ^ k0a;
            lanes += ~(((x & k7f) + k7f) | x | k7f) >> 7;
            p += 8;
            n -= 8;
        }
        const std::uint64_t pairs = (lanes & k00ff) + ((lanes >> 8) & k00ff);
        count += (pairs * 0x0001000100010001ull) >> 48;
    }
    for (; n; --n)
        count += *p++ == '\n';
    return count;
}

// Beyond a float's range is infinity, not undefined behaviour.
float to_float(double v) {
    if (v > FLT_MAX)
        return HUGE_VALF;
    if (v < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(v);
}

std::unique_ptr<Source> open_source(const std::string &path, bool &gzip, std::string &error) {
    gzip = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot open: " + std::strerror(errno);
        return nullptr;
    }
    unsigned char magic[2];
    if (!(::pread(fd, magic, 2, 0) == 2 && gzip_magic(magic, 2)))
        return std::make_unique<FdSource>(fd, path);
    const gzFile file = gzdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        error = path + ": cannot open the gzip stream";
        return nullptr;
    }
    gzbuffer(file, 1u << 20);
    gzip = true;
    return std::make_unique<GzSource>(file, path);
}

std::unique_ptr<Source> memory_source(const char *data, std::size_t size) {
    return std::make_unique<MemSource>(data, size);
}

bool read_span(const std::string &path, bool gzip, std::uint64_t offset, std::vector<char> &text,
               std::shared_ptr<Cursor> &cursor, std::string &error) {
    return gzip ? read_gzip(path, offset, text, cursor, error)
                : read_plain(path, offset, text, error);
}

} // namespace detail

} // namespace vv
