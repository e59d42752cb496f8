// Matrix4 and deg_to_rad: layout, operand order, aliasing, the single
// rounding of double-precision arithmetic, and the homogeneous division.
#include "float_bits.h"
#include "geometry.h"
#include "matrix.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

using vt::bits;
using vt::from_bits;

Matrix4 with(std::initializer_list<std::pair<int, float>> changes) {
    Matrix4 m;
    for (const auto &c : changes)
        m.elements[c.first] = c.second;
    return m;
}

using Elements = std::array<float, 16>;

const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

} // namespace

TEST(Matrix4, ConstructsIdentityAndLoadsExactBits) {
    const Matrix4 fresh;
    EXPECT_TRUE(vt::matrix_bits(fresh.elements, identity));

    // Values that an arithmetic copy would alter: NaN payloads (quiet and
    // signalling), -0, the smallest subnormal, infinities.
    const std::uint32_t patterns[16] = {0x7fc12345u, 0xffa00001u, 0x80000000u, 0x00000001u,
                                        0x7f800000u, 0xff800000u, 0x7f7fffffu, 0x3f800001u,
                                        0xbf000000u, 0x80000001u, 0x00800000u, 0x00000000u,
                                        0x7fbfffffu, 0x4b000001u, 0xc2c80000u, 0x3eaaaaabu};
    float source[16];
    for (int i = 0; i < 16; ++i)
        source[i] = from_bits(patterns[i]);
    Matrix4 m;
    m.load(source);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(bits(m.elements[i]), patterns[i]) << "element " << i;
        EXPECT_EQ(bits(source[i]), patterns[i]) << "source changed at " << i;
    }
    static_assert(sizeof(Matrix4) == 16 * sizeof(float), "Matrix4 is 16 floats and nothing else");
}

// a.multiply(b) on a copy of a.
Matrix4 times(Matrix4 a, const Matrix4 &b) {
    a.multiply(b);
    return a;
}

