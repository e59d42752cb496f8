// The exact bit pattern of a float and back, for tests that check values are
// stored unchanged (NaN payloads, negative zero).
#ifndef VORLIX_TEST_FLOAT_BITS_H
#define VORLIX_TEST_FLOAT_BITS_H

#include <cstdint>
#include <cstring>

namespace vt {

inline std::uint32_t bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

inline float from_bits(std::uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

} // namespace vt

#endif
