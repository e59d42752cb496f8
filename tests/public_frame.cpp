// One frame as a client sees it: the exact call stream of vorlix_render
// (apitrace), where its pieces land in window coordinates (feedback mode) and
// what the window finally shows (pixels read back after the swap).
//
// Geometry used throughout: a 500x500 window, focal factor 1, so the frustum
// has its near plane 0.1 in front of the eye and spans +-0.04 at that plane.
// The cloud's origin sits at eye (0, 0, -2.2), the gizmo's at (-0.8, -0.5,
// -2.5), which is window (50, 125).
#include "gl_harness.h"
#include "image.h"
#include "library_calls.h"
#include "trace.h"
#include "voxel_table.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const int kSize = 500;

// Bright voxels inside the cube, in three lists (the middle one empty), all
// within view for every placement used below.
const std::vector<std::vector<vt::Voxel>> kScene = {
    {{0.0f, 0.0f, 0.0f, 1, 1, 0}, {0.25f, 0.25f, 0.0f, 0, 1, 1}},
    {},
    {{-0.3f, 0.1f, 0.2f, 1, 0, 1}},
};

// What a client does once its window exists.
void start_client() {
    vt::open_window();
    vorlix_reshape(kSize, kSize);
    init_transformation();
}

vt::Win to_window(double x, double y, double z) {
    return vt::eye_to_window(x, y, z, kSize, kSize);
}

// The calls of a whole frame (defined after the tests).
struct FrameSetup {
    float trans_x = 0, trans_y = 0, trans_z = 0;
    bool cube = true;
    vt::Calls voxels = vt::points_calls({}, 2);
};
vt::Calls expected_frame(const FrameSetup &s);
vt::Calls voxel_calls(const vt::Calls &got, const FrameSetup &s);

// A frame in feedback mode, split into its parts (defined after the tests).
struct Drawn {
    std::vector<vt::FbPrimitive> cube, points, gizmo;
};
Drawn capture_frame(const float *matrix);
void expect_gizmo(const Drawn &d, double ox, double oy, double oz, double ax, double ay, double az);
void expect_points(const Drawn &d, const std::vector<vt::Voxel> &voxels, double dx, double dy,
                   double dz, double sx = 1);

// What the window shows (defined after the tests).
void expect_cube_shown(const vt::Image &s, bool shown);
void expect_gizmo_shown(const vt::Image &s);
void expect_voxels_shown(const vt::Image &s, bool shown);

// ==== call streams ===============================================================

TEST(FrameTrace, DefaultFrameIsTheDocumentedSequence) {
    const vt::Calls calls = vt::traced([&] {
        start_client();
        vt::trace_begin();
        vorlix_render(kIdentity);
        vt::trace_end();
    });
    const auto frames = vt::split_at_marks(calls);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(vt::same_calls(expected_frame(FrameSetup{}), frames[0]));
}

TEST(FrameTrace, TranslationTotalsAndZoomReachOnlyTheCloud) {
    // Stored totals: (0.25, -0.5) from the translations, 1.3 from zoom; then a
    // Z step of 0.5, which is subtracted from the depth total.
    const float tz1 = 1.3f;
    const float tz2 = 1.3f - 0.5f;
    const vt::Calls calls = vt::traced([&] {
        start_client();
        set_delta_translation(0.25f);
        translation_x();
        set_delta_translation(-0.5f);
        translation_y();
        zoom(tz1);
        vt::trace_begin();
        vorlix_render(kIdentity);
        vt::trace_mark();
        set_delta_translation(0.5f);
        translation_z();
        vorlix_render(kIdentity);
        vt::trace_end();
    });
    // 1.3 is chosen so that forming 1.3 - 2.2 in float would print differently
    // (-0.9000001) from forming it in double (-0.9).
    ASSERT_NE(vt::num(static_cast<float>(static_cast<double>(tz1) - 2.2)), vt::num(tz1 - 2.2f));

    const auto frames = vt::split_at_marks(calls);
    ASSERT_EQ(frames.size(), 2u);
    FrameSetup s;
    s.trans_x = 0.25f;
    s.trans_y = -0.5f;
    s.trans_z = tz1;
    EXPECT_TRUE(vt::same_calls(expected_frame(s), frames[0]));
    s.trans_z = tz2;
    EXPECT_TRUE(vt::same_calls(expected_frame(s), frames[1]));
}