TEST(Matrix4, MultiplyPutsTheOtherOperandOnTheRight) {
    // A translates X by 2, B scales X by 3. A*B scales then translates;
    // B*A translates then scales, so the offset is scaled too.
    const Matrix4 a = with({{3, 2.0f}});
    const Matrix4 b = with({{0, 3.0f}});
    // Row-by-column in the 4*row+column layout: [[1,2],[3,4]] * [[5,6],[7,8]]
    // is [[19,22],[43,50]]; the other way round [[23,34],[31,46]]. A transposed
    // layout or swapped operands gives one of the other results.
    const Matrix4 p = with({{0, 1.0f}, {1, 2.0f}, {4, 3.0f}, {5, 4.0f}});
    const Matrix4 q = with({{0, 5.0f}, {1, 6.0f}, {4, 7.0f}, {5, 8.0f}});
    const struct {
        const char *product;
        Matrix4 got;
        Elements want;
    } cases[] = {
        {"a*b", times(a, b), {3, 0, 0, 2, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"b*a", times(b, a), {3, 0, 0, 6, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"p*q", times(p, q), {19, 22, 0, 0, 43, 50, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"q*p", times(q, p), {23, 34, 0, 0, 31, 46, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        // A run of calls accumulates on the right: T * S * T.
        {"a*b*a", times(times(a, b), a), {3, 0, 0, 8, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(vt::matrix_near(c.got.elements, c.want)) << c.product;
}

TEST(Matrix4, IdentityOnEitherSideKeepsEveryElement) {
    const float values[16] = {1.5f,   -2.25f, 1e30f,  -7e-30f, 0.1f, 3.0f,   -0.5f,  1e-3f,
                              123.0f, 4.0f,   -9.75f, 2.0f,    0.0f, 0.125f, -1e10f, 8.0f};
    Matrix4 m;
    m.load(values);
    Matrix4 left; // I * m
    left.multiply(m);
    Matrix4 right = m; // m * I
    right.multiply(Matrix4());
    EXPECT_TRUE(vt::matrix_near(left.elements, values));
    EXPECT_TRUE(vt::matrix_near(right.elements, values));
}

TEST(Matrix4, MultiplyBySelfSquares) {
    Matrix4 t = with({{3, 1.0f}});
    t.multiply(t);
    EXPECT_TRUE(
        vt::matrix_near(t.elements, Elements{1, 0, 0, 2, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));

    // Writing results into the operand while it is still being read would give
    // 22 instead of 10 in element 1.
    Matrix4 s = with({{0, 1.0f}, {1, 2.0f}, {4, 3.0f}, {5, 4.0f}});
    s.multiply(s);
    EXPECT_TRUE(
        vt::matrix_near(s.elements, Elements{7, 10, 0, 0, 15, 22, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
}

TEST(Matrix4, MultiplyRoundsOnceFromDouble) {
    // Element 0 = 1*1 + 1*2^-24 + 1*2^-24. Summed in float, each 2^-24 is a
    // tie that rounds back to 1; in double the sum is 1 + 2^-23 exactly.
    Matrix4 sums = with({{1, 1.0f}, {2, 1.0f}});
    const Matrix4 small = with({{4, 0x1p-24f}, {8, 0x1p-24f}});
    sums.multiply(small);
    EXPECT_EQ(bits(sums.elements[0]), bits(1.0f + 0x1p-23f));

    // Element 0 = (1+2^-12)^2 - 1 = 2^-11 + 2^-24. A product rounded to float
    // first loses the 2^-24 and leaves 2^-11. Tried in each of the four terms.
    const float u = 1.0f + 0x1p-12f;
    for (int k = 0; k < 4; ++k) {
        const int j = (k + 1) % 4;
        float e[16] = {}, o[16] = {};
        e[k] = u;
        o[4 * k] = u;
        e[j] = -1.0f;
        o[4 * j] = 1.0f;
        Matrix4 prods;
        prods.load(e);
        Matrix4 other;
        other.load(o);
        prods.multiply(other);
        EXPECT_EQ(bits(prods.elements[0]), bits(0x1p-11f + 0x1p-24f)) << "term " << k;
    }
}

TEST(Matrix4, DivideByWUsesTheEntryValueAndEndsAtOne) {
    float values[16];
    for (int i = 0; i < 15; ++i)
        values[i] = static_cast<float>(i) - 7.0f;
    values[15] = 2.0f;
    Matrix4 m;
    m.load(values);
    m.divide_by_w();
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(m.elements[i], (static_cast<float>(i) - 7.0f) / 2.0f) << "element " << i;
    EXPECT_EQ(m.elements[15], 1.0f);

    // Row 3 = 0, 0, 0, 1: nothing changes.
    const float affine[16] = {0.3f, -1, 2, 5, 4, 0.7f, 6, -7, 8, 9, 1e-20f, 11, 0, 0, 0, 1};
    Matrix4 a;
    a.load(affine);
    a.divide_by_w();
    EXPECT_TRUE(vt::matrix_near(a.elements, affine));
}

TEST(Matrix4, DivideByZeroWFollowsIeee) {
    Matrix4 m = with({{3, -4.0f}, {7, 0.5f}, {15, 0.0f}});
    m.divide_by_w();
    EXPECT_EQ(m.elements[0], INFINITY);
    EXPECT_EQ(m.elements[3], -INFINITY);
    EXPECT_EQ(m.elements[7], INFINITY);
    EXPECT_TRUE(std::isnan(m.elements[1]));
    EXPECT_TRUE(std::isnan(m.elements[14]));
    EXPECT_TRUE(std::isnan(m.elements[15]));
}

TEST(DegToRad, ExactDoubleResults) {
    static_assert(std::is_same<decltype(deg_to_rad(0.0f)), double>::value,
                  "the result must stay in double");
    EXPECT_EQ(deg_to_rad(180.0f), M_PI);
    EXPECT_EQ(deg_to_rad(90.0f), M_PI / 2);
    EXPECT_EQ(deg_to_rad(-90.0f), -M_PI / 2);
    EXPECT_EQ(deg_to_rad(720.0f), 4 * M_PI); // no wrapping into one turn
    EXPECT_EQ(deg_to_rad(0.0f), 0.0);
    // pi/2 rounded to float is off by about 4e-8: it must not get there.
    EXPECT_NE(deg_to_rad(90.0f), static_cast<double>(static_cast<float>(M_PI / 2)));
}
