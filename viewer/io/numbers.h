// Numbers as text files spell them, and values as a float holds them.
#ifndef VORLIX_VIEWER_IO_NUMBERS_H
#define VORLIX_VIEWER_IO_NUMBERS_H

#include "viewer/io/tokens.h"

#include <charconv>
#include <cstddef>

namespace vv {

namespace io {

// Beyond a float's range is infinity, not undefined behaviour.
float to_float(double v);

// The whole of [b, e), blanks around it aside, as an integer ('+' allowed).
template <typename Int> bool parse_int(const char *b, const char *e, Int &out) {
    trim(b, e);
    if (b < e && *b == '+')
        ++b;
    const auto r = std::from_chars(b, e, out);
    return b < e && r.ptr == e && r.ec == std::errc();
}

// The whole of s[0..n) as a decimal number (a leading '+' allowed, as C
// spells it; nan and inf too). Out of range values become +-inf or the
// underflowed value, as strtod gives them.
bool parse_number(const char *s, std::size_t n, double &out);

} // namespace io

} // namespace vv

#endif
