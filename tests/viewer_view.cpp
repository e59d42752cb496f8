// The view: orbit, keys and pan, as the library gets them.
#include "viewer/app/view.h"
#include "viewer/app/options.h"
#include "viewer/cloud/cloud.h"
#include "viewer/formats/load.h"
#include "viewer/formats/pcd.h"
#include "viewer/formats/ply.h"
#include "viewer/formats/xyz.h"
#include "viewer/output/png.h"

#include "cloud_files.h"
#include "geometry.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace vt;

// Where the view's matrix takes a point (column-major, as OpenGL applies it).
std::array<float, 3> turn(const vv::View &v, float x, float y, float z) {
    float m[16];
    v.matrix(m);
    return {m[0] * x + m[4] * y + m[8] * z, m[1] * x + m[5] * y + m[9] * z,
            m[2] * x + m[6] * y + m[10] * z};
}

void expect_point(std::array<float, 3> p, float x, float y, float z) {
    EXPECT_NEAR(p[0], x, 1e-6f);
    EXPECT_NEAR(p[1], y, 1e-6f);
    EXPECT_NEAR(p[2], z, 1e-6f);
}

TEST(ViewerView, OrbitTurnsByTheDraggedAngle) {
    vv::View v;
    expect_point(turn(v, 0.1f, 0.2f, 0.3f), 0.1f, 0.2f, 0.3f);
    // 180 px to the right at half a degree a pixel: a quarter turn that
    // brings the front (+z, towards the eye) to the right.
    v.drag(180, 0);
    EXPECT_FLOAT_EQ(v.yaw, 90.0f);
    expect_point(turn(v, 0, 0, 0.5f), 0.5f, 0, 0);
    expect_point(turn(v, 0.5f, 0, 0), 0, 0, -0.5f);
    expect_point(turn(v, 0, 0.5f, 0), 0, 0.5f, 0);
    // Then down: the pitch turns about the screen's horizontal axis, after
    // the yaw, so what faces right stays right and the far point comes up.
    v.drag(0, 180);
    expect_point(turn(v, 0, 0, 0.5f), 0.5f, 0, 0);
    expect_point(turn(v, 0.5f, 0, 0), 0, 0.5f, 0);
    // Pitch alone tips the front downwards.
    vv::View p;
    p.drag(0, 180);
    expect_point(turn(p, 0, 0, 0.5f), 0, -0.5f, 0);
    // Long drags wrap instead of growing without end.
    p.drag(720 * 10 + 20, 0);
    EXPECT_FLOAT_EQ(p.yaw, 10.0f);
}

TEST(ViewerView, KeysChangeTheSettingsTheLibraryGets) {
    using A = vv::View::Action;
    vv::View v(30, -10);
    EXPECT_EQ(v.key(27), A::Quit);
    EXPECT_EQ(v.key('s'), A::Save);
    EXPECT_EQ(v.key('x'), A::None);
    EXPECT_EQ(v.mode, SCREEN_MODE_POINTS);
    EXPECT_EQ(v.key(']'), A::Redraw);
    EXPECT_EQ(v.isize, 3);
    for (int i = 0; i < 10; ++i)
        v.key('[');
    EXPECT_EQ(v.isize, 1) << "a point never shrinks to nothing";
    EXPECT_FLOAT_EQ(v.fsize, 0.01f) << "[ ] act on the mode shown";
    v.key('C');
    EXPECT_EQ(v.mode, SCREEN_MODE_CUBES);
    v.key(']');
    EXPECT_FLOAT_EQ(v.fsize, 0.0125f);
    EXPECT_EQ(v.isize, 1);
    v.key('p');
    EXPECT_EQ(v.mode, SCREEN_MODE_POINTS);
    EXPECT_TRUE(v.bounding_cube);
    v.key('b');
    EXPECT_FALSE(v.bounding_cube);
    v.key('B');
    EXPECT_TRUE(v.bounding_cube);

    EXPECT_FLOAT_EQ(v.distance, vv::kHomeDistance);
    EXPECT_NEAR(v.depth(), 2.2f - vv::kHomeDistance, 1e-6f);
    v.key('+');
    EXPECT_NEAR(v.distance, vv::kHomeDistance / 1.1f, 1e-5f);
    v.key('-');
    v.key('-');
    EXPECT_NEAR(v.distance, vv::kHomeDistance * 1.1f, 1e-5f);
    for (int i = 0; i < 100; ++i)
        v.zoom_steps(1);
    EXPECT_GE(v.distance, 0.3f) << "never through the near plane";
    v.drag(40, 40);
    v.pan_by(40, 40, 500);
    EXPECT_EQ(v.key('r'), A::Redraw);
    EXPECT_FLOAT_EQ(v.yaw, 30.0f); // back to the view the command line asked for
    EXPECT_FLOAT_EQ(v.pitch, -10.0f);
    EXPECT_FLOAT_EQ(v.distance, vv::kHomeDistance);
    EXPECT_EQ(v.pan[0], 0.0f);
    EXPECT_EQ(v.pan[1], 0.0f);
}

// The cloud's centre follows the pointer by the dragged pixels, at any zoom
// and window height (GLUT's y grows downwards, the window's upwards).
TEST(ViewerView, PanMovesTheCentreWithThePointer) {
    for (const auto &[dx, dy, height, zoom] :
         {std::array<int, 4>{100, 0, 500, 0}, {-30, 45, 300, 3}, {7, -60, 640, -5}}) {
        vv::View v;
        v.zoom_steps(zoom);
        v.pan_by(dx / 2, dy / 2, height);
        v.pan_by(dx - dx / 2, dy - dy / 2, height);
        const vt::Win c = vt::eye_to_window(v.pan[0], v.pan[1], -v.distance, height, height);
        EXPECT_NEAR(c.x, height / 2.0 + dx, 1e-3) << dx << "," << dy;
        EXPECT_NEAR(c.y, height / 2.0 - dy, 1e-3) << dx << "," << dy;
    }
}

} // namespace
