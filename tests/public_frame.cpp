// One frame as a client sees it: the exact call stream of vorlix_render
// (apitrace), where its pieces land in window coordinates (feedback mode) and
// what the window finally shows (pixels read back after the swap).
//
// Geometry used throughout: a 500x500 window, focal factor 1, so the frustum
// has its near plane 0.1 in front of the eye and spans +-0.04 at that plane.
// The cloud's origin sits at eye (0, 0, -2.2), the gizmo's at (-0.8, -0.5,
// -2.5), which is window (50, 125).
#include "gl_harness.h"
#include "vorlix.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const int kSize = 500;

// ---- the client side ---------------------------------------------------------

struct Voxel {
    float x, y, z, r, g, b;
};

// A client-owned voxel table; an empty inner list becomes a null head. It is
// registered for its lifetime and unregistered before its nodes go away.
class VoxelTable {
  public:
    explicit VoxelTable(const std::vector<std::vector<Voxel>> &lists) {
        for (const auto &list : lists) {
            VoxelNode *head = nullptr, *tail = nullptr;
            for (const Voxel &v : list) {
                nodes_.push_back(VoxelNode{v.x, v.y, v.z, v.r, v.g, v.b, nullptr});
                VoxelNode *n = &nodes_.back();
                (tail ? tail->next : head) = n;
                tail = n;
                in_order.push_back(v);
            }
            heads_.push_back(head);
        }
        set_liste_voxels(heads_.data(), static_cast<unsigned int>(heads_.size()));
    }
    ~VoxelTable() { set_liste_voxels(nullptr, 0); }
    VoxelTable(const VoxelTable &) = delete;
    VoxelTable &operator=(const VoxelTable &) = delete;

    std::vector<Voxel> in_order; // drawing order: list by list, head first

  private:
    std::deque<VoxelNode> nodes_; // stable addresses
    std::vector<VoxelNode *> heads_;
};

// Bright voxels inside the cube, in three lists (the middle one empty), all
// within view for every placement used below.
const std::vector<std::vector<Voxel>> kScene = {
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

// ---- geometry ------------------------------------------------------------------

struct Win {
    double x, y;
};

// Window position of an eye-space point in the square window.
Win to_window(double x, double y, double z) {
    const double near_plane = 0.1, half_extent = 0.04;
    const double nx = near_plane * x / -z / half_extent;
    const double ny = near_plane * y / -z / half_extent;
    return {(nx + 1) * kSize / 2, (ny + 1) * kSize / 2};
}

::testing::AssertionResult lands_at(const vt::FbVertex &v, Win want, double tol = 0.02) {
    if (std::fabs(v.x - want.x) <= tol && std::fabs(v.y - want.y) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "vertex at (" << v.x << ", " << v.y << "), expected ("
                                         << want.x << ", " << want.y << ")";
}

// A frame in feedback mode, split into its parts: the gizmo is always the last
// five lines (mark, mark, X, Y, Z axis); lines before it belong to the cube.
struct Drawn {
    std::vector<vt::FbPrimitive> cube, points, gizmo;
};

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
    const Win origin = to_window(ox, oy, oz);
    const auto &x_axis = d.gizmo[2].vertices, &y_axis = d.gizmo[3].vertices,
               &z_axis = d.gizmo[4].vertices;
    EXPECT_TRUE(lands_at(x_axis[0], origin)) << "X axis start";
    EXPECT_TRUE(lands_at(x_axis[1], to_window(ox + ax, oy, oz))) << "X axis end";
    EXPECT_TRUE(lands_at(y_axis[0], origin)) << "Y axis start";
    EXPECT_TRUE(lands_at(y_axis[1], to_window(ox, oy + ay, oz))) << "Y axis end";
    EXPECT_TRUE(lands_at(z_axis[0], origin)) << "Z axis start";
    EXPECT_TRUE(lands_at(z_axis[1], to_window(ox, oy, oz + az))) << "Z axis end";
    EXPECT_EQ(x_axis[0].r, 1.0f) << "the X axis is red";
}

// Voxel points, in drawing order, at their cloud position placed by
// eye = offset + scale * v.
void expect_points(const Drawn &d, const std::vector<Voxel> &voxels, double dx, double dy,
                   double dz, double sx = 1) {
    ASSERT_EQ(d.points.size(), voxels.size());
    for (size_t i = 0; i < voxels.size(); ++i) {
        const Voxel &v = voxels[i];
        EXPECT_TRUE(lands_at(d.points[i].vertices[0], to_window(dx + sx * v.x, dy + v.y, dz + v.z)))
            << "voxel " << i;
        EXPECT_EQ(d.points[i].vertices[0].g, v.g) << "voxel " << i;
    }
}

// ---- pixels --------------------------------------------------------------------

using Rgb = std::array<int, 3>;
const Rgb kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};
const Rgb kGrey{127, 127, 127}, kDarkRed{127, 0, 0}, kDarkGreen{0, 127, 0}, kDarkBlue{0, 0, 127};
const Rgb kYellow{255, 255, 0}, kCyan{0, 255, 255}, kMagenta{255, 0, 255};

