// vorlix_reshape and set_focale against real OpenGL: the projection read back
// from the context, the viewport, the stored size, the matrix mode and
// model-view left behind, the redisplay request, and the exact call stream.
#include "fresh_state.h"
#include "trace.h"

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

class Projection : public vt::FreshStateTest {};

using Mat = std::array<double, 16>;

const Mat identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// glFrustum's matrix in OpenGL's column-major order, written out from its
// definition.
Mat frustum(double l, double r, double b, double t, double n, double f) {
    Mat m{};
    m[0] = 2 * n / (r - l);
    m[5] = 2 * n / (t - b);
    m[8] = (r + l) / (r - l);
    m[9] = (t + b) / (t - b);
    m[10] = -(f + n) / (f - n);
    m[11] = -1;
    m[14] = -2 * f * n / (f - n);
    return m;
}

// The library's frustum for a given ratio and focal factor.
Mat expected_projection(double aspect, double focale) {
    return frustum(-0.04 * aspect, 0.04 * aspect, -0.04, 0.04, 0.1 * focale, 30.0 / focale);
}

// Mesa builds matrices in single precision, hence the relative tolerance.
::testing::AssertionResult matrix_near(const Mat &got, const Mat &want) {
    return vt::matrix_near(got, want, 1e-12, 1e-6);
}

// Puts junk in both matrices and leaves a third matrix mode current, so that
// a reshape that skips a step leaves a visible trace.
void scramble_matrices() {
    const GLdouble junk[16] = {2, 3, 0, 0, 0, 5, 7, 0, 1, 0, 11, 0, 0.5, 0.25, 0, 1};
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(junk);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(junk);
    glMatrixMode(GL_TEXTURE);
}

std::array<int, 4> viewport() {
    std::array<int, 4> v{};
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

// What every call leaves behind besides the projection: viewport, stored
// size, model-view current and holding the identity.
void expect_common_state(int width, int height) {
    EXPECT_EQ(viewport(), (std::array<int, 4>{0, 0, width, height}));
    EXPECT_EQ(vorlix_state.window_width, width);
    EXPECT_EQ(vorlix_state.window_height, height);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(matrix_near(vt::get_matrix(GL_MODELVIEW_MATRIX), identity));
}

TEST_F(Projection, WindowSizesSetViewportAndFrustum) {
    struct Case {
        int width, height;
        float aspect;
    };
    // 500x300 must be the floating-point ratio, not the integer quotient 1.
    const Case cases[] = {
        {500, 500, 1.0f}, {800, 400, 2.0f}, {500, 300, static_cast<float>(5.0 / 3.0)}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        scramble_matrices();
        vorlix_reshape(c.width, c.height);
        EXPECT_EQ(vorlix_state.aspect, c.aspect);
        EXPECT_TRUE(
            matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX), expected_projection(c.aspect, 1.0)));
        expect_common_state(c.width, c.height);
    }
}

TEST_F(Projection, FocaleMovesNearAndFarAndReappliesEverything) {
    vorlix_reshape(500, 500);
    struct Case {
        float focale;
        double near_plane, far_plane;
    };
    const Case cases[] = {{2.0f, 0.2, 15.0}, {0.5f, 0.05, 60.0}};
    for (const Case &c : cases) {
        SCOPED_TRACE("focale " + std::to_string(c.focale));
        scramble_matrices();
        glViewport(1, 2, 3, 4); // must be set again from the stored size
        set_focale(c.focale);
        EXPECT_EQ(vorlix_state.focale, c.focale);
        EXPECT_TRUE(matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX),
                                frustum(-0.04, 0.04, -0.04, 0.04, c.near_plane, c.far_plane)));
        expect_common_state(500, 500);
    }
}

// A negative focale is rejected by OpenGL; a zero one of either sign is
// passed with a far plane of 0 instead of 30/0, and is rejected as well.
TEST_F(Projection, NonPositiveFocaleLeavesIdentityButRunsEveryOtherStep) {
    vorlix_reshape(800, 400);
    for (float focale : {-1.0f, 0.0f, -0.0f}) {
        SCOPED_TRACE("focale " + std::string(std::signbit(focale) ? "-" : "+") +
                     std::to_string(std::abs(focale)));
        scramble_matrices();
        glViewport(1, 2, 3, 4);
        set_focale(focale);
        EXPECT_EQ(vorlix_state.focale, focale);
        EXPECT_TRUE(matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX), identity));
        expect_common_state(800, 400);
    }
    set_focale(1.0f);
    EXPECT_TRUE(matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX), expected_projection(2.0, 1.0)));
}

TEST_F(Projection, ZeroHeightKeepsPreviousRatioUntilARealSize) {
    // Before any real size the ratio is its load-time 0: left == right, so
    // OpenGL rejects the frustum and the identity stays.
    ASSERT_EQ(vorlix_state.aspect, 0.0f);
    scramble_matrices();
    vorlix_reshape(300, 0);
    EXPECT_EQ(vorlix_state.aspect, 0.0f);
    EXPECT_TRUE(matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX), identity));
    expect_common_state(300, 0);

    // Minimised after a real size: the old ratio and its frustum stay, the
    // viewport and stored size follow the call.
    vorlix_reshape(800, 400);
    scramble_matrices();
    vorlix_reshape(640, 0);
    EXPECT_EQ(vorlix_state.aspect, 2.0f);
    EXPECT_TRUE(matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX), expected_projection(2.0, 1.0)));
    expect_common_state(640, 0);

    // The next positive size replaces everything.
    scramble_matrices();
    vorlix_reshape(500, 300);
    EXPECT_EQ(vorlix_state.aspect, static_cast<float>(5.0 / 3.0));
    EXPECT_TRUE(matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX),
                            expected_projection(static_cast<float>(5.0 / 3.0), 1.0)));
    expect_common_state(500, 300);
}

