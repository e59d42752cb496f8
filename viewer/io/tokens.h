// Words of a line. One whitespace rule for every reader: a blank is what C's
// isspace() calls space, less the newline that ends a line: ' ', '\t',
// '\v', '\f' and '\r' (a "\r\n" file's '\r', wherever a line splitter left
// it). Bytes of 0x80 and above are never blank, whatever the locale.
#ifndef VORLIX_VIEWER_IO_TOKENS_H
#define VORLIX_VIEWER_IO_TOKENS_H

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

namespace vv {

namespace io {

// A shift and a mask: the dump reader asks this of every byte of a frame.
inline bool is_blank(char c) {
    constexpr unsigned long long kBlanks =
        1ull << ' ' | 1ull << '\t' | 1ull << '\v' | 1ull << '\f' | 1ull << '\r';
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' && (kBlanks >> u & 1);
}

// Whether s holds nothing but blanks.
inline bool all_blank(std::string_view s) {
    for (const char c : s)
        if (!is_blank(c))
            return false;
    return true;
}

inline bool starts_with(const char *b, const char *e, const char *prefix) {
    const std::size_t n = std::strlen(prefix);
    return static_cast<std::size_t>(e - b) >= n && std::memcmp(b, prefix, n) == 0;
}

inline void trim(const char *&b, const char *&e) {
    while (b < e && is_blank(*b))
        ++b;
    while (e > b && is_blank(e[-1]))
        --e;
}

// The next token of [p, e) as [tb, te), p moved past it. Tokens are
// separated by blanks and by any byte of `also` (XYZ's commas, say).
inline bool next_token(const char *&p, const char *e, const char *&tb, const char *&te,
                       const char *also = nullptr) {
    if (!also) { // the common case, kept to the blank test alone
        while (p < e && is_blank(*p))
            ++p;
        tb = p;
        while (p < e && !is_blank(*p))
            ++p;
    } else {
        const auto separates = [also](char c) {
            return is_blank(c) || (c && std::strchr(also, c));
        };
        while (p < e && separates(*p))
            ++p;
        tb = p;
        while (p < e && !separates(*p))
            ++p;
    }
    te = p;
    return tb != e;
}

// The words of s: how many there are (all of them), at most `max` stored.
inline std::size_t split(std::string_view s, std::string_view *words, std::size_t max) {
    const char *p = s.data(), *e = p + s.size(), *tb, *te;
    std::size_t n = 0;
    for (; next_token(p, e, tb, te); ++n)
        if (n < max)
            words[n] = std::string_view(tb, static_cast<std::size_t>(te - tb));
    return n;
}

// All the words of s.
inline void split(std::string_view s, std::vector<std::string_view> &words) {
    words.resize(split(s, nullptr, 0));
    split(s, words.data(), words.size());
}

} // namespace io

} // namespace vv

#endif
