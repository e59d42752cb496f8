// The model-transformation state: rotation matrices element by element,
// one-shot translation steps, zoom, what init_transformation keeps, and the
// composed matrix T * Rz * Ry * Rx * T.
#include "fresh_state.h"
#include "geometry.h"

#include <array>
#include <cmath>

namespace {

// init_transformation talks to OpenGL (light and material), hence the window.
class Transformation : public vt::FreshStateTest {};

using Elements = std::array<float, 16>;

const Elements identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

TEST_F(Transformation, QuarterTurnsKeepTheTinyCosineAndAnglesNeverWrap) {
    RendererState &s = vorlix_state;
    set_delta_rotation(90.0f);
    rotation_x();
    EXPECT_EQ(s.angle_x, 90.0f);
    // cos(pi/2) in double is about 6.1e-17, and single precision can hold
    // it: a cosine taken in float, or a value snapped to 0, would differ.
    const float tiny = static_cast<float>(std::cos(M_PI / 2));
    EXPECT_GT(tiny, 6.1e-17f);
    EXPECT_LT(tiny, 6.2e-17f);
    EXPECT_TRUE(vt::matrix_near(s.rotation_x_matrix.elements,
                                Elements{1, 0, 0, 0, 0, tiny, -1, 0, 0, 1, tiny, 0, 0, 0, 0, 1}));

    // The step stands: three more calls make a full turn, kept as 360.
    rotation_x();
    rotation_x();
    rotation_x();
    EXPECT_EQ(s.delta_rotation, 90.0f);
    EXPECT_EQ(s.angle_x, 360.0f);
    // sin(2 pi) in double is -2.4e-16, not the -0 that an angle of 0 gives.
    const float minus_sin_turn = static_cast<float>(-std::sin(2 * M_PI));
    EXPECT_GT(minus_sin_turn, 0.0f);
    EXPECT_TRUE(vt::matrix_near(
        s.rotation_x_matrix.elements,
        Elements{1, 0, 0, 0, 0, 1, minus_sin_turn, 0, 0, -minus_sin_turn, 1, 0, 0, 0, 0, 1}));

    // Each axis has its own angle and matrix.
    EXPECT_EQ(s.angle_y, 0.0f);
    EXPECT_EQ(s.angle_z, 0.0f);
    EXPECT_TRUE(vt::matrix_near(s.rotation_y_matrix.elements, identity));
    EXPECT_TRUE(vt::matrix_near(s.rotation_z_matrix.elements, identity));
}

TEST_F(Transformation, NegatedSineStandsAboveTheDiagonalOnEveryAxis) {
    const RendererState &s = vorlix_state;
    set_delta_rotation(30.0f);
    rotation_x();
    rotation_y();
    rotation_z();
    EXPECT_EQ(s.angle_x, 30.0f);
    EXPECT_EQ(s.angle_y, 30.0f);
    EXPECT_EQ(s.angle_z, 30.0f);
    const float c = static_cast<float>(std::sqrt(3.0) / 2);
    // clang-format off
    EXPECT_TRUE(vt::matrix_near(s.rotation_x_matrix.elements, Elements{1, 0,     0,    0,
                                                   0, c,    -0.5f, 0,
                                                   0, 0.5f,  c,    0,
                                                   0, 0,     0,    1}));
    // Y too: -s in row 0 (element 2), +s in row 2 (element 8).
    EXPECT_TRUE(vt::matrix_near(s.rotation_y_matrix.elements, Elements{c,    0, -0.5f, 0,
                                                   0,    1,  0,    0,
                                                   0.5f, 0,  c,    0,
                                                   0,    0,  0,    1}));
    EXPECT_TRUE(vt::matrix_near(s.rotation_z_matrix.elements, Elements{c,    -0.5f, 0, 0,
                                                   0.5f,  c,    0, 0,
                                                   0,     0,    1, 0,
                                                   0,     0,    0, 1}));
    // clang-format on
}

TEST_F(Transformation, InitTransformationZeroesTotalsButKeepsTheMatrices) {
    RendererState &s = vorlix_state;
    set_delta_rotation(90.0f);
    rotation_z();
    set_delta_rotation(30.0f);
    rotation_y();
    rotation_x();
    set_delta_translation(1.0f);
    translation_x();
    set_delta_translation(0.5f);
    translation_y();
    set_delta_translation(2.0f);
    translation_z();
    set_delta_translation(0.75f); // left pending
    compose_model_matrix();
    ASSERT_FALSE(vt::matrix_near(s.model_matrix.elements, identity));
    const RendererState before = s;

    init_transformation();
    EXPECT_TRUE(vt::motion_is_zero(s));
    EXPECT_TRUE(vt::matrix_near(s.model_matrix.elements, identity));
    EXPECT_TRUE(vt::matrix_bits(s.translation_matrix.elements, before.translation_matrix.elements));
    EXPECT_TRUE(vt::matrix_bits(s.rotation_x_matrix.elements, before.rotation_x_matrix.elements));
    EXPECT_TRUE(vt::matrix_bits(s.rotation_y_matrix.elements, before.rotation_y_matrix.elements));
    EXPECT_TRUE(vt::matrix_bits(s.rotation_z_matrix.elements, before.rotation_z_matrix.elements));
    EXPECT_EQ(s.translation_matrix.elements[3], 1.0f);

    // Compositions still use the kept matrices.
    compose_model_matrix();
    EXPECT_TRUE(vt::matrix_bits(s.model_matrix.elements, before.model_matrix.elements));

    // The next operation of an axis rebuilds from the zeroed total: angle 0
    // gives cosines 1 and a negated sine of -0.
    rotation_z();
    EXPECT_TRUE(vt::matrix_near(s.rotation_z_matrix.elements, identity));
    EXPECT_TRUE(std::signbit(s.rotation_z_matrix.elements[1]));
    EXPECT_FALSE(std::signbit(s.rotation_z_matrix.elements[4]));
    translation_x();
    EXPECT_EQ(s.translation_matrix.elements[3], 0.0f);
    EXPECT_EQ(s.translation_matrix.elements[7], 0.5f); // Y not touched yet
}

TEST_F(Transformation, TranslationStepIsConsumedOnceAndZSubtracts) {
    const RendererState &s = vorlix_state;
    set_delta_translation(0.25f);
    translation_y();
    translation_x(); // finds the step already cleared
    EXPECT_EQ(s.trans_y, 0.25f);
    EXPECT_EQ(s.trans_x, 0.0f);
    EXPECT_EQ(s.delta_translation, 0.0f);
    EXPECT_EQ(s.translation_matrix.elements[7], 0.25f);
    EXPECT_EQ(s.translation_matrix.elements[3], 0.0f);

    set_delta_translation(0.5f);
    translation_x();
    translation_x();
    EXPECT_EQ(s.trans_x, 0.5f);
    EXPECT_EQ(s.translation_matrix.elements[3], 0.5f);

    set_delta_translation(0.5f);
    translation_z();
    EXPECT_EQ(s.trans_z, -0.5f);
    EXPECT_EQ(s.translation_matrix.elements[11], -0.5f);
    EXPECT_TRUE(
        vt::matrix_near(s.translation_matrix.elements,
                        Elements{1, 0, 0, 0.5f, 0, 1, 0, 0.25f, 0, 0, 1, -0.5f, 0, 0, 0, 1}));
}

TEST_F(Transformation, ZoomReplacesTheDepthTotalButNotElevenOfTheMatrix) {
    const RendererState &s = vorlix_state;
    set_delta_translation(0.5f);
    translation_z();
    ASSERT_EQ(s.translation_matrix.elements[11], -0.5f);

    zoom(3.0f);
    EXPECT_EQ(s.trans_z, 3.0f);
    EXPECT_EQ(s.translation_matrix.elements[11], -0.5f);
    set_delta_translation(1.0f);
    translation_z();
    EXPECT_EQ(s.trans_z, 2.0f);
    EXPECT_EQ(s.translation_matrix.elements[11], 2.0f);

    zoom(-1.0f);
    EXPECT_EQ(s.translation_matrix.elements[11], 2.0f);
    translation_z(); // no pending step: copies the zoomed total
    EXPECT_EQ(s.trans_z, -1.0f);
    EXPECT_EQ(s.translation_matrix.elements[11], -1.0f);
}

TEST_F(Transformation, ComposeIsTranslationRotationsSameTranslation) {
    const RendererState &s = vorlix_state;
    compose_model_matrix();
    EXPECT_TRUE(vt::matrix_near(s.model_matrix.elements, identity));

    // The translation is applied twice, not undone by its inverse.
    set_delta_translation(1.0f);
    translation_x();
    compose_model_matrix();
    EXPECT_TRUE(vt::matrix_near(s.model_matrix.elements,
                                Elements{1, 0, 0, 2, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));

    // t = (1, 2, 3) and a quarter turn about each axis. Worked by hand:
    // Rz Ry Rx = [[0,0,1],[0,-1,0],[1,0,0]], offset R t + t = (4, 0, 4).
    // Any other order of the rotations, a sign swapped on one axis, or T^-1
    // as the last factor gives a different matrix.
    set_delta_translation(2.0f);
    translation_y();
    set_delta_translation(-3.0f);
    translation_z();
    set_delta_rotation(90.0f);
    rotation_x();
    rotation_y();
    rotation_z();
    compose_model_matrix();
    // clang-format off
    EXPECT_TRUE(vt::matrix_near(s.model_matrix.elements, Elements{0,  0, 1, 4,
                                               0, -1, 0, 0,
                                               1,  0, 0, 4,
                                               0,  0, 0, 1}, 1e-6));
    // clang-format on
    EXPECT_EQ(s.model_matrix.elements[15], 1.0f);

    // Rebuilt from the identity each time: nothing accumulates.
    const Matrix4 first = s.model_matrix;
    compose_model_matrix();
    EXPECT_TRUE(vt::matrix_bits(s.model_matrix.elements, first.elements));
}

} // namespace
