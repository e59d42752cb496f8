#include "viewer/io/text.h"

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

} // namespace vv
