#include "viewer/io/stream.h"

namespace vv {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::size_t split(std::string_view s, std::string_view *words, std::size_t max) {
    std::size_t n = 0, i = 0;
    while (i < s.size()) {
        while (i < s.size() && is_space(s[i]))
            ++i;
        if (i == s.size())
            break;
        const std::size_t start = i;
        while (i < s.size() && !is_space(s[i]))
            ++i;
        if (n < max)
            words[n] = s.substr(start, i - start);
        ++n;
    }
    return n;
}

// One value of a binary row, in the file's byte order.
double decode(const char *p, Type t, bool swap) {
    unsigned char b[8];
    const std::size_t n = size_of(t);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>(p[swap ? n - 1 - i : i]);
    switch (t) {
#define VV_DECODE(kind, ctype)                                                                     \
    case Type::kind: {                                                                             \
        ctype v;                                                                                   \
        std::memcpy(&v, b, sizeof v);                                                              \
        return static_cast<double>(v);                                                             \
    }
        VV_DECODE(I8, std::int8_t)
        VV_DECODE(U8, std::uint8_t)
        VV_DECODE(I16, std::int16_t)
        VV_DECODE(U16, std::uint16_t)
        VV_DECODE(I32, std::int32_t)
        VV_DECODE(U32, std::uint32_t)
        VV_DECODE(F32, float)
        VV_DECODE(F64, double)
        VV_DECODE(I64, std::int64_t)
        VV_DECODE(U64, std::uint64_t)
#undef VV_DECODE
    }
    return 0;
}

bool host_is_little_endian() {
    const std::uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

bool is_blank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), is_space);
}

bool LineReader::next_line(std::string_view &s, bool &end) {
    bool too_long = false;
    end = false;
    if (src_.line(s, too_long)) {
        ++line_;
        return true;
    }
    if (too_long) {
        ++line_; // the long line is the next one
        return fail_line("longer than " + std::to_string(src_.max_line()) + " characters");
    }
    if (src_.broken())
        return fail("read error after line " + std::to_string(line_));
    end = true;
    return false;
}

bool seekable_size(std::istream &in, const std::string &name, std::uint64_t &size,
                   std::string &error) {
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.seekg(0);
    if (!in || end < 0) {
        error = name + ": cannot be read a second time (not a regular file?)";
        return false;
    }
    size = static_cast<std::uint64_t>(end);
    return true;
}

} // namespace vv
