// Voxel drawing: traversal order, point size, the exact call streams of both
// modes, and tables that must draw nothing.
#include "gl_harness.h"
#include "internal.h"
#include "library_calls.h"
#include "trace.h"
#include "voxel_table.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Lists 0 and 2 hold several voxels, lists 1 and 3 are empty.
const std::vector<std::vector<vt::Voxel>> kCloud = {
    {{-0.5f, -0.5f, 0.0f, 1.0f, 0.0f, 0.0f},
     {0.0f, -0.5f, 0.25f, 0.0f, 1.0f, 0.0f},
     {0.5f, -0.5f, -0.25f, 0.0f, 0.0f, 1.0f}},
    {},
    {{-0.5f, 0.5f, 0.5f, 1.0f, 1.0f, 0.0f}, {0.5f, 0.5f, -0.5f, 0.0f, 1.0f, 1.0f}},
    {},
};

void identity_matrices() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

bool same_colour(const vt::FbVertex &v, const vt::Voxel &n) {
    return v.r == n.r && v.g == n.g && v.b == n.b;
}

} // namespace

class VoxelDrawing : public vt::GlTest {};

TEST_F(VoxelDrawing, TraversalSkipsNullHeadsAndKeepsListOrder) {
    identity_matrices();
    const vt::VoxelTable cloud(kCloud);
    const std::vector<VoxelNode> before(cloud.nodes().begin(), cloud.nodes().end());

    // Points: one per voxel, list 0 head to tail, then list 2.
    const auto points = vt::capture_feedback(draw_voxels_points);
    ASSERT_EQ(points.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_EQ(points[i].kind, vt::FbPrimitive::Point);
        const vt::FbVertex &v = points[i].vertices[0];
        const vt::Voxel &n = cloud.in_order[i];
        EXPECT_TRUE(same_colour(v, n)) << "point " << i;
        // Identity matrices on a 500 x 500 viewport: window = (ndc + 1) * 250.
        EXPECT_NEAR(v.x, (n.x + 1) * 250, 1e-3) << "point " << i;
        EXPECT_NEAR(v.y, (n.y + 1) * 250, 1e-3) << "point " << i;
        EXPECT_NEAR(v.z, (n.z + 1) / 2, 1e-5) << "point " << i;
    }

    // Cubes: polygons come in one colour run per voxel, in the same order.
    const auto polys = vt::capture_feedback([] { draw_voxels_cubes(0.1f); });
    std::vector<size_t> runs;
    for (const auto &p : polys) {
        ASSERT_EQ(p.kind, vt::FbPrimitive::Polygon);
        size_t which = 5;
        for (size_t i = 0; i < 5; ++i)
            if (same_colour(p.vertices[0], cloud.in_order[i]))
                which = i;
        ASSERT_LT(which, 5u) << "polygon in a colour of no voxel";
        if (runs.empty() || runs.back() != which)
            runs.push_back(which);
    }
    EXPECT_EQ(runs, (std::vector<size_t>{0, 1, 2, 3, 4}));

    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(std::memcmp(&before[i], &cloud.nodes()[i], sizeof before[i]), 0)
            << "node " << i << " was written";
}

TEST_F(VoxelDrawing, PointSizeComesFromIsize) {
    GLfloat size = 0;
    draw_voxels_points();
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 2.0f) << "default isize";

    set_isize(1);
    draw_voxels_points();
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 1.0f);

    // Passed on unchecked: OpenGL rejects 0 and keeps the previous size.
    while (glGetError() != GL_NO_ERROR) {
    }
    set_isize(0);
    draw_voxels_points();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE));
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 1.0f);
}

TEST(VoxelTrace, PointModeIsOneBeginEndPairWithColourBeforeVertex) {
    const vt::VoxelTable cloud(kCloud);
    if (vt::in_traced_child()) {
        vt::open_window();
        set_isize(3);
        vt::trace_begin();
        draw_voxels_points();
        vt::trace_end();
        return;
    }
    EXPECT_TRUE(vt::same_calls(vt::points_calls(cloud.in_order, 3), vt::trace_this_test()));
}

TEST(VoxelTrace, CubeModeSendsSixFacesPerVoxel) {
    // Two voxels in one list: one enable and one begin/end pair per cube.
    const vt::Voxel first{0.5f, -0.25f, 0.125f, 1.0f, 0.5f, 0.0f};
    const vt::Voxel second{-0.125f, 0.375f, 0.75f, 0.25f, 0.5f, 0.75f};
    const vt::VoxelTable table({{}, {first, second}});
    if (vt::in_traced_child()) {
        vt::open_window();
        vt::trace_begin();
        draw_voxels_cubes(0.5f);
        draw_voxels_cubes(0.0f); // every corner on the centre
        vt::trace_end();
        return;
    }
    vt::Calls want;
    for (float edge : {0.5f, 0.0f})
        for (const vt::Voxel &v : {first, second}) {
            const vt::Calls cube = vt::voxel_cube_calls(v, edge);
            want.insert(want.end(), cube.begin(), cube.end());
        }
    const vt::Calls calls = vt::trace_this_test();
    EXPECT_TRUE(vt::same_calls(want, calls));
    // The collapsed pass really sits on the centres.
    const auto vertices = vt::calls_named(calls, "glVertex3f(");
    ASSERT_EQ(vertices.size(), 96u);
    for (size_t i = 48; i < 72; ++i)
        EXPECT_EQ(vertices[i], "glVertex3f(x = 0.5, y = -0.25, z = 0.125)");
}

// Tables with nothing to draw: no table, all heads null, a count of 0 with a
// pointer that must not be read, and a null table with a non-zero count.
// Points still set the size and open and close an empty pair; cubes issue
// nothing at all.
TEST(VoxelTrace, TablesWithoutVoxelsDrawNothing) {
    static VoxelNode *const null_heads[] = {nullptr, nullptr, nullptr};
    VoxelNode *const *junk = reinterpret_cast<VoxelNode *const *>(std::uintptr_t{0x10});
    if (vt::in_traced_child()) {
        vt::open_window();
        vt::trace_begin();
        draw_voxels_points(); // nothing registered yet
        draw_voxels_cubes(0.01f);
        set_liste_voxels(null_heads, 3);
        draw_voxels_points();
        draw_voxels_cubes(0.01f);
        set_liste_voxels(junk, 0);
        draw_voxels_points();
        draw_voxels_cubes(0.01f);
        set_liste_voxels(nullptr, 7);
        draw_voxels_points();
        draw_voxels_cubes(0.01f);
        set_liste_voxels(nullptr, UINT_MAX);
        draw_voxels_points();
        draw_voxels_cubes(0.01f);
        vt::trace_end();
        return;
    }
    vt::Calls want;
    for (int i = 0; i < 5; ++i) {
        const vt::Calls empty = vt::points_calls({}, 2);
        want.insert(want.end(), empty.begin(), empty.end());
    }
    EXPECT_TRUE(vt::same_calls(want, vt::trace_this_test()));
}
