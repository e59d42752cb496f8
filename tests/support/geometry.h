// Where the library's projection puts an eye-space point, and matrices
// compared element by element. Header only, for tests with or without GL.
#ifndef VORLIX_TEST_GEOMETRY_H
#define VORLIX_TEST_GEOMETRY_H

#include "float_bits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace vt {

struct Win {
    double x, y; // window coordinates: from the left, from the bottom
};

// The window position of eye-space (x, y, z), z < 0, under the library's
// frustum for a width x height window and focal factor focale: near plane
// 0.1 * focale, spanning +-0.04 * width / height across and +-0.04 up.
inline Win eye_to_window(double x, double y, double z, int width, int height, double focale = 1) {
    const double aspect = static_cast<double>(width) / height, near_plane = 0.1 * focale;
    const double nx = near_plane * x / -z / (0.04 * aspect), ny = near_plane * y / -z / 0.04;
    return {(nx + 1) * width / 2, (ny + 1) * height / 2};
}

// Whether each of the 16 elements of got (any indexable: Matrix4::elements,
// std::array<double, 16>, ...) equals want's or lies within
// abs_tol + rel_tol * |want|. NaN matches nothing. On failure names the first
// element off and prints all 16 observed.
template <typename Got, typename Want>
::testing::AssertionResult matrix_near(const Got &got, const Want &want, double abs_tol = 0,
                                       double rel_tol = 0) {
    for (int i = 0; i < 16; ++i) {
        const double g = got[i], w = want[i];
        if (g == w || std::abs(g - w) <= abs_tol + rel_tol * std::abs(w))
            continue;
        std::ostringstream all;
        for (int k = 0; k < 16; ++k)
            all << (k ? " " : "") << static_cast<double>(got[k]);
        return ::testing::AssertionFailure() << "element " << i << ": expected " << w
                                             << ", observed " << g << " (all: " << all.str() << ")";
    }
    return ::testing::AssertionSuccess();
}

// Whether the 16 floats of got have exactly the bit patterns of want's (tells
// -0 from 0 and keeps NaN payloads apart).
inline ::testing::AssertionResult matrix_bits(const float *got, const float *want) {
    for (int i = 0; i < 16; ++i) {
        const auto g = bits(got[i]), w = bits(want[i]);
        if (g != w)
            return ::testing::AssertionFailure()
                   << "element " << i << ": expected bits 0x" << std::hex << w << " (" << want[i]
                   << "), observed 0x" << g << " (" << got[i] << ")";
    }
    return ::testing::AssertionSuccess();
}

} // namespace vt

#endif
