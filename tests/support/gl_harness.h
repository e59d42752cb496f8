// Tests that draw with real OpenGL (Mesa) in a real freeglut window: the
// window fixture, feedback capture and matrices read back from the context.
// Pixels: image.h; call streams: trace.h.
#ifndef VORLIX_TEST_GL_HARNESS_H
#define VORLIX_TEST_GL_HARNESS_H

#include "geometry.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
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
// Whether a feedback vertex lies within tol of window position want (in x
// and y); the message gives both.
::testing::AssertionResult lands_at(const FbVertex &v, Win want, double tol = 0.02);

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

#endif