// The frame just shown. vorlix_render ends with the swap, so nothing can be
// read before it. Reading the X window back is unreliable when tests run in
// parallel (every test window sits at 0,0 and may cover ours), and
// glReadBuffer(GL_FRONT) reads black on Mesa's software GLX, which keeps no
// front buffer. Its swap copies the back buffer into the window and leaves
// the back buffer as it was, so after glFinish the back buffer holds exactly
// the frame shown. Were that to change, the colour probes below would fail
// rather than pass by accident.
class Shot {
  public:
    static Shot grab() {
        glFinish();
        GLint vp[4];
        glGetIntegerv(GL_VIEWPORT, vp);
        Shot s;
        s.w_ = vp[2];
        s.h_ = vp[3];
        std::vector<GLubyte> rgb(static_cast<size_t>(s.w_) * s.h_ * 3);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, s.w_, s.h_, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        s.px_.resize(static_cast<size_t>(s.w_) * s.h_);
        for (size_t i = 0; i < s.px_.size(); ++i)
            s.px_[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
        return s;
    }

    int width() const { return w_; }
    int height() const { return h_; }
    Rgb at(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }
    bool operator==(const Shot &o) const { return w_ == o.w_ && h_ == o.h_ && px_ == o.px_; }

    // Whether some pixel within radius of (x, y) has this colour (+-tol).
    ::testing::AssertionResult near(int x, int y, int radius, Rgb want, int tol = 3) const {
        for (int dy = -radius; dy <= radius; ++dy)
            for (int dx = -radius; dx <= radius; ++dx)
                if (close(at(x + dx, y + dy), want, tol))
                    return ::testing::AssertionSuccess();
        const Rgb got = at(x, y);
        return ::testing::AssertionFailure()
               << "no pixel within " << radius << " of (" << x << ", " << y << ") is (" << want[0]
               << ", " << want[1] << ", " << want[2] << "); (" << x << ", " << y << ") is ("
               << got[0] << ", " << got[1] << ", " << got[2] << ")";
    }
    // Whether every pixel within radius of (x, y) is black.
    ::testing::AssertionResult black(int x, int y, int radius = 2) const {
        for (int dy = -radius; dy <= radius; ++dy)
            for (int dx = -radius; dx <= radius; ++dx)
                if (!close(at(x + dx, y + dy), kBlack, 0)) {
                    const Rgb got = at(x + dx, y + dy);
                    return ::testing::AssertionFailure()
                           << "pixel (" << x + dx << ", " << y + dy << ") is (" << got[0] << ", "
                           << got[1] << ", " << got[2] << "), expected black";
                }
        return ::testing::AssertionSuccess();
    }

  private:
    static bool close(const Rgb &a, const Rgb &b, int tol) {
        for (int c = 0; c < 3; ++c)
            if (std::abs(a[c] - b[c]) > tol)
                return false;
        return true;
    }
    int w_ = 0, h_ = 0;
    std::vector<Rgb> px_;
};

int ipx(double v) {
    return static_cast<int>(std::floor(v));
}

// Midpoints of cube edges (cloud coordinates, cube -0.5..0.5) with their
// colours: the three edges leaving (-,-,-) carry clamped axis colours.
struct EdgeProbe {
    float x, y, z;
    Rgb colour;
    const char *what;
};
const EdgeProbe kEdges[] = {
    {0.0f, -0.5f, -0.5f, kDarkRed, "back bottom edge (+X from the corner)"},
    {-0.5f, 0.0f, -0.5f, kDarkGreen, "back left edge (+Y from the corner)"},
    {-0.5f, -0.5f, 0.0f, kDarkBlue, "lower left depth edge (+Z from the corner)"},
    {0.0f, 0.5f, 0.5f, kGrey, "front top edge"},
    {0.5f, 0.0f, 0.5f, kGrey, "front right edge"},
    {0.0f, -0.5f, 0.5f, kGrey, "front bottom edge"},
    {-0.5f, 0.0f, 0.5f, kGrey, "front left edge"},
    {0.0f, 0.5f, -0.5f, kGrey, "back top edge"},
    {0.5f, 0.0f, -0.5f, kGrey, "back right edge"},
    {0.5f, 0.5f, 0.0f, kGrey, "upper right depth edge"},
    {0.5f, -0.5f, 0.0f, kGrey, "lower right depth edge"},
    {-0.5f, 0.5f, 0.0f, kGrey, "upper left depth edge"},
};

void expect_cube_shown(const Shot &s, bool shown) {
    for (const EdgeProbe &e : kEdges) {
        const Win w = to_window(e.x, e.y, e.z - 2.2);
        if (shown)
            EXPECT_TRUE(s.near(ipx(w.x), ipx(w.y), 1, e.colour)) << e.what;
        else
            EXPECT_TRUE(s.black(ipx(w.x), ipx(w.y), 1)) << e.what;
    }
}

void expect_gizmo_shown(const Shot &s) {
    // Clear of the cube's front left edge (x 66) and of the mark (x >= 62.5).
    EXPECT_TRUE(s.near(58, 125, 1, kRed)) << "X axis";
    EXPECT_TRUE(s.near(50, 145, 1, kGreen)) << "Y axis";
    const Win z_mid = to_window(-0.8, -0.5, -2.5 + 0.0625);
    EXPECT_TRUE(s.near(ipx(z_mid.x), ipx(z_mid.y), 1, kBlue)) << "Z axis";
    // The X axis is 0.125 long: it ends at x 81.25, so 90 is past its tip.
    EXPECT_TRUE(s.black(90, 125)) << "past the X axis";
}

void expect_voxels_shown(const Shot &s, bool shown) {
    const Rgb colours[] = {kYellow, kCyan, kMagenta};
    const Voxel vs[] = {kScene[0][0], kScene[0][1], kScene[2][0]};
    for (int i = 0; i < 3; ++i) {
        const Win w = to_window(vs[i].x, vs[i].y, vs[i].z - 2.2);
        if (shown)
            EXPECT_TRUE(s.near(ipx(w.x), ipx(w.y), 2, colours[i])) << "voxel " << i;
        else
            EXPECT_TRUE(s.black(ipx(w.x), ipx(w.y))) << "voxel " << i;
    }
}

// ---- call streams --------------------------------------------------------------

// apitrace prints floats with 7 significant digits, as %.7g does.
std::string f(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.7g", v);
    return b;
}
std::string xyz(const char *fn, float x, float y, float z) {
    return std::string(fn) + "(x = " + f(x) + ", y = " + f(y) + ", z = " + f(z) + ")";
}
std::string colour(float r, float g, float b) {
    return "glColor3f(red = " + f(r) + ", green = " + f(g) + ", blue = " + f(b) + ")";
}
std::string mult_matrix(const float *m) {
    std::string s = "glMultMatrixf(m = {";
    for (int i = 0; i < 16; ++i)
        s += (i ? ", " : "") + f(m[i]);
    return s + "})";
}

std::vector<std::string> cube_block() {
    const float corner[][3] = {{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f},  // 1
                               {-0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f},  // 2
                               {-0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, 0.5f},  // 3
                               {0.5f, 0.5f, 0.5f},    {0.5f, 0.5f, -0.5f},   // 4
                               {0.5f, 0.5f, 0.5f},    {-0.5f, 0.5f, 0.5f},   // 5
                               {0.5f, 0.5f, 0.5f},    {0.5f, -0.5f, 0.5f},   // 6
                               {0.5f, -0.5f, 0.5f},   {0.5f, -0.5f, -0.5f},  // 7
                               {0.5f, -0.5f, 0.5f},   {-0.5f, -0.5f, 0.5f},  // 8
                               {-0.5f, 0.5f, -0.5f},  {-0.5f, 0.5f, 0.5f},   // 9
                               {-0.5f, 0.5f, -0.5f},  {0.5f, 0.5f, -0.5f},   // 10
                               {-0.5f, -0.5f, 0.5f},  {-0.5f, 0.5f, 0.5f},   // 11
                               {0.5f, 0.5f, -0.5f},   {0.5f, -0.5f, -0.5f}}; // 12
    // Colour set before lines 1, 2, 3 and 4 (line 4 onwards grey).
    const float colours[][3] = {
        {0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f}, {-0.5f, -0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}};
    std::vector<std::string> out{"glBegin(mode = GL_LINES)"};
    for (int line = 0; line < 12; ++line) {
        if (line < 4)
            out.push_back(colour(colours[line][0], colours[line][1], colours[line][2]));
        for (int end = 0; end < 2; ++end) {
            const float *c = corner[2 * line + end];
            out.push_back(xyz("glVertex3f", c[0], c[1], c[2]));
        }
    }
    out.push_back("glEnd()");
    return out;
}

std::vector<std::string> points_block(const std::vector<Voxel> &voxels, int isize = 2) {
    std::vector<std::string> out{"glPointSize(size = " + f(isize) + ")",
                                 "glBegin(mode = GL_POINTS)"};
    for (const Voxel &v : voxels) {
        out.push_back(colour(v.r, v.g, v.b));
        out.push_back(xyz("glVertex3f", v.x, v.y, v.z));
    }
    out.push_back("glEnd()");
    return out;
}

struct FrameSetup {
    float trans_x = 0, trans_y = 0, trans_z = 0;
    bool cube = true;
    std::vector<std::string> voxels = points_block({});
};

// The whole frame: clear state, cloud placement, cube, voxels, gizmo, swap.
std::vector<std::string> expected_frame(const FrameSetup &s) {
    std::vector<std::string> out = {
        "glClearColor(red = 0, green = 0, blue = 0, alpha = 0.5)",
        "glClearDepth(depth = 2)",
        // apitrace lists the bits in its own order.
        "glClear(mask = GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT)",
        "glDepthFunc(func = GL_LEQUAL)",
        "glHint(target = GL_PERSPECTIVE_CORRECTION_HINT, mode = GL_NICEST)",
        "glLoadIdentity()",
        // The depth offset is added in double and passed as a float.
        xyz("glTranslatef", s.trans_x, s.trans_y,
            static_cast<float>(static_cast<double>(s.trans_z) - 2.2)),
        mult_matrix(kIdentity),
        xyz("glScalef", 1, 1, 1),
    };
    if (s.cube)
        for (const auto &c : cube_block())
            out.push_back(c);
    out.insert(out.end(), s.voxels.begin(), s.voxels.end());
    const std::vector<std::string> gizmo = {
        "glLoadIdentity()",
        xyz("glTranslatef", -0.8f, -0.5f, -2.5f),
        mult_matrix(kIdentity),
        xyz("glScalef", 1, 1, 1),
        "glPushMatrix()",
        xyz("glScalef", 0.125f, 0.125f, 0.125f),
        "glBegin(mode = GL_LINES)",
        colour(1, 0, 0),
        xyz("glVertex3f", 0.8f, 0.05f, 0),
        xyz("glVertex3f", 1, 0.25f, 0),
        xyz("glVertex3f", 0.8f, 0.25f, 0),
        xyz("glVertex3f", 1, 0.05f, 0),
        xyz("glVertex3f", 0, 0, 0),
        xyz("glVertex3f", 1, 0, 0),
        colour(0, 1, 0),
        xyz("glVertex3f", 0, 0, 0),
        xyz("glVertex3f", 0, 1, 0),
        colour(0, 0, 1),
        xyz("glVertex3f", 0, 0, 0),
        xyz("glVertex3f", 0, 0, 1),
        "glEnd()",
        "glPopMatrix()",
        "glXSwapBuffers(...)",
    };
    out.insert(out.end(), gizmo.begin(), gizmo.end());
    return out;
}

// glutSwapBuffers reaches the trace as glXSwapBuffers, which freeglut precedes
// with a glFlush; both are GLUT's business, as are the handles it passes.
std::vector<std::string> normalise_swaps(const std::vector<std::string> &calls) {
    std::vector<std::string> out;
    for (size_t i = 0; i < calls.size(); ++i) {
        const bool swap_next =
            i + 1 < calls.size() && calls[i + 1].rfind("glXSwapBuffers(", 0) == 0;
        if (calls[i] == "glFlush()" && swap_next)
            continue;
        out.push_back(calls[i].rfind("glXSwapBuffers(", 0) == 0 ? "glXSwapBuffers(...)" : calls[i]);
    }
    return out;
}

::testing::AssertionResult same_calls(const std::vector<std::string> &want,
                                      const std::vector<std::string> &got) {
    const size_t n = std::min(want.size(), got.size());
    for (size_t i = 0; i < n; ++i)
        if (want[i] != got[i])
            return ::testing::AssertionFailure()
                   << "call " << i << ": expected `" << want[i] << "`, traced `" << got[i] << "`";
    if (want.size() != got.size())
        return ::testing::AssertionFailure()
               << want.size() << " calls expected, " << got.size() << " traced; first extra: `"
               << (want.size() > n ? want[n] : got[n]) << "`";
    return ::testing::AssertionSuccess();
}

// Frames traced in one child are separated by this marker.
const float kFrameMark = 4242.0f;
void mark_frame() {
    glPassThrough(kFrameMark);
}

std::vector<std::vector<std::string>> split_frames(const std::vector<std::string> &calls) {
    const std::string mark = "glPassThrough(token = " + f(kFrameMark) + ")";
    std::vector<std::vector<std::string>> frames(1);
    for (const auto &c : calls) {
        if (c == mark)
            frames.emplace_back();
        else
            frames.back().push_back(c);
    }
    for (auto &fr : frames)
        fr = normalise_swaps(fr);
    return frames;
}

// The calls a frame makes between the cloud's placement (and cube) and the
// gizmo's placement: where the voxels go. The rest must match want exactly.
std::vector<std::string> voxel_calls(const std::vector<std::string> &got, const FrameSetup &s) {
    FrameSetup bare = s;
    bare.voxels.clear();
    const auto want = expected_frame(bare);
    const size_t head = 9 + (s.cube ? cube_block().size() : 0);
    const size_t tail = want.size() - head;
    if (got.size() < want.size()) {
        ADD_FAILURE() << "frame too short: " << got.size() << " calls";
        return {};
    }
    const std::vector<std::string> outer_got = [&] {
        std::vector<std::string> o(got.begin(), got.begin() + static_cast<long>(head));
        o.insert(o.end(), got.end() - static_cast<long>(tail), got.end());
        return o;
    }();
    EXPECT_TRUE(same_calls(want, outer_got)) << "outside the voxel calls";
    return {got.begin() + static_cast<long>(head), got.end() - static_cast<long>(tail)};
}

// ==== call streams ===============================================================

TEST(FrameTrace, DefaultFrameIsTheDocumentedSequence) {
    if (vt::in_traced_child()) {
        start_client();
        vt::trace_begin();
        vorlix_render(kIdentity);
        vt::trace_end();
        return;
    }
    const auto frames = split_frames(vt::trace_this_test());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(same_calls(expected_frame(FrameSetup{}), frames[0]));
}

TEST(FrameTrace, TranslationTotalsAndZoomReachOnlyTheCloud) {
    // Stored totals: (0.25, -0.5) from the translations, 1.3 from zoom; then a
    // Z step of 0.5, which is subtracted from the depth total.
    const float tz1 = 1.3f;
    const float tz2 = 1.3f - 0.5f;
    if (vt::in_traced_child()) {
        start_client();
        set_delta_translation(0.25f);
        translation_x();
        set_delta_translation(-0.5f);
        translation_y();
        zoom(tz1);
        vt::trace_begin();
        vorlix_render(kIdentity);
        mark_frame();
        set_delta_translation(0.5f);
        translation_z();
        vorlix_render(kIdentity);
        vt::trace_end();
        return;
    }
    // 1.3 is chosen so that forming 1.3 - 2.2 in float would print differently
    // (-0.9000001) from forming it in double (-0.9).
    ASSERT_NE(f(static_cast<float>(static_cast<double>(tz1) - 2.2)), f(tz1 - 2.2f));

    const auto frames = split_frames(vt::trace_this_test());
    ASSERT_EQ(frames.size(), 2u);
    FrameSetup s;
    s.trans_x = 0.25f;
    s.trans_y = -0.5f;
    s.trans_z = tz1;
    EXPECT_TRUE(same_calls(expected_frame(s), frames[0]));
    s.trans_z = tz2;
    EXPECT_TRUE(same_calls(expected_frame(s), frames[1]));
}

TEST(FrameTrace, OnlyTheValue48ShowsTheCube) {
    const int values[] = {0, 1, 49, 48};
    if (vt::in_traced_child()) {
        start_client();
        vt::trace_begin();
        for (int v : values) {
            set_cube_englobant(v);
            vorlix_render(kIdentity);
            mark_frame();
        }
        vt::trace_end();
        return;
    }
    const auto frames = split_frames(vt::trace_this_test());
    ASSERT_EQ(frames.size(), 5u); // one empty after the last mark
    for (size_t i = 0; i < 4; ++i) {
        FrameSetup s;
        s.cube = values[i] == 48;
        EXPECT_TRUE(same_calls(expected_frame(s), frames[i]))
            << "set_cube_englobant(" << values[i] << ")";
    }
}

TEST(FrameTrace, ScreenModeChoosesPointsCubesOrNothing) {
    const int modes[] = {SCREEN_MODE_POINTS, SCREEN_MODE_CUBES, 2, -1};
    if (vt::in_traced_child()) {
        start_client();
        VoxelTable table(kScene);
        set_fsize(0.05f);
        vt::trace_begin();
        for (int m : modes) {
            set_screen_mode(m);
            vorlix_render(kIdentity);
            mark_frame();
        }
        vt::trace_end();
        return;
    }
    const VoxelTable table(kScene); // only for its drawing order
    const auto frames = split_frames(vt::trace_this_test());
    ASSERT_EQ(frames.size(), 5u);

    FrameSetup s;
    s.voxels = points_block(table.in_order);
    EXPECT_TRUE(same_calls(s.voxels, voxel_calls(frames[0], s))) << "points";

    // Cube mode: one quad block per voxel, sized by fsize (0.05, so the first
    // corner of each is the centre - 0.025 in x and y, + 0.025 in z).
    const auto cubes = voxel_calls(frames[1], s);
    EXPECT_EQ(vt::calls_named(cubes, "glBegin(mode = GL_QUADS)").size(), 3u);
    EXPECT_TRUE(vt::calls_named(cubes, "glPointSize(").empty());
    const auto vertices = vt::calls_named(cubes, "glVertex3f(");
    ASSERT_EQ(vertices.size(), 3u * 24);
    for (size_t i = 0; i < 3; ++i) {
        const Voxel &v = table.in_order[i];
        const float h = 0.05f / 2;
        EXPECT_EQ(vertices[24 * i], xyz("glVertex3f", v.x - h, v.y - h, v.z + h)) << "voxel " << i;
    }

    for (size_t i = 2; i < 4; ++i)
        EXPECT_TRUE(voxel_calls(frames[i], s).empty()) << "screen mode " << modes[i];
}

TEST(FrameTrace, RotationsChangeNothing) {
    if (vt::in_traced_child()) {
        start_client();
        vt::trace_begin();
        vorlix_render(kIdentity);
        mark_frame();
        set_delta_rotation(90.0f);
        rotation_x();
        rotation_y();
        rotation_z();
        vorlix_render(kIdentity);
        vt::trace_end();
        return;
    }
    const auto frames = split_frames(vt::trace_this_test());
    ASSERT_EQ(frames.size(), 2u);
    // The rotations issue no call of their own and the next frame repeats the
    // first one exactly.
    EXPECT_TRUE(same_calls(expected_frame(FrameSetup{}), frames[0]));
    EXPECT_TRUE(same_calls(frames[0], frames[1]));
}

// ==== window coordinates (feedback) ==============================================

class FrameGeometry : public ::testing::Test {
  protected:
    void SetUp() override { start_client(); }
};

TEST_F(FrameGeometry, DefaultsPlaceCloudAndCubeAtDepth2_2AndGizmoLowerLeft) {
    const VoxelTable table(kScene);
    const Drawn d = capture_frame(kIdentity);

    ASSERT_EQ(d.cube.size(), 12u);
    // Each edge has one end at (+,+,+), (+,-,+), (-,+,-), (-,-,+), (+,+,-) or
    // (-,-,-); check all ends against the projected corners.
    for (const auto &line : d.cube)
        for (const auto &v : line.vertices) {
            bool found = false;
            for (int c = 0; c < 8 && !found; ++c) {
                const Win w =
                    to_window(c & 1 ? 0.5 : -0.5, c & 2 ? 0.5 : -0.5, (c & 4 ? 0.5 : -0.5) - 2.2);
                found = lands_at(v, w);
            }
            EXPECT_TRUE(found) << "cube vertex at (" << v.x << ", " << v.y
                               << ") is no projected corner";
        }
    // Spot check: the first edge runs along the back bottom, (-,-,-) to (+,-,-).
    EXPECT_TRUE(lands_at(d.cube[0].vertices[0], to_window(-0.5, -0.5, -2.7)));
    EXPECT_TRUE(lands_at(d.cube[0].vertices[1], to_window(0.5, -0.5, -2.7)));

    expect_points(d, table.in_order, 0, 0, -2.2);
    expect_gizmo(d, -0.8, -0.5, -2.5, 0.125, 0.125, 0.125);
    // The gizmo's origin is window (50, 125): a tenth of the width from the
    // left, a quarter of the height from the bottom.
    EXPECT_TRUE(lands_at(d.gizmo[2].vertices[0], {50, 125}));
}

TEST_F(FrameGeometry, TranslationTotalsAndZoomMoveTheCloudNotTheGizmo) {
    const VoxelTable table(kScene);
    set_delta_translation(0.2f);
    translation_x();
    set_delta_translation(-0.1f);
    translation_y();
    set_delta_translation(0.5f);
    translation_z(); // subtracts: depth total -0.5
    Drawn d = capture_frame(kIdentity);
    expect_points(d, table.in_order, 0.2, -0.1, -0.5 - 2.2);
    ASSERT_EQ(d.cube.size(), 12u);
    EXPECT_TRUE(lands_at(d.cube[0].vertices[0], to_window(0.2 - 0.5, -0.1 - 0.5, -2.7 - 0.5)));
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
    const VoxelTable table({{{-0.4f, 0.1f, 0.0f, 1, 1, 0}, {-0.3f, -0.2f, 0.2f, 0, 1, 1}}});
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
    EXPECT_TRUE(lands_at(d.gizmo[2].vertices[0], {300, 125}));

    // A 90 degree turn about z (column 0 is the image of x: (0, 1, 0)): the
    // gizmo's X axis now points up, its Y axis left.
    float turn[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    d = capture_frame(turn);
    ASSERT_EQ(d.gizmo.size(), 5u);
    EXPECT_TRUE(lands_at(d.gizmo[2].vertices[1], to_window(-0.8, -0.5 + 0.125, -2.5)));
    EXPECT_TRUE(lands_at(d.gizmo[3].vertices[1], to_window(-0.8 - 0.125, -0.5, -2.5)));
    EXPECT_TRUE(lands_at(d.points[0].vertices[0], to_window(-0.1, -0.4, -2.2)));

    // Nothing of an earlier matrix survives into the next frame.
    std::fill(std::begin(turn), std::end(turn), 0.0f);
    d = capture_frame(kIdentity);
    expect_points(d, table.in_order, 0, 0, -2.2);
    expect_gizmo(d, -0.8, -0.5, -2.5, 0.125, 0.125, 0.125);
}

TEST_F(FrameGeometry, ScaleXStretchesCloudAndGizmoBeforeTheCallerMatrix) {
    const VoxelTable table(kScene);
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
    EXPECT_TRUE(lands_at(d.gizmo[2].vertices[1], to_window(-0.8, -0.5 + 0.25, -2.5)));
    EXPECT_TRUE(lands_at(d.gizmo[3].vertices[1], to_window(-0.8 - 0.125, -0.5, -2.5)));
}

// ==== what the window shows =======================================================

class FramePixels : public ::testing::Test {
  protected:
    void SetUp() override { start_client(); }
};

TEST_F(FramePixels, DefaultFrameShowsCubeVoxelsAndGizmoOnBlack) {
    const VoxelTable table(kScene);
    vorlix_render(kIdentity);
    const Shot s = Shot::grab();
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
    const VoxelTable table(kScene);
    for (int mode : {2, -1}) {
        set_screen_mode(mode);
        vorlix_render(kIdentity);
        const Shot s = Shot::grab();
        SCOPED_TRACE("screen mode " + std::to_string(mode));
        expect_voxels_shown(s, false);
        expect_cube_shown(s, true);
        expect_gizmo_shown(s);
    }
    set_screen_mode(SCREEN_MODE_POINTS);

    set_cube_englobant(0);
    vorlix_render(kIdentity);
    Shot s = Shot::grab();
    {
        SCOPED_TRACE("cube off");
        expect_cube_shown(s, false);
        expect_voxels_shown(s, true);
        expect_gizmo_shown(s);
    }
    set_cube_englobant(48);
    vorlix_render(kIdentity);
    s = Shot::grab();
    SCOPED_TRACE("cube back on");
    expect_cube_shown(s, true);
}

TEST_F(FramePixels, RotationsLeaveThePictureUnchanged) {
    const VoxelTable table(kScene);
    vorlix_render(kIdentity);
    const Shot before = Shot::grab();
    set_delta_rotation(90.0f);
    rotation_x();
    rotation_y();
    rotation_z();
    vorlix_render(kIdentity);
    const Shot after = Shot::grab();
    EXPECT_TRUE(before == after);
    // Not a blank picture that would match anything.
    expect_voxels_shown(after, true);
}

} // namespace
