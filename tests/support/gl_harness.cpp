#include "gl_harness.h"

#include "glut_window.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>

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

std::vector<FbVertex> vertices_of(const std::vector<FbPrimitive> &prims) {
    std::vector<FbVertex> out;
    for (const auto &p : prims)
        out.insert(out.end(), p.vertices.begin(), p.vertices.end());
    return out;
}

std::array<int, 4> read_pixel(int x, int y, GLenum buffer) {
    GLubyte px[4] = {0, 0, 0, 0};
    glReadBuffer(buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    return {px[0], px[1], px[2], px[3]};
}

static bool close_enough(const std::array<int, 4> &got, const std::array<int, 3> &want, int tol) {
    for (int c = 0; c < 3; ++c)
        if (std::abs(got[c] - want[c]) > tol)
            return false;
    return true;
}

::testing::AssertionResult probe_rgb(int x, int y, std::array<int, 3> want, int tol,
                                     GLenum buffer) {
    const auto got = read_pixel(x, y, buffer);
    if (close_enough(got, want, tol))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixel (" << x << ", " << y << "): expected (" << want[0] << ", " << want[1] << ", "
           << want[2] << ") +-" << tol << ", observed (" << got[0] << ", " << got[1] << ", "
           << got[2] << ")";
}

::testing::AssertionResult probe_rgb_near(int x, int y, int radius, std::array<int, 3> want,
                                          int tol, GLenum buffer) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (close_enough(read_pixel(x + dx, y + dy, buffer), want, tol))
                return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "no pixel within " << radius << " of (" << x << ", " << y << ") is (" << want[0]
           << ", " << want[1] << ", " << want[2] << ") +-" << tol;
}

std::array<double, 16> get_matrix(GLenum which) {
    std::array<double, 16> m{};
    glGetDoublev(which, m.data());
    return m;
}

} // namespace vt

// ---- apitrace ---------------------------------------------------------------

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vt {

namespace {
const char *const child_env = "VORLIX_TRACED_CHILD";
// glPassThrough is recorded by apitrace like any call and has no effect
// outside feedback mode, so it makes an unambiguous marker.
const int begin_token = 7357001;
const int end_token = 7357002;

std::string read_all(FILE *f) {
    std::string out;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        out.append(chunk, n);
    return out;
}
} // namespace

bool in_traced_child() {
    return std::getenv(child_env) != nullptr;
}
void trace_begin() {
    glPassThrough(static_cast<GLfloat>(begin_token));
}
void trace_end() {
    glPassThrough(static_cast<GLfloat>(end_token));
    glFinish();
}

std::vector<std::string> trace_this_test() {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(info->test_suite_name()) + "." + info->name();
    char exe[4096];
    const ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (len <= 0) {
        ADD_FAILURE() << "cannot find the test executable";
        return {};
    }
    exe[len] = '\0';
    const std::string trace = "/tmp/vorlix-" + std::to_string(getpid()) + ".trace";
    const std::string cmd = std::string(child_env) + "=1 apitrace trace -o " + trace + " '" + exe +
                            "' --gtest_filter=" + filter + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) {
        ADD_FAILURE() << "traced child failed: " << cmd;
        return {};
    }
    FILE *dump = popen(("apitrace dump --call-nos=no --color=never " + trace).c_str(), "r");
    if (dump == nullptr) {
        ADD_FAILURE() << "cannot run apitrace dump";
        return {};
    }
    std::istringstream text(read_all(dump));
    pclose(dump);
    std::remove(trace.c_str());

    const std::string b = "glPassThrough(token = " + std::to_string(begin_token) + ")";
    const std::string e = "glPassThrough(token = " + std::to_string(end_token) + ")";
    std::vector<std::string> calls;
    bool inside = false, closed = false;
    for (std::string line; std::getline(text, line);) {
        if (line == b) {
            inside = true;
        } else if (line == e) {
            closed = inside;
            break;
        } else if (inside && !line.empty()) {
            calls.push_back(line);
        }
    }
    if (!closed)
        ADD_FAILURE() << "trace markers not found (did the child call trace_begin/trace_end?)";
    return calls;
}

std::vector<std::string> calls_named(const std::vector<std::string> &calls,
                                     const std::string &prefix) {
    std::vector<std::string> out;
    for (const auto &c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            out.push_back(c);
    return out;
}

} // namespace vt
