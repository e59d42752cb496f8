// Helpers for tests that draw with real OpenGL (Mesa) in a real freeglut
// window: a window fixture, feedback capture and pixel probes.
#ifndef VORLIX_TEST_GL_HARNESS_H
#define VORLIX_TEST_GL_HARNESS_H

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace vt {

// One vertex as feedback mode reports it: window coordinates and RGBA.
struct FbVertex {
    float x, y, z;
    float r, g, b, a;
};

// One primitive from the feedback buffer.
struct FbPrimitive {
    enum Kind { Point, Line, Polygon, Other } kind;
    std::vector<FbVertex> vertices;
};

// Runs draw() in GL_FEEDBACK mode with GL_3D_COLOR and returns the primitives
// in drawing order. Vertices outside the view volume are clipped by OpenGL,
// so keep what is captured inside it.
std::vector<FbPrimitive> capture_feedback(const std::function<void()> &draw,
                                          size_t capacity = 1 << 20);
// All vertices of the captured primitives, in order.
std::vector<FbVertex> vertices_of(const std::vector<FbPrimitive> &prims);

// RGBA of a pixel of the given buffer (GL_BACK or GL_FRONT), 0..255.
std::array<int, 4> read_pixel(int x, int y, GLenum buffer = GL_BACK);
// Whether the pixel matches within tol per RGB channel; alpha is ignored.
::testing::AssertionResult probe_rgb(int x, int y, std::array<int, 3> want, int tol = 3,
                                     GLenum buffer = GL_BACK);
// Whether some pixel within radius of (x, y) matches.
::testing::AssertionResult probe_rgb_near(int x, int y, int radius, std::array<int, 3> want,
                                          int tol = 3, GLenum buffer = GL_BACK);

// Current matrix read back with glGetDoublev, OpenGL (column-major) order.
std::array<double, 16> get_matrix(GLenum which /* GL_PROJECTION_MATRIX... */);

// Processes pending GLUT events (mapping, reshape) without entering the loop.
void pump_events(int rounds = 10);

// Opens the GLUT window (RGB, double-buffered, depth, 500x500 at 0,0) once
// per process, the way the demo does.
int open_window(int width = 500, int height = 500);

// Fixture for tests that need a current OpenGL context.
class GlTest : public ::testing::Test {
  protected:
    void SetUp() override { open_window(); }
};

} // namespace vt

namespace vt {

// Exact GL call streams through apitrace. A test that wants one is written as
//
//   TEST(Suite, Name) {
//       if (vt::in_traced_child()) { vt::open_window(); vt::trace_begin();
//                                    ...calls...; vt::trace_end(); return; }
//       std::vector<std::string> calls = vt::trace_this_test();
//       ...
//   }
//
// trace_this_test() runs this very test again in a child process under
// `apitrace trace` and returns the calls recorded between trace_begin() and
// trace_end(), one per line, as `apitrace dump` prints them without call
// numbers (e.g. "glVertex3f(x = 1, y = 2, z = 3)").
bool in_traced_child();
void trace_begin();
void trace_end();
std::vector<std::string> trace_this_test();
// The calls whose text starts with prefix (e.g. "glVertex3f(").
std::vector<std::string> calls_named(const std::vector<std::string> &calls,
                                     const std::string &prefix);

} // namespace vt

#endif
