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
#include "gl_harness.h"

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

// What the library draws of one voxel at (0.2, 0.1, 0) in a 500 x 500
// window, through feedback, with the point size it was last given.
struct Drawn {
    std::vector<vt::FbVertex> points, cube_corners; // every polygon vertex
    int bounding_edges = 0; // lines between two corners of the bounding cube
    float point_size = 0;
};

constexpr int kSide = 500;
constexpr float kVoxel[3] = {0.2f, 0.1f, 0};

// Where a point of the cloud (yaw and pitch 0) lands at this distance and pan.
vt::Win at(float x, float y, float z, float distance, const float pan[2]) {
    return vt::eye_to_window(x + pan[0], y + pan[1], z - distance, kSide, kSide);
}

Drawn draw(const vv::View &v, const float pan[2]) {
    v.apply();
    float m[16];
    v.matrix(m);
    Drawn d;
    for (const vt::FbPrimitive &p : vt::capture_feedback([&m] { vorlix_render(m); })) {
        if (p.kind == vt::FbPrimitive::Point)
            d.points.push_back(p.vertices[0]);
        if (p.kind == vt::FbPrimitive::Polygon)
            d.cube_corners.insert(d.cube_corners.end(), p.vertices.begin(), p.vertices.end());
        if (p.kind != vt::FbPrimitive::Line)
            continue;
        int ends = 0;
        for (const vt::FbVertex &e : p.vertices)
            for (float x : {-0.5f, 0.5f})
                for (float y : {-0.5f, 0.5f})
                    for (float z : {-0.5f, 0.5f}) {
                        const vt::Win w = at(x, y, z, v.distance, pan);
                        ends += std::fabs(e.x - w.x) < 0.05 && std::fabs(e.y - w.y) < 0.05;
                    }
        d.bounding_edges += ends == 2;
    }
    glGetFloatv(GL_POINT_SIZE, &d.point_size);
    return d;
}

