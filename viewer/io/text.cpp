#include "viewer/io/text.h"

#include <charconv>
#include <cstdlib>

namespace vv {

std::string printable(const char *s, std::size_t n) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c >= 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string quote_token(const char *s, std::size_t n) {
    return "'" + printable(s, n < 32 ? n : 32) + (n > 32 ? "...'" : "'");
}

bool parse_number(const char *s, std::size_t n, double &out) {
    const char *first = s, *last = s + n;
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-' && first[1] != '+')
        ++first;
    const auto r = std::from_chars(first, last, out);
    if (r.ptr != last)
        return false;
    if (r.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone; strtod gives +-HUGE_VAL or the
        // underflowed value, which is what the text means.
        const std::string copy(first, last);
        out = std::strtod(copy.c_str(), nullptr);
        return true;
    }
    return r.ec == std::errc();
}

} // namespace vv