TEST(FrameTrace, OnlyTheValue48ShowsTheCube) {
    const int values[] = {0, 1, 49, 48};
    const vt::Calls calls = vt::traced([&] {
        start_client();
        vt::trace_begin();
        for (int v : values) {
            set_cube_englobant(v);
            vorlix_render(kIdentity);
            vt::trace_mark();
        }
        vt::trace_end();
    });
    const auto frames = vt::split_at_marks(calls);
    ASSERT_EQ(frames.size(), 5u); // one empty after the last mark
    for (size_t i = 0; i < 4; ++i) {
        FrameSetup s;
        s.cube = values[i] == 48;
        EXPECT_TRUE(vt::same_calls(expected_frame(s), frames[i]))
            << "set_cube_englobant(" << values[i] << ")";
    }
}

TEST(FrameTrace, ScreenModeChoosesPointsCubesOrNothing) {
    const int modes[] = {SCREEN_MODE_POINTS, SCREEN_MODE_CUBES, 2, -1};
    const vt::Calls calls = vt::traced([&] {
        start_client();
        vt::VoxelTable table(kScene);
        set_fsize(0.05f);
        vt::trace_begin();
        for (int m : modes) {
            set_screen_mode(m);
            vorlix_render(kIdentity);
            vt::trace_mark();
        }
        vt::trace_end();
    });
    const vt::VoxelTable table(kScene); // only for its drawing order
    const auto frames = vt::split_at_marks(calls);
    ASSERT_EQ(frames.size(), 5u);

    FrameSetup s;
    s.voxels = vt::points_calls(table.in_order, 2);
    EXPECT_TRUE(vt::same_calls(s.voxels, voxel_calls(frames[0], s))) << "points";

    // Cube mode: one quad block per voxel, sized by fsize (0.05, so the first
    // corner of each is the centre - 0.025 in x and y, + 0.025 in z).
    const auto cubes = voxel_calls(frames[1], s);
    EXPECT_EQ(vt::calls_named(cubes, "glBegin(mode = GL_QUADS)").size(), 3u);
    EXPECT_TRUE(vt::calls_named(cubes, "glPointSize(").empty());
    const auto vertices = vt::calls_named(cubes, "glVertex3f(");
    ASSERT_EQ(vertices.size(), 3u * 24);
    for (size_t i = 0; i < 3; ++i) {
        const vt::Voxel &v = table.in_order[i];
        const float h = 0.05f / 2;
        EXPECT_EQ(vertices[24 * i], vt::xyz("glVertex3f", v.x - h, v.y - h, v.z + h))
            << "voxel " << i;
    }

    for (size_t i = 2; i < 4; ++i)
        EXPECT_TRUE(voxel_calls(frames[i], s).empty()) << "screen mode " << modes[i];
}

TEST(FrameTrace, RotationsChangeNothing) {
    const vt::Calls calls = vt::traced([&] {
        start_client();
        vt::trace_begin();
        vorlix_render(kIdentity);
        vt::trace_mark();
        set_delta_rotation(90.0f);
        rotation_x();
        rotation_y();
        rotation_z();
        vorlix_render(kIdentity);
        vt::trace_end();
    });
    const auto frames = vt::split_at_marks(calls);
    ASSERT_EQ(frames.size(), 2u);
    // The rotations issue no call of their own and the next frame repeats the
    // first one exactly.
    EXPECT_TRUE(vt::same_calls(expected_frame(FrameSetup{}), frames[0]));
    EXPECT_TRUE(vt::same_calls(frames[0], frames[1]));
}

// ==== window coordinates (feedback) ==============================================

class FrameGeometry : public ::testing::Test {
  protected:
    void SetUp() override { start_client(); }
};

