// Voxel drawing: traversal order, point size, the exact call streams of both
// modes, and tables that must draw nothing.
#include "gl_harness.h"
#include "internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// How `apitrace dump` prints a float argument.
std::string num(float v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

std::string color(float r, float g, float b) {
    return "glColor3f(red = " + num(r) + ", green = " + num(g) + ", blue = " + num(b) + ")";
}
std::string vertex(float x, float y, float z) {
    return "glVertex3f(x = " + num(x) + ", y = " + num(y) + ", z = " + num(z) + ")";
}
std::string normal(float x, float y, float z) {
    return "glNormal3f(nx = " + num(x) + ", ny = " + num(y) + ", nz = " + num(z) + ")";
}

const std::string begin_points = "glBegin(mode = GL_POINTS)";
const std::string begin_quads = "glBegin(mode = GL_QUADS)";
const std::string end = "glEnd()";
const std::string normalize = "glEnable(cap = GL_NORMALIZE)";

// The cube's faces as documented: normal, then the sign of the half edge on
// each axis for corners 1 to 4.
struct Face {
    int n[3];
    int corner[4][3];
};
const Face faces[6] = {
    {{0, 0, 1}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}},
    {{0, 0, -1}, {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}}},
    {{0, 1, 0}, {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}},
    {{0, -1, 0}, {{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}}},
    {{1, 0, 0}, {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}}},
    {{-1, 0, 0}, {{-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}}},
};

void append_cube(std::vector<std::string> &out, const VoxelNode &v, float edge) {
    const float h = edge / 2;
    auto at = [h](float c, int sign) { return sign > 0 ? c + h : c - h; };
    out.push_back(normalize);
    out.push_back(begin_quads);
    for (const Face &f : faces) {
        out.push_back(color(v.r, v.g, v.b));
        out.push_back(normal(static_cast<float>(f.n[0]), static_cast<float>(f.n[1]),
                             static_cast<float>(f.n[2])));
        for (const auto &c : f.corner)
            out.push_back(vertex(at(v.x, c[0]), at(v.y, c[1]), at(v.z, c[2])));
    }
    out.push_back(end);
}

void expect_calls(const std::vector<std::string> &got, const std::vector<std::string> &want) {
    const size_t n = std::min(got.size(), want.size());
    for (size_t i = 0; i < n; ++i)
        if (got[i] != want[i]) {
            ADD_FAILURE() << "call " << i << ": expected " << want[i] << ", observed " << got[i];
            return;
        }
    EXPECT_EQ(got.size(), want.size()) << "call count";
}

// Lists 0 and 2 hold several voxels, list 1 is empty, list 3 is empty too.
struct Cloud {
    VoxelNode n[5] = {
        {-0.5f, -0.5f, 0.0f, 1.0f, 0.0f, 0.0f, nullptr},
        {0.0f, -0.5f, 0.25f, 0.0f, 1.0f, 0.0f, nullptr},
        {0.5f, -0.5f, -0.25f, 0.0f, 0.0f, 1.0f, nullptr},
        {-0.5f, 0.5f, 0.5f, 1.0f, 1.0f, 0.0f, nullptr},
        {0.5f, 0.5f, -0.5f, 0.0f, 1.0f, 1.0f, nullptr},
    };
    VoxelNode *table[4];
    Cloud() {
        n[0].next = &n[1];
        n[1].next = &n[2];
        n[3].next = &n[4];
        table[0] = &n[0];
        table[1] = nullptr;
        table[2] = &n[3];
        table[3] = nullptr;
    }
    void install() { set_liste_voxels(table, 4); }
};

void identity_matrices() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

bool same_colour(const vt::FbVertex &v, const VoxelNode &n) {
    return v.r == n.r && v.g == n.g && v.b == n.b;
}

} // namespace

class VoxelDrawing : public vt::GlTest {};

TEST_F(VoxelDrawing, TraversalSkipsNullHeadsAndKeepsListOrder) {
    identity_matrices();
    static Cloud cloud;
    cloud.install();
    VoxelNode before[5];
    std::memcpy(before, cloud.n, sizeof before);

    // Points: one per voxel, list 0 head to tail, then list 2.
    const auto points = vt::capture_feedback(draw_voxels_points);
    ASSERT_EQ(points.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_EQ(points[i].kind, vt::FbPrimitive::Point);
        const vt::FbVertex &v = points[i].vertices[0];
        const VoxelNode &n = cloud.n[i];
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
            if (same_colour(p.vertices[0], cloud.n[i]))
                which = i;
        ASSERT_LT(which, 5u) << "polygon in a colour of no voxel";
        if (runs.empty() || runs.back() != which)
            runs.push_back(which);
    }
    EXPECT_EQ(runs, (std::vector<size_t>{0, 1, 2, 3, 4}));

    EXPECT_EQ(std::memcmp(before, cloud.n, sizeof before), 0) << "a node was written";
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
    static Cloud cloud;
    if (vt::in_traced_child()) {
        vt::open_window();
        cloud.install();
        set_isize(3);
        vt::trace_begin();
        draw_voxels_points();
        vt::trace_end();
        return;
    }
    std::vector<std::string> want = {"glPointSize(size = 3)", begin_points};
    for (const VoxelNode &n : cloud.n) {
        want.push_back(color(n.r, n.g, n.b));
        want.push_back(vertex(n.x, n.y, n.z));
    }
    want.push_back(end);
    expect_calls(vt::trace_this_test(), want);
}

TEST(VoxelTrace, CubeModeSendsSixFacesPerVoxel) {
    // Two voxels in one list: one enable and one begin/end pair per cube.
    static VoxelNode second{-0.125f, 0.375f, 0.75f, 0.25f, 0.5f, 0.75f, nullptr};
    static VoxelNode first{0.5f, -0.25f, 0.125f, 1.0f, 0.5f, 0.0f, &second};
    static VoxelNode *const table[] = {nullptr, &first};
    if (vt::in_traced_child()) {
        vt::open_window();
        set_liste_voxels(table, 2);
        vt::trace_begin();
        draw_voxels_cubes(0.5f);
        draw_voxels_cubes(0.0f); // every corner on the centre
        vt::trace_end();
        return;
    }
    std::vector<std::string> want;
    for (float edge : {0.5f, 0.0f}) {
        append_cube(want, first, edge);
        append_cube(want, second, edge);
    }
    const std::vector<std::string> calls = vt::trace_this_test();
    expect_calls(calls, want);
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
    std::vector<std::string> want;
    for (int i = 0; i < 5; ++i)
        want.insert(want.end(), {"glPointSize(size = 2)", begin_points, end});
    expect_calls(vt::trace_this_test(), want);
}
