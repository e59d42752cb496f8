// Lines: of a source, streamed through a window with a limit on their
// length, or of bytes already in memory (a trajectory frame). Either way a
// line ends at '\n' and a "\r\n" line loses its '\r'.
#ifndef VORLIX_VIEWER_IO_LINES_H
#define VORLIX_VIEWER_IO_LINES_H

#include "viewer/io/tokens.h"
#include "viewer/io/window.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vv {

namespace io {

// A source's lines, counted from 1. Lines longer than the limit (a '\r'
// before the '\n' counted) are refused rather than buffered without end.
class Lines {
  public:
    enum class Got { Line, End, TooLong, Failed };

    Lines(Window &window, std::size_t max_line) : w_(window), max_(max_line) {}

    // The next line without its "\n" or "\r\n" into `line`, valid until the
    // next call; the last line may lack its '\n'. TooLong counts the line
    // refused; Failed sets error from the source.
    Got next(std::string_view &line, std::string &error);

    std::size_t max_line() const { return max_; }
    std::uint64_t number = 0;

  private:
    Window &w_;
    std::size_t max_;
};

// Lines of bytes in memory, counted from 1.
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

} // namespace io

} // namespace vv

#endif