TEST_F(FrameGeometry, DefaultsPlaceCloudAndCubeAtDepth2_2AndGizmoLowerLeft) {
    const vt::VoxelTable table(kScene);
    const Drawn d = capture_frame(kIdentity);

    ASSERT_EQ(d.cube.size(), 12u);
    // Each edge has one end at (+,+,+), (+,-,+), (-,+,-), (-,-,+), (+,+,-) or
    // (-,-,-); check all ends against the projected corners.
    for (const auto &line : d.cube)
        for (const auto &v : line.vertices) {
            bool found = false;
            for (int c = 0; c < 8 && !found; ++c) {
                const vt::Win w =
                    to_window(c & 1 ? 0.5 : -0.5, c & 2 ? 0.5 : -0.5, (c & 4 ? 0.5 : -0.5) - 2.2);
                found = vt::lands_at(v, w);
            }
            EXPECT_TRUE(found) << "cube vertex at (" << v.x << ", " << v.y
                               << ") is no projected corner";
        }
    // Spot check: the first edge runs along the back bottom, (-,-,-) to (+,-,-).
    EXPECT_TRUE(vt::lands_at(d.cube[0].vertices[0], to_window(-0.5, -0.5, -2.7)));
    EXPECT_TRUE(vt::lands_at(d.cube[0].vertices[1], to_window(0.5, -0.5, -2.7)));

    expect_points(d, table.in_order, 0, 0, -2.2);
    expect_gizmo(d, -0.8, -0.5, -2.5, 0.125, 0.125, 0.125);
    // The gizmo's origin is window (50, 125): a tenth of the width from the
    // left, a quarter of the height from the bottom.
    EXPECT_TRUE(vt::lands_at(d.gizmo[2].vertices[0], {50, 125}));
}

TEST_F(FrameGeometry, TranslationTotalsAndZoomMoveTheCloudNotTheGizmo) {
    const vt::VoxelTable table(kScene);
    set_delta_translation(0.2f);
    translation_x();
    set_delta_translation(-0.1f);
    translation_y();
    set_delta_translation(0.5f);
    translation_z(); // subtracts: depth total -0.5
    Drawn d = capture_frame(kIdentity);
    expect_points(d, table.in_order, 0.2, -0.1, -0.5 - 2.2);
    ASSERT_EQ(d.cube.size(), 12u);
    EXPECT_TRUE(vt::lands_at(d.cube[0].vertices[0], to_window(0.2 - 0.5, -0.1 - 0.5, -2.7 - 0.5)));
    expect_gizmo(d, -0.8, -0.5, -2.5, 0.125, 0.125, 0.125);

    zoom(-1.0f); // replaces the depth total; x and y stay
    d = capture_frame(kIdentity);
    expect_points(d, table.in_order, 0.2, -0.1, -1.0 - 2.2);
    expect_gizmo(d, -0.8, -0.5, -2.5, 0.125, 0.125, 0.125);

    init_transformation(); // totals back to zero
    d = capture_frame(kIdentity);
    expect_points(d, table.in_order, 0, 0, -2.2);
}