TEST_F(Projection, FocaleBeforeFirstReshapeAppliesToTheFirstRealSize) {
    scramble_matrices();
    set_focale(2.0f); // reshapes with the stored 0x0
    EXPECT_EQ(vorlix_state.aspect, 0.0f);
    EXPECT_TRUE(matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX), identity));
    expect_common_state(0, 0);

    vorlix_reshape(500, 500);
    EXPECT_TRUE(matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX), expected_projection(1.0, 2.0)));
    expect_common_state(500, 500);
}

TEST_F(Projection, FocaleSurvivesInitTransformation) {
    vorlix_reshape(500, 500);
    set_focale(2.0f);
    init_transformation();
    EXPECT_EQ(vorlix_state.focale, 2.0f);
    vorlix_reshape(800, 400);
    EXPECT_TRUE(matrix_near(vt::get_matrix(GL_PROJECTION_MATRIX), expected_projection(2.0, 2.0)));
}

int display_calls = 0;

TEST_F(Projection, ReshapeAndSetFocaleRequestARedisplay) {
    glutDisplayFunc([] { ++display_calls; });
    vt::pump_events(); // let the window settle: mapping, exposure
    display_calls = 0;
    glutMainLoopEvent();
    ASSERT_EQ(display_calls, 0) << "a redisplay was already pending";

    vorlix_reshape(500, 500);
    glutMainLoopEvent();
    EXPECT_EQ(display_calls, 1);

    display_calls = 0;
    set_focale(2.0f);
    glutMainLoopEvent();
    EXPECT_EQ(display_calls, 1);
}

TEST(ProjectionTrace, ReshapeIssuesTheSixCallsInOrder) {
    if (vt::in_traced_child()) {
        vt::open_window();
        vt::trace_begin();
        vorlix_reshape(800, 400);
        vt::trace_end();
        return;
    }
    const std::vector<std::string> calls = vt::trace_this_test();
    // glutPostRedisplay is not an OpenGL call; the redisplay test covers it.
    const std::vector<std::string> want = {
        "glViewport(x = 0, y = 0, width = 800, height = 400)",
        "glMatrixMode(mode = GL_PROJECTION)",
        "glLoadIdentity()",
        "glFrustum(left = -0.08, right = 0.08, bottom = -0.04, top = 0.04, zNear = 0.1, "
        "zFar = 30)",
        "glMatrixMode(mode = GL_MODELVIEW)",
        "glLoadIdentity()",
    };
    EXPECT_TRUE(vt::same_calls(want, calls));
}

TEST(ProjectionTrace, GuardedCasesPassOnlyFiniteValues) {
    if (vt::in_traced_child()) {
        vt::open_window();
        vt::trace_begin();
        vorlix_reshape(320, 0); // first call: no ratio yet
        vorlix_reshape(500, 500);
        set_focale(0.0f);
        set_focale(-0.0f);
        set_focale(1.0f);
        vorlix_reshape(640, 0); // later zero height: previous ratio 1
        vt::trace_end();
        return;
    }
    const std::vector<std::string> frusta = vt::calls_named(vt::trace_this_test(), "glFrustum(");
    ASSERT_EQ(frusta.size(), 6u);
    std::vector<std::vector<double>> args;
    for (const std::string &f : frusta) {
        args.push_back(vt::numbers_in(f));
        ASSERT_EQ(args.back().size(), 6u) << f;
        for (double v : args.back())
            EXPECT_TRUE(std::isfinite(v)) << f;
    }
    using V = std::vector<double>;
    EXPECT_EQ(args[0], (V{0, 0, -0.04, 0.04, 0.1, 30}));
    EXPECT_EQ(args[1], (V{-0.04, 0.04, -0.04, 0.04, 0.1, 30}));
    EXPECT_EQ(args[2], (V{-0.04, 0.04, -0.04, 0.04, 0, 0}));
    EXPECT_EQ(args[3], (V{-0.04, 0.04, -0.04, 0.04, 0, 0})); // -0 compares equal to 0
    EXPECT_EQ(args[4], (V{-0.04, 0.04, -0.04, 0.04, 0.1, 30}));
    EXPECT_EQ(args[5], (V{-0.04, 0.04, -0.04, 0.04, 0.1, 30}));
}

TEST(ProjectionTrace, FrustumArgumentsAreFormedInDoublePrecision) {
    if (vt::in_traced_child()) {
        vt::open_window();
        vt::trace_begin();
        vorlix_reshape(500, 300);
        set_focale(0.7f);
        vt::trace_end();
        return;
    }
    const std::vector<std::string> frusta = vt::calls_named(vt::trace_this_test(), "glFrustum(");
    ASSERT_EQ(frusta.size(), 2u);
    // The stored single-precision ratio and focale, widened, then multiplied
    // and divided in double.
    const double aspect = static_cast<float>(5.0 / 3.0);
    const double focale = 0.7f;
    using V = std::vector<double>;
    EXPECT_EQ(vt::numbers_in(frusta[0]),
              (V{-0.04 * aspect, 0.04 * aspect, -0.04, 0.04, 0.1, 30.0}));
    EXPECT_EQ(vt::numbers_in(frusta[1]),
              (V{-0.04 * aspect, 0.04 * aspect, -0.04, 0.04, 0.1 * focale, 30.0 / focale}));
}

} // namespace
