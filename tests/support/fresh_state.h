// Fixture for tests of the library's internal state: a window (for the
// operations that talk to OpenGL) and the state block back at its load-time
// values before each test, even when a whole binary runs in one process.
#ifndef VORLIX_TEST_FRESH_STATE_H
#define VORLIX_TEST_FRESH_STATE_H

#include "gl_harness.h"
#include "internal.h"

#include <utility>

namespace vt {

// Whether the eight fields that motion changes (the pending steps, the three
// angles and the three translation totals) are all zero; names the first
// that is not.
inline ::testing::AssertionResult motion_is_zero(const RendererState &s) {
    const std::pair<const char *, float> fields[] = {{"delta_rotation", s.delta_rotation},
                                                     {"delta_translation", s.delta_translation},
                                                     {"angle_x", s.angle_x},
                                                     {"angle_y", s.angle_y},
                                                     {"angle_z", s.angle_z},
                                                     {"trans_x", s.trans_x},
                                                     {"trans_y", s.trans_y},
                                                     {"trans_z", s.trans_z}};
    for (const auto &[name, value] : fields)
        if (value != 0.0f)
            return ::testing::AssertionFailure() << name << " is " << value << ", not 0";
    return ::testing::AssertionSuccess();
}

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
