#include "viewer/trajectory/io.h"

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

// Frame k's span, or false with error set.
bool span(const DumpIndex &index, std::size_t k, std::uint64_t &offset, std::uint64_t &size,
          std::string &error) {
    if (k >= index.frames.size()) {
        error = index.path + ": frame " + std::to_string(k + 1) +
                ": no such frame (the index has " + std::to_string(index.frames.size()) + ")";
        return false;
    }
    offset = index.frames[k].offset;
    const std::uint64_t end = k + 1 < index.frames.size() ? index.frames[k + 1].offset : index.end;
    if (end < offset) {
        error = index.path + ": frame " + std::to_string(k + 1) + ": the index is inconsistent";
        return false;
    }
    size = end - offset;
    return true;
}

bool read_plain(const DumpIndex &index, std::uint64_t offset, std::vector<char> &text,
                std::string &error) {
    const int fd = ::open(index.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = index.path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t got =
            ::pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = index.path + ": " +
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

// Frame bytes from a gzip stream through the Frame's cursor: on from where
// it stands when the frame lies ahead, from the start otherwise.
bool read_gzip(const DumpIndex &index, std::uint64_t offset, Frame &frame, std::string &error) {
    auto &cursor = frame.cursor;
    if (!cursor || cursor->path != index.path || cursor->position > offset) {
        cursor = std::make_shared<detail::Cursor>();
        cursor->path = index.path;
        cursor->file = gzopen(index.path.c_str(), "rb");
        if (!cursor->file) {
            error = index.path + ": cannot open: " + std::strerror(errno);
            cursor.reset();
            return false;
        }
        gzbuffer(cursor->file, 1u << 20);
    }
    std::vector<char> &text = frame.text;
    const std::size_t size = text.size();
    // Skipped bytes go through the frame's own buffer.
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
            gz_read(cursor->file, skipping ? scratch : text.data() + done, want, index.path, error);
        if (got <= 0) {
            if (got == 0)
                error = index.path + ": the stream is shorter than its index (changed since?)";
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

std::string where(const std::string &name, std::size_t frame, std::uint64_t line) {
    return name + ": frame " + std::to_string(frame) + ": line " + std::to_string(line) + ": ";
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

void clear_atoms(Frame &frame) {
    frame.atoms = 0;
    frame.skipped = 0;
    frame.position.clear();
    frame.id.clear();
    frame.type.clear();
    frame.element.clear();
    frame.element_names.clear();
    for (Field &f : frame.fields)
        f.values.clear();
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

bool fetch_frame(const DumpIndex &index, std::size_t k, Frame &frame, std::string &error) {
    std::uint64_t offset, size;
    if (!span(index, k, offset, size, error))
        return false;
    frame.text.resize(size);
    return index.gzip ? read_gzip(index, offset, frame, error)
                      : read_plain(index, offset, frame.text, error);
}

bool frame_span(const char *data, std::size_t size, const DumpIndex &index, std::size_t k,
                const char *&begin, std::size_t &length, std::string &error) {
    std::uint64_t offset, n;
    if (!span(index, k, offset, n, error))
        return false;
    if (offset > size || n > size - offset) {
        error = index.path + ": frame " + std::to_string(k + 1) + ": beyond the bytes given";
        return false;
    }
    begin = data + offset;
    length = static_cast<std::size_t>(n);
    return true;
}

bool element_index(Frame &frame, const char *b, const char *e, std::uint32_t &out) {
    std::vector<std::string> &names = frame.element_names;
    const auto n = static_cast<std::size_t>(e - b);
    for (std::size_t i = names.size(); i-- > 0;)
        if (names[i].size() == n && std::memcmp(names[i].data(), b, n) == 0) {
            out = static_cast<std::uint32_t>(i);
            return true;
        }
    if (names.size() >= 256)
        return false;
    out = static_cast<std::uint32_t>(names.size());
    names.emplace_back(b, e);
    return true;
}

bool add_position(Frame &frame, const double pos[3]) {
    if (!(std::fabs(pos[0]) <= FLT_MAX && std::fabs(pos[1]) <= FLT_MAX &&
          std::fabs(pos[2]) <= FLT_MAX)) {
        ++frame.skipped;
        return false;
    }
    for (int i = 0; i < 3; ++i)
        frame.position.push_back(static_cast<float>(pos[i]));
    return true;
}

namespace {

// The format's scan into an index that starts empty, and is left empty (its
// memory released) when the scan fails.
bool scan(const FormatSteps &format, Source &source, const std::string &name, DumpIndex &index,
          std::string &error) {
    index.path = name;
    index.frames.clear();
    index.end = 0;
    index.warning.clear();
    if (format.index(source, name, index, error))
        return true;
    index.frames.clear();
    index.frames.shrink_to_fit();
    index.end = 0;
    index.warning.clear();
    return false;
}

bool parse_checked(const FormatSteps &format, const char *data, std::size_t size,
                   const DumpIndex &index, std::size_t k, Frame &frame, std::string &error) {
    clear_atoms(frame);
    if (!format.parse(data, size, index.path, k + 1, frame, error)) {
        clear_atoms(frame);
        return false;
    }
    const FrameEntry &entry = index.frames[k];
    if (frame.timestep != entry.timestep || frame.declared != entry.atoms) {
        clear_atoms(frame);
        error = where(index.path, k + 1, 1) + "timestep or atom count differ from the index "
                                              "(the file changed since it was indexed?)";
        return false;
    }
    return true;
}

} // namespace

bool index_path(const FormatSteps &format, const std::string &path, DumpIndex &index,
                std::string &error) {
    bool gz = false;
    const std::unique_ptr<Source> source = open_source(path, gz, error);
    if (!source) {
        index = DumpIndex();
        return false;
    }
    index.gzip = gz;
    return scan(format, *source, path, index, error);
}

bool index_memory(const FormatSteps &format, const char *data, std::size_t size,
                  const std::string &name, DumpIndex &index, std::string &error) {
    index.gzip = false;
    return scan(format, *memory_source(data, size), name, index, error);
}

bool read_indexed(const FormatSteps &format, const DumpIndex &index, std::size_t k, Frame &frame,
                  std::string &error) {
    if (!fetch_frame(index, k, frame, error)) {
        clear_atoms(frame);
        return false;
    }
    return parse_checked(format, frame.text.data(), frame.text.size(), index, k, frame, error);
}

bool read_indexed_bytes(const FormatSteps &format, const char *data, std::size_t size,
                        const DumpIndex &index, std::size_t k, Frame &frame, std::string &error) {
    const char *begin;
    std::size_t length;
    if (!frame_span(data, size, index, k, begin, length, error)) {
        clear_atoms(frame);
        return false;
    }
    return parse_checked(format, begin, length, index, k, frame, error);
}

} // namespace detail

} // namespace vv
