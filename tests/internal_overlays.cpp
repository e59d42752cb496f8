// The bounding cube and the axes gizmo: exact call streams through apitrace,
// the matrix left behind, and the gizmo's scaled vertices in feedback mode.
#include "gl_harness.h"
#include "internal.h"
#include "library_calls.h"
#include "trace.h"

#include <array>
#include <string>
#include <vector>

namespace {

using Mat = std::array<double, 16>;

GLint modelview_depth() {
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    return depth;
}

// A non-trivial model-view, so that a reset or a leaked scale shows.
void load_junk_modelview() {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.3f, -0.2f, 0.1f);
    glRotatef(25.0f, 1.0f, 2.0f, 3.0f);
    glScalef(1.5f, 0.5f, 2.0f);
}

class Overlays : public vt::GlTest {};

TEST_F(Overlays, BoundingCubeIsOneLinePairInTableOrderWithNoMatrixCall) {
    if (vt::in_traced_child()) {
        load_junk_modelview();
        vt::trace_begin();
        draw_cube_englobant();
        vt::trace_end();
        return;
    }
    // The table is the documented one (library_calls.cpp); the counts below
    // say the same in other words.
    const vt::Calls calls = vt::trace_this_test();
    EXPECT_TRUE(vt::same_calls(vt::bounding_cube_calls(), calls));
    EXPECT_EQ(vt::calls_named(calls, "glVertex3f(").size(), 24u);
    EXPECT_EQ(vt::calls_named(calls, "glColor3f(").size(), 4u);

    // And in this process: the model-view and its stack are as they were.
    load_junk_modelview();
    const Mat before = vt::get_matrix(GL_MODELVIEW_MATRIX);
    const GLint depth = modelview_depth();
    draw_cube_englobant();
    EXPECT_TRUE(vt::matrix_near(vt::get_matrix(GL_MODELVIEW_MATRIX), before));
    EXPECT_EQ(modelview_depth(), depth);
}

TEST_F(Overlays, AxesPushScaleTenVerticesThreeColoursPop) {
    if (vt::in_traced_child()) {
        vt::trace_begin();
        draw_axes(0.125f, 0.25f, 0.5f); // distinct factors catch swapped axes
        vt::trace_end();
        return;
    }
    EXPECT_TRUE(vt::same_calls(vt::axes_calls(0.125f, 0.25f, 0.5f), vt::trace_this_test()));
}

TEST_F(Overlays, AxesVerticesAreScaledUnderTheCurrentMatrixWhichSurvives) {
    // Identity projection over a 500x500 viewport: window x = (x + 1) * 250,
    // y likewise, depth = (z + 1) / 2. The gizmo is drawn at an offset origin
    // so that scaling about the current origin (not the world's) is visible.
    glViewport(0, 0, 500, 500);
    glDepthRange(0.0, 1.0);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float ox = 0.25f, oy = -0.25f, oz = 0.5f;
    glTranslatef(ox, oy, oz);
    const Mat before = vt::get_matrix(GL_MODELVIEW_MATRIX);
    const GLint depth = modelview_depth();

    const auto prims = vt::capture_feedback([] { draw_axes(0.125f, 0.125f, 0.125f); });

    EXPECT_TRUE(vt::matrix_near(vt::get_matrix(GL_MODELVIEW_MATRIX), before));
    EXPECT_EQ(modelview_depth(), depth);

    struct Line {
        std::array<float, 3> from, to, rgb;
    };
    const Line lines[] = {
        {{0.8f, 0.05f, 0}, {1, 0.25f, 0}, {1, 0, 0}},
        {{0.8f, 0.25f, 0}, {1, 0.05f, 0}, {1, 0, 0}},
        {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}},
        {{0, 0, 0}, {0, 1, 0}, {0, 1, 0}},
        {{0, 0, 0}, {0, 0, 1}, {0, 0, 1}},
    };
    ASSERT_EQ(prims.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        ASSERT_EQ(prims[i].kind, vt::FbPrimitive::Line);
        const std::array<float, 3> ends[2] = {lines[i].from, lines[i].to};
        for (int k = 0; k < 2; ++k) {
            const vt::FbVertex &v = prims[i].vertices[k];
            const std::array<float, 3> &p = ends[k];
            EXPECT_NEAR(v.x, (ox + 0.125 * p[0] + 1) * 250, 1e-3);
            EXPECT_NEAR(v.y, (oy + 0.125 * p[1] + 1) * 250, 1e-3);
            EXPECT_NEAR(v.z, (oz + 0.125 * p[2] + 1) / 2, 1e-5);
            EXPECT_EQ(v.r, lines[i].rgb[0]);
            EXPECT_EQ(v.g, lines[i].rgb[1]);
            EXPECT_EQ(v.b, lines[i].rgb[2]);
        }
    }
    // The X axis ends at 0.125 from the gizmo's origin.
    EXPECT_NEAR(prims[2].vertices[1].x - prims[2].vertices[0].x, 0.125 * 250, 1e-3);
}

} // namespace
