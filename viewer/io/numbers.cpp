#include "viewer/io/numbers.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

namespace vv {

namespace io {

float to_float(double v) {
    if (v > FLT_MAX)
        return HUGE_VALF;
    if (v < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(v);
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

} // namespace io

} // namespace vv
