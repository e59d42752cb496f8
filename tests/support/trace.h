// Exact GL call streams through apitrace, written and compared as text.
//
// A test that wants the calls of some code is written as
//
//   TEST(Suite, Name) {
//       if (vt::in_traced_child()) { vt::open_window(); vt::trace_begin();
//                                    ...calls...; vt::trace_end(); return; }
//       EXPECT_TRUE(vt::same_calls(want, vt::trace_this_test()));
//   }
//
// trace_this_test() runs this very test again in a child process under
// `apitrace trace` and returns the calls recorded between trace_begin() and
// trace_end(), one per line, as `apitrace dump` prints them without call
// numbers (e.g. "glVertex3f(x = 1, y = 2, z = 3)").
#ifndef VORLIX_TEST_TRACE_H
#define VORLIX_TEST_TRACE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace vt {

using Calls = std::vector<std::string>;

// Whether this process is the traced re-run of the current test.
bool in_traced_child();
// Bracket the calls to record (markers apitrace records like any call).
void trace_begin();
void trace_end();
// Separates the recorded calls into parts for split_at_marks().
void trace_mark();
// The calls between trace_begin() and trace_end() of the traced re-run; a
// failure is added when the child fails or the markers are missing.
Calls trace_this_test();
// The pattern above in one call: in the traced re-run, runs `child` (which
// brackets what is to be recorded with trace_begin() and trace_end()) and
// ends that process, with status 1 when the test failed there; here, the
// calls the re-run recorded.
inline Calls traced(const std::function<void()> &child) {
    if (in_traced_child()) {
        child();
        std::exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    return trace_this_test();
}
// The calls between trace_mark()s, in order (the part after the last mark
// included, empty or not). Within each part glutSwapBuffers is written as
// "glXSwapBuffers(...)": freeglut's own glFlush before it and the handles it
// passes are GLUT's business.
std::vector<Calls> split_at_marks(const Calls &calls);

// A float argument as apitrace dump prints it: 7 significant digits (%.7g).
std::string num(float v);
// "fn(a = 1, b = 0.5)": a call with float arguments, each written by num().
std::string call(const std::string &fn, std::initializer_list<std::pair<const char *, float>> args);
// "fn(x = 1, y = 2, z = 3)", for glVertex3f, glTranslatef and glScalef.
std::string xyz(const std::string &fn, float x, float y, float z);
// "glColor3f(red = r, green = g, blue = b)".
std::string colour(float r, float g, float b);
// "fn(name = {v0, v1, ...})", e.g. glMultMatrixf(m = {...}) with n values.
std::string call_with_array(const std::string &fn, const char *name, const float *values, int n);

// The calls whose text starts with prefix (e.g. "glVertex3f(").
Calls calls_named(const Calls &calls, const std::string &prefix);
// The numeric arguments of one call, in order; enum arguments are skipped.
std::vector<double> numbers_in(const std::string &call);

// Whether got is exactly want. On failure, prints a line diff: "-" for an
// expected call that is missing, "+" for a traced call not expected, with two
// calls of context and each call's index in want and got.
::testing::AssertionResult same_calls(const Calls &want, const Calls &got);

} // namespace vt

#endif
