#include "viewer/io/window.h"

#include "viewer/io/source.h"

#include <algorithm>
#include <cstring>

namespace vv {

namespace io {

Window::Window(Source &source, std::size_t block)
    : source(source), size(std::min(block, source.fixed_size() + 1)), buf(new char[size]) {}

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

bool Window::need(std::size_t n, std::string &error) {
    if (len - pos >= n)
        return true;
    if (eof)
        return false;
    if (size < n) {
        // Doubled at least: a line that needs one byte more each time (a
        // long line looked for its end) costs copies in proportion to its
        // length, not to its square.
        const std::size_t grown = std::max(n, 2 * size);
        std::unique_ptr<char[]> bigger(new char[grown]);
        std::memcpy(bigger.get(), buf.get() + pos, len - pos);
        offset += pos;
        len -= pos;
        pos = 0;
        buf = std::move(bigger);
        size = grown;
    }
    return slide(pos, error) && len - pos >= n;
}

const char *Window::take(std::size_t n, std::string &error) {
    if (!need(n, error))
        return nullptr;
    const char *p = buf.get() + pos;
    pos += n;
    return p;
}

bool Window::seek(std::uint64_t at, std::string &error) {
    if (at >= offset && at - offset <= len) {
        pos = static_cast<std::size_t>(at - offset);
        return true;
    }
    if (!source.seek(at, error))
        return false;
    offset = at;
    len = pos = 0;
    eof = false;
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

} // namespace io

} // namespace vv