// Each key, what it answers and what the library then draws: the voxel as a
// point of the given size or as a cube of the given edge, the bounding cube
// or not, from the given distance. The expected figures are the keys'
// documented steps: [ ] one pixel or a factor 1.25, + - a factor 1.1.
TEST(ViewerView, KeysChangeTheSettingsTheLibraryGets) {
    using A = vv::View::Action;
    vt::open_window(kSide, kSide);
    init_transformation();
    vorlix_reshape(kSide, kSide);
    VoxelNode node{kVoxel[0], kVoxel[1], kVoxel[2], 1, 1, 1, nullptr};
    VoxelNode *const table[] = {&node};
    set_liste_voxels(table, 1);
    const float H = vv::kHomeDistance;
    const struct Row {
        unsigned char key;
        A action;
        bool cubes;
        int point_size;
        float edge;
        bool bounding_cube;
        float distance;
    } rows[] = {
        {'x', A::None, false, 2, 0.01f, true, H},
        {27, A::Quit, false, 2, 0.01f, true, H},
        {'s', A::Save, false, 2, 0.01f, true, H},
        {'F', A::NextColouring, false, 2, 0.01f, true, H},
        {']', A::Redraw, false, 3, 0.01f, true, H},
        {'[', A::Redraw, false, 2, 0.01f, true, H},
        {'[', A::Redraw, false, 1, 0.01f, true, H},
        {'[', A::Redraw, false, 1, 0.01f, true, H}, // never shrinks to nothing
        {'C', A::Redraw, true, 1, 0.01f, true, H},
        {']', A::Redraw, true, 1, 0.0125f, true, H}, // [ ] act on the mode shown
        {']', A::Redraw, true, 1, 0.015625f, true, H},
        {'[', A::Redraw, true, 1, 0.0125f, true, H},
        {'b', A::Redraw, true, 1, 0.0125f, false, H},
        {'o', A::Redraw, false, 1, 0.0125f, false, H},   // spheres: the library's points
        {']', A::Redraw, false, 1, 0.015625f, false, H}, // the radius, so the cube edge too
        {'[', A::Redraw, false, 1, 0.0125f, false, H},
        {'p', A::Redraw, false, 1, 0.0125f, false, H},
        {'B', A::Redraw, false, 1, 0.0125f, true, H},
        {'+', A::Moved, false, 1, 0.0125f, true, H / 1.1f},
        {'=', A::Moved, false, 1, 0.0125f, true, H / 1.21f},
        {'c', A::Redraw, true, 1, 0.0125f, true, H / 1.21f},
        {'-', A::Moved, true, 1, 0.0125f, true, H / 1.1f},
        {'_', A::Moved, true, 1, 0.0125f, true, H},
        {'_', A::Moved, true, 1, 0.0125f, true, H * 1.1f},
        {'P', A::Redraw, false, 1, 0.0125f, true, H * 1.1f},
        {'r', A::Redraw, false, 1, 0.0125f, true, H},
    };
    vv::View v;
    const float no_pan[2] = {0, 0};
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message() << "after key " << static_cast<int>(row.key));
        EXPECT_EQ(v.key(row.key), row.action);
        EXPECT_EQ(v.mode, row.cubes ? SCREEN_MODE_CUBES : SCREEN_MODE_POINTS);
        EXPECT_EQ(v.isize, row.point_size);
        EXPECT_NEAR(v.fsize, row.edge, 1e-7f);
        EXPECT_EQ(v.bounding_cube, row.bounding_cube);
        EXPECT_NEAR(v.distance, row.distance, 1e-5f);
        const Drawn d = draw(v, no_pan);
        // Nearer than the first view the box overfills the frame: some of
        // its edges leave it (the back face's four stay).
        if (!row.bounding_cube)
            EXPECT_EQ(d.bounding_edges, 0);
        else if (row.distance < H - 1e-4f)
            EXPECT_GE(d.bounding_edges, 4);
        else
            EXPECT_EQ(d.bounding_edges, 12);
        const vt::Win centre = at(kVoxel[0], kVoxel[1], kVoxel[2], row.distance, no_pan);
        if (!row.cubes) {
            ASSERT_EQ(d.points.size(), 1u);
            EXPECT_NEAR(d.points[0].x, centre.x, 0.02);
            EXPECT_NEAR(d.points[0].y, centre.y, 0.02);
            EXPECT_EQ(d.point_size, static_cast<float>(row.point_size));
            EXPECT_TRUE(d.cube_corners.empty());
            continue;
        }
        EXPECT_TRUE(d.points.empty());
        ASSERT_FALSE(d.cube_corners.empty());
        // The cube's corners span its edge about the voxel: up and right of
        // the centre, the far face's low corner is the lowest, the near
        // face's high corner the highest.
        const float h = row.edge / 2;
        const vt::Win low = at(kVoxel[0] - h, kVoxel[1] - h, kVoxel[2] - h, row.distance, no_pan);
        const vt::Win high = at(kVoxel[0] + h, kVoxel[1] + h, kVoxel[2] + h, row.distance, no_pan);
        float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
        for (const vt::FbVertex &c : d.cube_corners) {
            x0 = std::min(x0, c.x), x1 = std::max(x1, c.x);
            y0 = std::min(y0, c.y), y1 = std::max(y1, c.y);
        }
        EXPECT_NEAR(x0, low.x, 0.02);
        EXPECT_NEAR(x1, high.x, 0.02);
        EXPECT_NEAR(y0, low.y, 0.02);
        EXPECT_NEAR(y1, high.y, 0.02);
    }

    for (int i = 0; i < 100; ++i)
        v.zoom_steps(1);
    EXPECT_GE(v.distance, 0.3f) << "never through the near plane";

    // The pan goes through the library's totals; R takes it back there too,
    // and to the first view's angles and distance. The voxel sits at the
    // centre, where no turn moves it.
    node = {0, 0, 0, 1, 1, 1, nullptr};
    vv::View turned(30, -10);
    EXPECT_NEAR(turned.depth(), 2.2f - H, 1e-6f);
    turned.pan_by(50, -100, kSide); // 0.8 * H / 500 cube units a pixel
    const float pan[2] = {50 * 0.8f * H / kSide, 100 * 0.8f * H / kSide};
    const vt::Win panned = at(0, 0, 0, H, pan);
    Drawn d = draw(turned, pan);
    ASSERT_EQ(d.points.size(), 1u);
    EXPECT_NEAR(d.points[0].x, panned.x, 0.02);
    EXPECT_NEAR(d.points[0].y, panned.y, 0.02);
    turned.drag(40, 40);
    turned.zoom_steps(2);
    EXPECT_EQ(turned.key('R'), A::Redraw);
    EXPECT_FLOAT_EQ(turned.yaw, 30.0f);
    EXPECT_FLOAT_EQ(turned.pitch, -10.0f);
    EXPECT_FLOAT_EQ(turned.distance, H);
    vv::View zoomed(0, 0, 2);
    zoomed.zoom_steps(3);
    zoomed.reset();
    EXPECT_FLOAT_EQ(zoomed.distance, H / 2) << "R goes back to --zoom's distance";
    EXPECT_EQ(turned.pan[0], 0.0f);
    EXPECT_EQ(turned.pan[1], 0.0f);
    d = draw(turned, no_pan);
    ASSERT_EQ(d.points.size(), 1u);
    EXPECT_NEAR(d.points[0].x, kSide / 2.0, 0.02);
    EXPECT_NEAR(d.points[0].y, kSide / 2.0, 0.02);
    set_liste_voxels(nullptr, 0);
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
