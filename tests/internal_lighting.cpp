// Light 0 and the front material as the context reports them after
// init_transformation, and the exact calls of init_lighting.
#include "gl_harness.h"
#include "internal.h"
#include "trace.h"

#include <array>
#include <string>
#include <vector>

namespace {

using Rgba = std::array<float, 4>;

Rgba light(GLenum pname) {
    Rgba v{};
    glGetLightfv(GL_LIGHT0, pname, v.data());
    return v;
}

Rgba material(GLenum face, GLenum pname) {
    Rgba v{};
    glGetMaterialfv(face, pname, v.data());
    return v;
}

class Lighting : public vt::GlTest {};

TEST_F(Lighting, InitTransformationSetsLightZeroAndFrontMaterialOnly) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // The back material must keep OpenGL's defaults; read them before.
    const Rgba back_ambient = material(GL_BACK, GL_AMBIENT);
    const Rgba back_diffuse = material(GL_BACK, GL_DIFFUSE);
    glDisable(GL_LIGHT0); // off, so that the enable shows

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("init_transformation call " + std::to_string(round));
        init_transformation();

        EXPECT_EQ(light(GL_AMBIENT), (Rgba{0.1f, 0.1f, 0.3f, 1.0f}));
        EXPECT_EQ(light(GL_DIFFUSE), (Rgba{0.0f, 0.0f, 0.0f, 1.0f}));
        EXPECT_EQ(light(GL_SPECULAR), (Rgba{1.0f, 1.0f, 1.0f, 1.0f}));
        // Positional (w = 1), in eye space under the identity model-view.
        EXPECT_EQ(light(GL_POSITION), (Rgba{1.0f, 1.0f, 1.0f, 1.0f}));

        EXPECT_EQ(material(GL_FRONT, GL_AMBIENT), (Rgba{1.0f, 0.75f, 0.75f, 1.0f}));
        EXPECT_EQ(material(GL_FRONT, GL_DIFFUSE), (Rgba{1.0f, 1.0f, 1.0f, 1.0f}));
        EXPECT_EQ(material(GL_FRONT, GL_SPECULAR), (Rgba{1.0f, 1.0f, 1.0f, 1.0f}));
        EXPECT_EQ(material(GL_FRONT, GL_EMISSION), (Rgba{0.0f, 0.0f, 0.0f, 0.0f}));
        GLfloat shininess = 0;
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        EXPECT_EQ(shininess, 128.0f);

        EXPECT_EQ(material(GL_BACK, GL_AMBIENT), back_ambient);
        EXPECT_EQ(material(GL_BACK, GL_DIFFUSE), back_diffuse);

        EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
        // The values sit in the context without effect on any pixel.
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
    }
}

TEST_F(Lighting, InitLightingIssuesExactlyTenCallsInOrder) {
    const vt::Calls calls = vt::traced([&] {
        vt::trace_begin();
        init_lighting();
        vt::trace_end();
    });
    // Position before specular; shininess as a float through glMaterialf; no
    // matrix mode or matrix of its own.
    const std::vector<std::string> want = {
        "glLightfv(light = GL_LIGHT0, pname = GL_AMBIENT, params = {0.1, 0.1, 0.3, 1})",
        "glLightfv(light = GL_LIGHT0, pname = GL_DIFFUSE, params = {0, 0, 0, 1})",
        "glLightfv(light = GL_LIGHT0, pname = GL_POSITION, params = {1, 1, 1, 1})",
        "glLightfv(light = GL_LIGHT0, pname = GL_SPECULAR, params = {1, 1, 1, 1})",
        "glMaterialfv(face = GL_FRONT, pname = GL_AMBIENT, params = {1, 0.75, 0.75, 1})",
        "glMaterialfv(face = GL_FRONT, pname = GL_DIFFUSE, params = {1, 1, 1, 1})",
        "glMaterialfv(face = GL_FRONT, pname = GL_SPECULAR, params = {1, 1, 1, 1})",
        "glMaterialfv(face = GL_FRONT, pname = GL_EMISSION, params = {0, 0, 0, 0})",
        "glMaterialf(face = GL_FRONT, pname = GL_SHININESS, param = 128)",
        "glEnable(cap = GL_LIGHT0)",
    };
    EXPECT_TRUE(vt::same_calls(want, calls));
}

TEST_F(Lighting, InitTransformationRunsInitLightingFirstAndNothingElseInGl) {
    const vt::Calls calls = vt::traced([&] {
        vt::trace_begin();
        init_transformation();
        vt::trace_end();
    });
    ASSERT_EQ(calls.size(), 10u);
    EXPECT_EQ(calls.front().rfind("glLightfv(light = GL_LIGHT0, pname = GL_AMBIENT", 0), 0u);
    EXPECT_EQ(calls.back(), "glEnable(cap = GL_LIGHT0)");
}

} // namespace
