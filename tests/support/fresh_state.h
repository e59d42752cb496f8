// Fixture for tests of the library's internal state: a window (for the
// operations that talk to OpenGL) and the state block back at its load-time
// values before each test, even when a whole binary runs in one process.
#ifndef VORLIX_TEST_FRESH_STATE_H
#define VORLIX_TEST_FRESH_STATE_H

#include "gl_harness.h"
#include "internal.h"

namespace vt {

class FreshStateTest : public GlTest {
  protected:
    void SetUp() override {
        GlTest::SetUp();
        vorlix_state = load_time_state;
    }

  private:
    // Copied while the program starts, before any test runs: the state block
    // itself is constant-initialised, so it already holds its load-time values.
    static inline const RendererState load_time_state = vorlix_state;
};

} // namespace vt

#endif
