#include "viewer/trajectory/indexed.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace vv {

namespace detail {

namespace {

// Frame k's span, or false with error set.
bool span(const FrameIndex &index, std::size_t k, std::uint64_t &offset, std::uint64_t &size,
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

} // namespace

std::string where(const std::string &name, std::size_t frame, std::uint64_t line) {
    return name + ": frame " + std::to_string(frame) + ": line " + std::to_string(line) + ": ";
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

bool fetch_frame(const FrameIndex &index, std::size_t k, Frame &frame, std::string &error) {
    std::uint64_t offset, size;
    if (!span(index, k, offset, size, error))
        return false;
    frame.text.resize(size);
    return read_span(index.path, index.compression, offset, frame.text, frame.cursor, error);
}

bool frame_span(const char *data, std::size_t size, const FrameIndex &index, std::size_t k,
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
bool scan(const FormatSteps &format, Source &source, const std::string &name, FrameIndex &index,
          std::string &error) {
    index.path = name;
    index.frames.clear();
    index.end = 0;
    index.warning.clear();
    index.numbered = false;
    if (format.index(source, name, index, error))
        return true;
    index.frames.clear();
    index.frames.shrink_to_fit();
    index.end = 0;
    index.warning.clear();
    return false;
}

bool parse_checked(const FormatSteps &format, const char *data, std::size_t size,
                   const FrameIndex &index, std::size_t k, Frame &frame, std::string &error) {
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

bool index_path(const FormatSteps &format, const std::string &path, FrameIndex &index,
                std::string &error) {
    io::Kind kind = io::Kind::Plain;
    const std::unique_ptr<Source> source = open_source(path, kind, error);
    if (!source) {
        index = FrameIndex();
        return false;
    }
    index.compression = kind;
    return scan(format, *source, path, index, error);
}

bool index_memory(const FormatSteps &format, const char *data, std::size_t size,
                  const std::string &name, FrameIndex &index, std::string &error) {
    index.compression = io::Kind::Plain;
    return scan(format, *memory_source(data, size), name, index, error);
}

bool read_indexed(const FormatSteps &format, const FrameIndex &index, std::size_t k, Frame &frame,
                  std::string &error) {
    if (!fetch_frame(index, k, frame, error)) {
        clear_atoms(frame);
        return false;
    }
    return parse_checked(format, frame.text.data(), frame.text.size(), index, k, frame, error);
}

bool read_indexed_bytes(const FormatSteps &format, const char *data, std::size_t size,
                        const FrameIndex &index, std::size_t k, Frame &frame, std::string &error) {
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
