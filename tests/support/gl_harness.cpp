#include "gl_harness.h"

#include "glut_window.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cmath>

namespace vt {

int open_window(int width, int height) {
    static int window = 0;
    if (window != 0)
        return window;
    // Xvfb now and then drops a connection right after the handshake when
    // many test processes connect at once, and glutInit would then end the
    // process: wait until a connection holds. It stays open for the life of
    // the process, since closing the server's last connection makes an Xvfb
    // without -noreset reset, dropping GLUT's connection in turn.
    static Display *held = nullptr;
    for (int attempt = 0; attempt < 20 && held == nullptr; ++attempt) {
        held = XOpenDisplay(nullptr);
        if (held == nullptr)
            usleep(50 * 1000);
    }
    window = open_glut_window("vorlix-test", "vorlix test", width, height);
    // Tests drive drawing themselves; GLUT must not complain about a missing
    // display callback while events are pumped.
    glutDisplayFunc([] {});
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    pump_events();
    return window;
}

void pump_events(int rounds) {
    for (int i = 0; i < rounds; ++i)
        glutMainLoopEvent();
}

std::vector<FbPrimitive> capture_feedback(const std::function<void()> &draw, size_t capacity) {
    std::vector<GLfloat> buf(capacity);
    glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_3D_COLOR, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    EXPECT_GE(n, 0) << "feedback buffer overflowed";

    std::vector<FbPrimitive> out;
    GLint i = 0;
    auto take_vertex = [&](FbPrimitive &p) {
        FbVertex v{buf[i], buf[i + 1], buf[i + 2], buf[i + 3], buf[i + 4], buf[i + 5], buf[i + 6]};
        i += 7;
        p.vertices.push_back(v);
    };
    while (i < n) {
        const int token = static_cast<int>(buf[i++]);
        FbPrimitive p{FbPrimitive::Other, {}};
        switch (token) {
        case GL_POINT_TOKEN:
            p.kind = FbPrimitive::Point;
            take_vertex(p);
            break;
        case GL_LINE_TOKEN:
        case GL_LINE_RESET_TOKEN:
            p.kind = FbPrimitive::Line;
            take_vertex(p);
            take_vertex(p);
            break;
        case GL_POLYGON_TOKEN: {
            p.kind = FbPrimitive::Polygon;
            const int count = static_cast<int>(buf[i++]);
            for (int k = 0; k < count; ++k)
                take_vertex(p);
            break;
        }
        case GL_BITMAP_TOKEN:
        case GL_DRAW_PIXEL_TOKEN:
        case GL_COPY_PIXEL_TOKEN:
            take_vertex(p);
            break;
        case GL_PASS_THROUGH_TOKEN:
            ++i;
            continue;
        default:
            ADD_FAILURE() << "unknown feedback token " << token;
            return out;
        }
        out.push_back(p);
    }
    return out;
}

::testing::AssertionResult lands_at(const FbVertex &v, Win want, double tol) {
    const bool ok = std::fabs(v.x - want.x) <= tol && std::fabs(v.y - want.y) <= tol;
    return (ok ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
           << "vertex at (" << v.x << ", " << v.y << "), expected (" << want.x << ", " << want.y
           << ") +-" << tol;
}

std::array<double, 16> get_matrix(GLenum which) {
    std::array<double, 16> m{};
    glGetDoublev(which, m.data());
    return m;
}

} // namespace vt
