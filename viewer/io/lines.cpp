#include "viewer/io/lines.h"

namespace vv {

namespace io {

Lines::Got Lines::next(std::string_view &line, std::string &error) {
    std::size_t scanned = 0; // bytes of the line at hand already searched
    for (;;) {
        const char *start = w_.buf.get() + w_.pos;
        const std::size_t have = w_.len - w_.pos;
        const auto *nl =
            static_cast<const char *>(std::memchr(start + scanned, '\n', have - scanned));
        std::size_t len;
        if (nl) {
            len = static_cast<std::size_t>(nl - start);
            if (len > max_) {
                ++number;
                return Got::TooLong;
            }
            w_.pos += len + 1;
        } else {
            scanned = have;
            if (scanned > max_) {
                ++number;
                return Got::TooLong;
            }
            std::string why;
            if (w_.need(scanned + 1, why))
                continue;
            if (!why.empty()) {
                error = why;
                return Got::Failed;
            }
            if (w_.len == w_.pos)
                return Got::End;
            start = w_.buf.get() + w_.pos; // the last line, without a line end
            len = w_.len - w_.pos;
            w_.pos = w_.len;
        }
        if (len > 0 && start[len - 1] == '\r')
            --len;
        line = std::string_view(start, len);
        ++number;
        return Got::Line;
    }
}

} // namespace io

} // namespace vv