TEST_F(FrameGeometry, CallerMatrixMovesBothOriginsAndIsNeitherWrittenNorKept) {
    // Voxels left of centre, so that the cloud moved one unit right stays in
    // view.
    const vt::VoxelTable table({{{-0.4f, 0.1f, 0.0f, 1, 1, 0}, {-0.3f, -0.2f, 0.2f, 0, 1, 1}}});
    struct Guarded {
        float before[4];
        float m[16];
        float after[4];
    } buf;
    std::memset(&buf, 0x5a, sizeof buf);
    std::memcpy(buf.m, kIdentity, sizeof buf.m);
    buf.m[12] = 1.0f; // translation (1, 0, 0), column-major
    Guarded copy;
    std::memcpy(&copy, &buf, sizeof buf);

    Drawn d = capture_frame(buf.m);
    EXPECT_EQ(std::memcmp(&copy, &buf, sizeof buf), 0) << "the caller's matrix was written";
    expect_points(d, table.in_order, 1, 0, -2.2);
    // The gizmo's origin moves to eye (0.2, -0.5, -2.5), window (300, 125).
    expect_gizmo(d, 0.2, -0.5, -2.5, 0.125, 0.125, 0.125);
    EXPECT_TRUE(vt::lands_at(d.gizmo[2].vertices[0], {300, 125}));

    // A 90 degree turn about z (column 0 is the image of x: (0, 1, 0)): the
    // gizmo's X axis now points up, its Y axis left.
    float turn[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    d = capture_frame(turn);
    ASSERT_EQ(d.gizmo.size(), 5u);
    EXPECT_TRUE(vt::lands_at(d.gizmo[2].vertices[1], to_window(-0.8, -0.5 + 0.125, -2.5)));
    EXPECT_TRUE(vt::lands_at(d.gizmo[3].vertices[1], to_window(-0.8 - 0.125, -0.5, -2.5)));
    EXPECT_TRUE(vt::lands_at(d.points[0].vertices[0], to_window(-0.1, -0.4, -2.2)));

    // Nothing of an earlier matrix survives into the next frame.
    std::fill(std::begin(turn), std::end(turn), 0.0f);
    d = capture_frame(kIdentity);
    expect_points(d, table.in_order, 0, 0, -2.2);
    expect_gizmo(d, -0.8, -0.5, -2.5, 0.125, 0.125, 0.125);
}

TEST_F(FrameGeometry, ScaleXStretchesCloudAndGizmoBeforeTheCallerMatrix) {
    const vt::VoxelTable table(kScene);
    set_scale_x(2.0f);
    Drawn d = capture_frame(kIdentity);
    expect_points(d, table.in_order, 0, 0, -2.2, 2.0);
    // X axis 2 x 0.125 = 0.25 long; Y and Z unchanged.
    expect_gizmo(d, -0.8, -0.5, -2.5, 0.25, 0.125, 0.125);

    // Under a 90 degree turn about z the stretched X axis points up, still
    // 0.25 long: the stretch applies first, then the caller's matrix.
    const float turn[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    d = capture_frame(turn);
    ASSERT_EQ(d.gizmo.size(), 5u);
    EXPECT_TRUE(vt::lands_at(d.gizmo[2].vertices[1], to_window(-0.8, -0.5 + 0.25, -2.5)));
    EXPECT_TRUE(vt::lands_at(d.gizmo[3].vertices[1], to_window(-0.8 - 0.125, -0.5, -2.5)));
}

// ==== what the window shows =======================================================

class FramePixels : public ::testing::Test {
  protected:
    void SetUp() override { start_client(); }
};

TEST_F(FramePixels, DefaultFrameShowsCubeVoxelsAndGizmoOnBlack) {
    const vt::VoxelTable table(kScene);
    vorlix_render(kIdentity);
    const vt::Image s = vt::Image::back_buffer();
    ASSERT_EQ(s.width(), kSize);
    ASSERT_EQ(s.height(), kSize);

    expect_cube_shown(s, true);
    expect_voxels_shown(s, true);
    expect_gizmo_shown(s);
    // Black away from every line and voxel: corners, outside the front face
    // (x 66..434), inside the back face (x 134..366) off the voxels.
    for (const auto &p : {std::pair<int, int>{15, 15},
                          {485, 485},
                          {485, 15},
                          {15, 485},
                          {30, 250},
                          {250, 470},
                          {250, 200},
                          {300, 180},
                          {200, 320},
                          {80, 160}})
        EXPECT_TRUE(s.black(p.first, p.second, 3));
}

TEST_F(FramePixels, SwitchesHideOnlyTheirOwnPart) {
    const vt::VoxelTable table(kScene);
    for (int mode : {2, -1}) {
        set_screen_mode(mode);
        vorlix_render(kIdentity);
        const vt::Image s = vt::Image::back_buffer();
        SCOPED_TRACE("screen mode " + std::to_string(mode));
        expect_voxels_shown(s, false);
        expect_cube_shown(s, true);
        expect_gizmo_shown(s);
    }
    set_screen_mode(SCREEN_MODE_POINTS);

    set_cube_englobant(0);
    vorlix_render(kIdentity);
    vt::Image s = vt::Image::back_buffer();
    {
        SCOPED_TRACE("cube off");
        expect_cube_shown(s, false);
        expect_voxels_shown(s, true);
        expect_gizmo_shown(s);
    }
    set_cube_englobant(48);
    vorlix_render(kIdentity);
    s = vt::Image::back_buffer();
    SCOPED_TRACE("cube back on");
    expect_cube_shown(s, true);
}

TEST_F(FramePixels, RotationsLeaveThePictureUnchanged) {
    const vt::VoxelTable table(kScene);
    vorlix_render(kIdentity);
    const vt::Image before = vt::Image::back_buffer();
    set_delta_rotation(90.0f);
    rotation_x();
    rotation_y();
    rotation_z();
    vorlix_render(kIdentity);
    const vt::Image after = vt::Image::back_buffer();
    EXPECT_TRUE(before == after);
    // Not a blank picture that would match anything.
    expect_voxels_shown(after, true);
}

// ==== the expectations used above ================================================

// The whole frame: clear state, cloud placement, cube, voxels, gizmo, swap.
vt::Calls expected_frame(const FrameSetup &s) {
    const vt::Calls placement = {
        "glLoadIdentity()",
        // The depth offset is added in double and passed as a float.
        vt::xyz("glTranslatef", s.trans_x, s.trans_y,
                static_cast<float>(static_cast<double>(s.trans_z) - 2.2)),
        vt::call_with_array("glMultMatrixf", "m", kIdentity, 16),
        vt::xyz("glScalef", 1, 1, 1),
    };
    vt::Calls out = {
        "glClearColor(red = 0, green = 0, blue = 0, alpha = 0.5)",
        "glClearDepth(depth = 2)",
        // apitrace lists the bits in its own order.
        "glClear(mask = GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT)",
        "glDepthFunc(func = GL_LEQUAL)",
        "glHint(target = GL_PERSPECTIVE_CORRECTION_HINT, mode = GL_NICEST)",
    };
    out.insert(out.end(), placement.begin(), placement.end());
    if (s.cube) {
        const vt::Calls cube = vt::bounding_cube_calls();
        out.insert(out.end(), cube.begin(), cube.end());
    }
    out.insert(out.end(), s.voxels.begin(), s.voxels.end());
    out.push_back("glLoadIdentity()");
    out.push_back(vt::xyz("glTranslatef", -0.8f, -0.5f, -2.5f));
    out.insert(out.end(), placement.begin() + 2, placement.end());
    const vt::Calls gizmo = vt::axes_calls(0.125f, 0.125f, 0.125f);
    out.insert(out.end(), gizmo.begin(), gizmo.end());
    out.push_back("glXSwapBuffers(...)");
    return out;
}

// The calls a frame makes between the cloud's placement (and cube) and the
// gizmo's placement: where the voxels go. The rest must match want exactly.
vt::Calls voxel_calls(const vt::Calls &got, const FrameSetup &s) {
    FrameSetup bare = s;
    bare.voxels.clear();
    const auto want = expected_frame(bare);
    const size_t head = 9 + (s.cube ? vt::bounding_cube_calls().size() : 0);
    const size_t tail = want.size() - head;
    if (got.size() < want.size()) {
        ADD_FAILURE() << "frame too short: " << got.size() << " calls";
        return {};
    }
    vt::Calls outer_got(got.begin(), got.begin() + static_cast<long>(head));
    outer_got.insert(outer_got.end(), got.end() - static_cast<long>(tail), got.end());
    EXPECT_TRUE(vt::same_calls(want, outer_got)) << "outside the voxel calls";
    return {got.begin() + static_cast<long>(head), got.end() - static_cast<long>(tail)};
}

// The gizmo is always the last five lines (mark, mark, X, Y, Z axis); lines
// before it belong to the cube.
Drawn capture_frame(const float *matrix) {
    const auto prims = vt::capture_feedback([matrix] { vorlix_render(matrix); });
    Drawn d;
    std::vector<vt::FbPrimitive> lines;
    for (const auto &p : prims) {
        if (p.kind == vt::FbPrimitive::Line)
            lines.push_back(p);
        else if (p.kind == vt::FbPrimitive::Point)
            d.points.push_back(p);
    }
    const size_t split = lines.size() >= 5 ? lines.size() - 5 : 0;
    d.cube.assign(lines.begin(), lines.begin() + static_cast<long>(split));
    d.gizmo.assign(lines.begin() + static_cast<long>(split), lines.end());
    return d;
}

// The gizmo drawn from eye-space origin o with axis lengths ax, ay, az along
// eye x, y, z (no rotation): origin and far end of each axis.
void expect_gizmo(const Drawn &d, double ox, double oy, double oz, double ax, double ay,
                  double az) {
    ASSERT_EQ(d.gizmo.size(), 5u);
    const vt::Win origin = to_window(ox, oy, oz);
    const auto &x_axis = d.gizmo[2].vertices, &y_axis = d.gizmo[3].vertices,
               &z_axis = d.gizmo[4].vertices;
    EXPECT_TRUE(vt::lands_at(x_axis[0], origin)) << "X axis start";
    EXPECT_TRUE(vt::lands_at(x_axis[1], to_window(ox + ax, oy, oz))) << "X axis end";
    EXPECT_TRUE(vt::lands_at(y_axis[0], origin)) << "Y axis start";
    EXPECT_TRUE(vt::lands_at(y_axis[1], to_window(ox, oy + ay, oz))) << "Y axis end";
    EXPECT_TRUE(vt::lands_at(z_axis[0], origin)) << "Z axis start";
    EXPECT_TRUE(vt::lands_at(z_axis[1], to_window(ox, oy, oz + az))) << "Z axis end";
    EXPECT_EQ(x_axis[0].r, 1.0f) << "the X axis is red";
}

// Voxel points, in drawing order, at their cloud position placed by
// eye = offset + scale * v.
void expect_points(const Drawn &d, const std::vector<vt::Voxel> &voxels, double dx, double dy,
                   double dz, double sx) {
    ASSERT_EQ(d.points.size(), voxels.size());
    for (size_t i = 0; i < voxels.size(); ++i) {
        const vt::Voxel &v = voxels[i];
        EXPECT_TRUE(
            vt::lands_at(d.points[i].vertices[0], to_window(dx + sx * v.x, dy + v.y, dz + v.z)))
            << "voxel " << i;
        EXPECT_EQ(d.points[i].vertices[0].g, v.g) << "voxel " << i;
    }
}

int ipx(double v) {
    return static_cast<int>(std::floor(v));
}

// Midpoints of cube edges (cloud coordinates, cube -0.5..0.5) with their
// colours: the three edges leaving (-,-,-) carry clamped axis colours.
struct EdgeProbe {
    float x, y, z;
    vt::Rgb colour;
    const char *what;
};
const EdgeProbe kEdges[] = {
    {0.0f, -0.5f, -0.5f, vt::kDarkRed, "back bottom edge (+X from the corner)"},
    {-0.5f, 0.0f, -0.5f, vt::kDarkGreen, "back left edge (+Y from the corner)"},
    {-0.5f, -0.5f, 0.0f, vt::kDarkBlue, "lower left depth edge (+Z from the corner)"},
    {0.0f, 0.5f, 0.5f, vt::kGrey, "front top edge"},
    {0.5f, 0.0f, 0.5f, vt::kGrey, "front right edge"},
    {0.0f, -0.5f, 0.5f, vt::kGrey, "front bottom edge"},
    {-0.5f, 0.0f, 0.5f, vt::kGrey, "front left edge"},
    {0.0f, 0.5f, -0.5f, vt::kGrey, "back top edge"},
    {0.5f, 0.0f, -0.5f, vt::kGrey, "back right edge"},
    {0.5f, 0.5f, 0.0f, vt::kGrey, "upper right depth edge"},
    {0.5f, -0.5f, 0.0f, vt::kGrey, "lower right depth edge"},
    {-0.5f, 0.5f, 0.0f, vt::kGrey, "upper left depth edge"},
};

void expect_cube_shown(const vt::Image &s, bool shown) {
    for (const EdgeProbe &e : kEdges) {
        const vt::Win w = to_window(e.x, e.y, e.z - 2.2);
        if (shown)
            EXPECT_TRUE(s.near(ipx(w.x), ipx(w.y), e.colour, 1)) << e.what;
        else
            EXPECT_TRUE(s.black(ipx(w.x), ipx(w.y), 1)) << e.what;
    }
}

void expect_gizmo_shown(const vt::Image &s) {
    // Clear of the cube's front left edge (x 66) and of the mark (x >= 62.5).
    EXPECT_TRUE(s.near(58, 125, vt::kRed, 1)) << "X axis";
    EXPECT_TRUE(s.near(50, 145, vt::kGreen, 1)) << "Y axis";
    const vt::Win z_mid = to_window(-0.8, -0.5, -2.5 + 0.0625);
    EXPECT_TRUE(s.near(ipx(z_mid.x), ipx(z_mid.y), vt::kBlue, 1)) << "Z axis";
    // The X axis is 0.125 long: it ends at x 81.25, so 90 is past its tip.
    EXPECT_TRUE(s.black(90, 125)) << "past the X axis";
}

void expect_voxels_shown(const vt::Image &s, bool shown) {
    const vt::Rgb colours[] = {vt::kYellow, vt::kCyan, vt::kMagenta};
    const vt::Voxel vs[] = {kScene[0][0], kScene[0][1], kScene[2][0]};
    for (int i = 0; i < 3; ++i) {
        const vt::Win w = to_window(vs[i].x, vs[i].y, vs[i].z - 2.2);
        if (shown)
            EXPECT_TRUE(s.near(ipx(w.x), ipx(w.y), colours[i], 2)) << "voxel " << i;
        else
            EXPECT_TRUE(s.black(ipx(w.x), ipx(w.y))) << "voxel " << i;
    }
}

} // namespace
