#include "viewer/trajectory/one_frame.h"

#include <cctype>
#include <limits>

namespace vv {

namespace detail {

bool index_one_frame(Source &source, const std::string &name, FrameIndex &index, std::string &error,
                     ReadHeader header, std::size_t row_bytes) {
    Window w(source);
    if (!w.slide(0, error))
        return false;
    if (w.len == 0) {
        error = name + ": empty file";
        return false;
    }
    FrameEntry entry;
    if (!header(w.buf.get(), w.len, name, entry, error))
        return false;
    while (!w.eof)
        if (!w.slide(w.len, error))
            return false;
    const std::uint64_t size = w.offset + w.len;
    if (entry.atoms > size / row_bytes) {
        error = where(name, 1, 1) + "atom count " + std::to_string(entry.atoms) +
                " is more than the file's " + std::to_string(size) + " bytes can hold";
        return false;
    }
    index.frames.push_back(entry);
    index.end = size;
    return true;
}

std::int64_t step_from_name(const std::string &name) {
    const std::size_t slash = name.rfind('/');
    const std::size_t from = slash == std::string::npos ? 0 : slash + 1;
    std::size_t end = name.size();
    while (end > from && !std::isdigit(static_cast<unsigned char>(name[end - 1])))
        --end;
    std::size_t begin = end;
    while (begin > from && std::isdigit(static_cast<unsigned char>(name[begin - 1])))
        --begin;
    std::int64_t step = 0;
    if (begin == end || !parse_int(name.data() + begin, name.data() + end, step))
        return 0;
    return step;
}

} // namespace detail

} // namespace vv
