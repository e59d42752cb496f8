// vorlix-view run as a user runs it: bad input and its messages, headless
// screenshots of real model files, points landing on the pixels that the fit
// and the library's projection put them on, the orbit, and a live window
// driven with xdotool. Needs a display (ctest runs under Xvfb).
#include "viewer_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using vt::exists;
using vt::finish;
using vt::Outcome;
using vt::run;
using vt::Scratch;
using vt::spawn;

void write_file(const std::string &path, const std::string &content) {
    std::ofstream(path, std::ios::binary) << content;
}

struct Point {
    float x, y, z;
    unsigned char r, g, b;
};

// How ply() lays a file out: binary little-endian or ascii; the colours
// named red/green/blue or with a prefix (diffuse_red...); a camera element
// (a far-away position, in no way a point) before the vertices or not.
struct PlyLayout {
    bool ascii = false;
    std::string colour_prefix;
    bool camera_first = false;
};

// PLY with float positions and byte colours.
std::string ply(const std::vector<Point> &points, const PlyLayout &layout = {}) {
    const std::string &c = layout.colour_prefix;
    std::string s =
        std::string("ply\nformat ") + (layout.ascii ? "ascii" : "binary_little_endian") + " 1.0\n";
    if (layout.camera_first)
        s += "element camera 1\nproperty float view_px\nproperty float view_py\n"
             "property float view_pz\n";
    s += "element vertex " + std::to_string(points.size()) +
         "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar " + c +
         "red\nproperty uchar " + c + "green\nproperty uchar " + c + "blue\nend_header\n";
    const float camera[3] = {1000, -1000, 500};
    if (layout.camera_first && layout.ascii)
        s += "1000 -1000 500\n";
    else if (layout.camera_first)
        s.append(reinterpret_cast<const char *>(camera), sizeof camera);
    for (const Point &p : points) {
        if (layout.ascii) {
            s += std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) + " " +
                 std::to_string(p.r) + " " + std::to_string(p.g) + " " + std::to_string(p.b) + "\n";
            continue;
        }
        s.append(reinterpret_cast<const char *>(&p.x), 12);
        s.append(reinterpret_cast<const char *>(&p.r), 3);
    }
    return s;
}

using vt::colour_near;
using vt::pixel_of;

// ------------------------------------------------------------ bad input ----

TEST(ViewerCli, BadInputGetsAMessageNamingTheFileAndAFailureStatus) {
    const Scratch scratch;
    const std::string &d = scratch.path;
    write_file(d + "empty.ply", "");
    write_file(d + "notes.txt", "just some words, not a model at all\n");
    write_file(d + "nothing.obj", "# an OBJ file with a comment and nothing else\no empty\n");
    write_file(d + "bad.xyz", "1 2 3\n4 5 6\n7 x 9\n");
    write_file(d + "mixed.xyz", "1 2 3 255 0 0\n4 5 6\n");
    write_file(d + "nan.xyz", "nan 0 0\n0 inf 0\n");
    write_file(d + "comments.xyz", "# x y z\n\n");
    const std::string models = VIEWER_MODELS;
    struct Case {
        std::string file;
        std::string message; // what stderr says after "vorlix-view: FILE: "
    };
    const std::vector<Case> cases = {
        {d + "missing.ply", "no such file"},
        {d, "is a directory"},
        {d + "empty.ply", "empty file"},
        {d + "notes.txt", "unknown format (no importer reads this kind of file)"},
        {d + "nothing.obj", "no vertices"},
        {d + "bad.xyz", "line 3: 'x' is not a number"},
        {d + "mixed.xyz", "line 2: 3 numbers, but line 1 had 6"},
        {d + "nan.xyz", "no points with finite coordinates (2 skipped: NaN or infinite)"},
        {d + "comments.xyz", "no points"},
        {models + "/invalid/malformed.obj", "cannot be loaded: OBJ: Invalid face index."},
        // Header counts far beyond the file: refused before the importer
        // tries to allocate for them.
        {models + "/invalid/OutOfMemory.off",
         "truncated: the header declares 353535235358 vertices, the file ends after 14"},
    };
    for (const Case &c : cases) {
        const std::string out = d + "out.png";
        const Outcome r = run({c.file, "--screenshot", out}, d);
        EXPECT_EQ(r.status, 1) << c.file << "\n" << r.err;
        EXPECT_EQ(r.err, "vorlix-view: " + c.file + ": " + c.message + "\n");
        EXPECT_FALSE(exists(out)) << "no picture for bad input: " << c.file;
        EXPECT_FALSE(exists(out + ".tmp"));
    }
}

TEST(ViewerCli, UnreadableFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const Scratch scratch;
    const std::string &d = scratch.path;
    write_file(d + "locked.xyz", "1 2 3\n");
    chmod((d + "locked.xyz").c_str(), 0);
    const Outcome r = run({d + "locked.xyz", "--screenshot", d + "out.png"}, d);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vorlix-view: " + d + "locked.xyz: cannot be read (Permission denied)\n");
}

TEST(ViewerCli, UsageErrorsAndHelp) {
    const Scratch scratch;
    const std::string &d = scratch.path;
    const Outcome none = run({}, d);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err.rfind("vorlix-view: no file given\nusage: vorlix-view FILE", 0), 0u)
        << none.err;
    const Outcome size = run({"x.ply", "--size", "big"}, d);
    EXPECT_EQ(size.status, 2);
    EXPECT_NE(size.err.find("--size 'big': expected WxH"), std::string::npos) << size.err;

    const Outcome help = run({"--help"}, d);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("usage: vorlix-view FILE", 0), 0u);
    EXPECT_NE(help.out.find("\nKeys:\n"), std::string::npos) << "the usage page ends with the keys";
}

TEST(ViewerCli, NonFinitePointsAreSkippedWithAWarningAndTheRestDrawn) {
    const Scratch scratch;
    const std::string &d = scratch.path;
    write_file(d + "some.xyz", "-1 -1 0 255 0 0\nnan 0 0 0 0 0\n1 1 0 0 255 0\n0 0 inf 0 0 0\n");
    const Outcome r = run({d + "some.xyz", "--screenshot", d + "out.png", "--size", "300x300"}, d);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "vorlix-view: " + d +
                         "some.xyz: skipped 2 points with NaN or infinite coordinates\n");
    const vt::Image img = vt::Image::png(d + "out.png");
    EXPECT_TRUE(colour_near(img, pixel_of(-0.5, -0.5, 0, 300, 300), vt::kRed));
    EXPECT_TRUE(colour_near(img, pixel_of(0.5, 0.5, 0, 300, 300), vt::kGreen));
}

TEST(ViewerCli, UnwritableScreenshotFails) {
    const Scratch scratch;
    const std::string &d = scratch.path;
    write_file(d + "a.xyz", "0 0 0\n1 1 1\n");
    const std::string out = d + "missing_dir/out.png";
    const Outcome r = run({d + "a.xyz", "--screenshot", out}, d);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vorlix-view: " + out + ": cannot be written (No such file or directory)\n");
}

// ----------------------------------------------------------- screenshots ----

// How a model fills the 320 x 240 picture at yaw 30, pitch 20: its drawn
// pixels' box as shares of the width and height (from the pictures the fit
// gives, give or take kShareTolerance), its centre within kOffCentre of
// the picture's (shares of each side).
struct Framing {
    const char *file;
    double width, height;
};
constexpr double kShareTolerance = 0.06, kOffCentre = 0.06;

void PrintTo(const Framing &f, std::ostream *os) {
    *os << f.file;
}

class ViewerScreens : public ::testing::TestWithParam<Framing> {};

// A model from the test-model package drawn headless: the picture has the
// asked size, leaves a black margin all round, and the fit framed the
// model: centred, the tabulated share of each side, the longest side of the
// cube at least a fifth of the height (without the overlay, whose legend
// would count as drawn).
TEST_P(ViewerScreens, ModelIsDrawnAndFramed) {
    const Framing &want = GetParam();
    const std::string model = std::string(VIEWER_MODELS "/") + want.file;
    if (!exists(model))
        GTEST_SKIP() << model << " missing: install assimp-testmodels (bash .ci/test does)";
    const Scratch scratch;
    const std::string &d = scratch.path;
    // From 2.6, where the whole turned bounding cube stays in the frame: the
    // fit is checked here, the first view's distance in viewer_style.cpp.
    const Outcome r =
        run({model, "--screenshot", d + "shot.png", "--size", "320x240", "--yaw", "30", "--pitch",
             "20", "--zoom", std::to_string(2.05 / 2.6), "--no-overlay"},
            d);
    ASSERT_EQ(r.status, 0) << r.err;
    const vt::Image img = vt::Image::png(d + "shot.png");
    const int w = img.width(), h = img.height();
    ASSERT_EQ(w, 320);
    ASSERT_EQ(h, 240);
    const vt::Extent all = img.extent(1);
    EXPECT_TRUE(all.left >= 3 && all.bottom >= 3 && all.right < w - 3 && all.top < h - 3)
        << "not framed: drawn from (" << all.left << ", " << all.bottom << ") to (" << all.right
        << ", " << all.top << ")";
    // The overlays are drawn at half intensity and the axes gizmo sits in
    // the lower left half; bright pixels elsewhere are voxels.
    const vt::Extent e = img.extent(160, {0, 0, w * 3 / 10 - 1, h / 2 - 1});
    EXPECT_GT(e.pixels, 50);
    const double wide = double(e.right - e.left + 1) / w, high = double(e.top - e.bottom + 1) / h;
    EXPECT_GT(std::max(e.right - e.left, e.top - e.bottom), h / 5);
    EXPECT_NEAR(wide, want.width, kShareTolerance) << "share of the width";
    EXPECT_NEAR(high, want.height, kShareTolerance) << "share of the height";
    EXPECT_NEAR((e.left + e.right + 1) / 2.0 / w, 0.5, kOffCentre) << "centre across";
    EXPECT_NEAR((e.bottom + e.top + 1) / 2.0 / h, 0.5, kOffCentre) << "centre up";
}

INSTANTIATE_TEST_SUITE_P(Files, ViewerScreens,
                         ::testing::Values(Framing{"PLY/Wuson.ply", 0.22, 0.28},
                                           Framing{"Collada/duck.dae", 0.33, 0.50},
                                           Framing{"OBJ/spider.obj", 0.33, 0.33},
                                           Framing{"OFF/Wuson.off", 0.22, 0.28},
                                           Framing{"STL/Spider_binary.stl", 0.32, 0.48}));

// Corners of a 20 x 10 rectangle far from the origin: the fit centres it
// and scales the long side to 1, so the corners go to (+-0.5, +-0.25, 0).
const std::vector<Point> kRectangle = {{100, 50, 7, 255, 0, 0},
                                       {120, 50, 7, 0, 255, 0},
                                       {100, 60, 7, 0, 0, 255},
                                       {120, 60, 7, 255, 255, 0}};

// kRectangle drawn at 400 x 300 (not square, so that the aspect ratio is in
// play): each corner in its colour where the fit and projection put it.
void expect_rectangle(const std::string &file, const std::string &dir) {
    const Outcome r = run({file, "--screenshot", dir + "shot.png", "--size", "400x300"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const vt::Image img = vt::Image::png(dir + "shot.png");
    EXPECT_TRUE(colour_near(img, pixel_of(-0.5, -0.25, 0, 400, 300), vt::kRed));
    EXPECT_TRUE(colour_near(img, pixel_of(0.5, -0.25, 0, 400, 300), vt::kGreen));
    EXPECT_TRUE(colour_near(img, pixel_of(-0.5, 0.25, 0, 400, 300), vt::kBlue));
    EXPECT_TRUE(colour_near(img, pixel_of(0.5, 0.25, 0, 400, 300), vt::kYellow));
    // Mirrored places stay dark: the picture is neither flipped nor turned.
    EXPECT_FALSE(colour_near(img, pixel_of(-0.5, 0.25, 0, 400, 300), vt::kRed));
    EXPECT_FALSE(colour_near(img, pixel_of(0.5, -0.25, 0, 400, 300), vt::kRed));
}

TEST(ViewerPixels, ColouredPointsLandWhereTheFitAndProjectionPutThem) {
    const Scratch scratch;
    write_file(scratch.path + "rect.ply", ply(kRectangle));
    expect_rectangle(scratch.path + "rect.ply", scratch.path);
}

// --color-by replaces the file's colours: by height, the bottom corners
// blue and the top ones red; by a field, through the colour map. A name the
// file has no field for is refused.
TEST(ViewerPixels, ColourByHeightOrFieldOrRefuseAnUnknownName) {
    const Scratch scratch;
    const std::string &d = scratch.path;
    write_file(d + "rect.ply", ply(kRectangle));
    const Outcome r = run({d + "rect.ply", "--color-by", "height", "--screenshot", d + "shot.png",
                           "--size", "400x300"},
                          d);
    ASSERT_EQ(r.status, 0) << r.err;
    const vt::Image img = vt::Image::png(d + "shot.png");
    EXPECT_TRUE(colour_near(img, pixel_of(-0.5, -0.25, 0, 400, 300), vt::kBlue));
    EXPECT_TRUE(colour_near(img, pixel_of(0.5, -0.25, 0, 400, 300), vt::kBlue));
    EXPECT_TRUE(colour_near(img, pixel_of(-0.5, 0.25, 0, 400, 300), vt::kRed));

    // A scalar property through the map: its lowest value dark violet, its
    // highest yellow (viridis' ends, as the map's fit gives them).
    write_file(d + "field.ply", "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\n"
                                "property float y\nproperty float z\nproperty float intensity\n"
                                "end_header\n0 0 0 7\n10 0 0 -3\n");
    const Outcome field = run({d + "field.ply", "--color-by", "intensity", "--screenshot",
                               d + "field.png", "--size", "400x300"},
                              d);
    ASSERT_EQ(field.status, 0) << field.err;
    const vt::Image by_field = vt::Image::png(d + "field.png");
    EXPECT_TRUE(colour_near(by_field, pixel_of(-0.5, 0, 0, 400, 300), vt::Rgb{252, 231, 33}));
    EXPECT_TRUE(colour_near(by_field, pixel_of(0.5, 0, 0, 400, 300), vt::Rgb{71, 1, 85}));

    const Outcome bad =
        run({d + "rect.ply", "--color-by", "nope", "--screenshot", d + "bad.png"}, d);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err,
              "vorlix-view: " + d + "rect.ply: no quantity 'nope' to colour by (height, file)\n");
    EXPECT_FALSE(exists(d + "bad.png"));
}

// A PCD file of the points, as PCL writes one: binary records of float x, y,
// z and the colour packed as 0x00RRGGBB into the bits of a float rgb.
std::string pcd(const std::vector<Point> &points) {
    std::string s = "# .PCD v0.7 - Point Cloud Data file format\nVERSION 0.7\nFIELDS x y z rgb\n"
                    "SIZE 4 4 4 4\nTYPE F F F F\nCOUNT 1 1 1 1\nWIDTH " +
                    std::to_string(points.size()) + "\nHEIGHT 1\nPOINTS " +
                    std::to_string(points.size()) + "\nDATA binary\n";
    for (const Point &p : points) {
        const std::uint32_t rgb = std::uint32_t{p.r} << 16 | std::uint32_t{p.g} << 8 | p.b;
        const float xyz[3] = {p.x, p.y, p.z};
        s.append(reinterpret_cast<const char *>(xyz), sizeof xyz);
        s.append(reinterpret_cast<const char *>(&rgb), sizeof rgb);
    }
    return s;
}

TEST(ViewerPixels, PcdPointsDrawInTheirPackedColours) {
    const Scratch scratch;
    write_file(scratch.path + "rect.pcd", pcd(kRectangle));
    expect_rectangle(scratch.path + "rect.pcd", scratch.path);
}

// The importer drew made-up points for a binary file with a camera element
// before the vertices, took the camera for a vertex in ascii (the fit
// stretched to reach it) and dropped diffuse_* colours.
TEST(ViewerPixels, ACameraBeforeTheVerticesAndDiffuseColoursDrawAsTheVertices) {
    for (const bool ascii : {true, false}) {
        SCOPED_TRACE(ascii ? "ascii" : "binary");
        const Scratch scratch;
        write_file(scratch.path + "camera.ply", ply(kRectangle, {ascii, "diffuse_", true}));
        expect_rectangle(scratch.path + "camera.ply", scratch.path);
    }
}

// Magenta at the front (0, 0, 0.5) and yellow on the right (0.5, 0, 0) after
// the fit; two grey points stretch the bounds to a cube.
const std::vector<Point> kMarkers = {{0, 0, 1, 255, 0, 255},
                                     {1, 0, 0, 255, 255, 0},
                                     {-1, -1, -1, 90, 90, 90},
                                     {1, 1, 1, 90, 90, 90}};
using vt::kMagenta;
using vt::kYellow;

TEST(ViewerPixels, OrbitByNinetyDegreesMovesPointsWhereTheRotationSays) {
    const Scratch scratch;
    const std::string &d = scratch.path;
    write_file(d + "markers.ply", ply(kMarkers));
    auto shot = [&](const char *yaw, const char *pitch) {
        const Outcome r = run({d + "markers.ply", "--screenshot", d + "shot.png", "--size",
                               "300x300", "--yaw", yaw, "--pitch", pitch},
                              d);
        EXPECT_EQ(r.status, 0) << r.err;
        return vt::Image::png(d + "shot.png");
    };
    const int s = 300;
    const vt::Image front = shot("0", "0");
    EXPECT_TRUE(colour_near(front, pixel_of(0, 0, 0.5, s, s), kMagenta));
    EXPECT_TRUE(colour_near(front, pixel_of(0.5, 0, 0, s, s), kYellow));

    // Yaw 90: the front turns to the right, the right goes to the back.
    const vt::Image yaw = shot("90", "0");
    EXPECT_TRUE(colour_near(yaw, pixel_of(0.5, 0, 0, s, s), kMagenta));
    EXPECT_TRUE(colour_near(yaw, pixel_of(0, 0, -0.5, s, s), kYellow));
    EXPECT_FALSE(colour_near(yaw, pixel_of(0, 0, 0.5, s, s), kMagenta));

    // Pitch 90: the front tips down; the right stays.
    const vt::Image pitch = shot("0", "90");
    EXPECT_TRUE(colour_near(pitch, pixel_of(0, -0.5, 0, s, s), kMagenta));
    EXPECT_TRUE(colour_near(pitch, pixel_of(0.5, 0, 0, s, s), kYellow));

    // Both: yaw first, then pitch about the screen's axis; the right-hand
    // point went to the back and comes up to the top.
    const vt::Image both = shot("90", "90");
    EXPECT_TRUE(colour_near(both, pixel_of(0.5, 0, 0, s, s), kMagenta));
    EXPECT_TRUE(colour_near(both, pixel_of(0, 0.5, 0, s, s), kYellow));
}

// ------------------------------------------------------ a live window ----

int xdo(const std::string &args) {
    return std::system(("timeout 20 xdotool " + args + " >/dev/null 2>&1").c_str());
}

bool wait_for(const std::string &path) {
    for (int i = 0; i < 200 && !exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return exists(path);
}

// CTest runs this case alone on an X server of its own: other tests draw on
// the shared display meanwhile, and a window of theirs under the pointer
// would take the keys.
TEST(ViewerInteractive, SaveDragToggleAndEscape) {
    // The window starts at --zoom 2.05/2.6: the cloud's centre 2.6 away, so
    // that the panned marker stays in the 300-pixel window.
    const auto pixel_of = [](double x, double y, double z, int w, int h) {
        return vt::eye_to_window(x, y, z - 2.6, w, h);
    };
    const Scratch scratch;
    const std::string &d = scratch.path;
    write_file(d + "markers.ply", ply(kMarkers));
    const pid_t pid =
        spawn({d + "markers.ply", "--size", "300x300", "--zoom", std::to_string(2.05 / 2.6)}, d,
              d + "out.txt", d + "err.txt");
    ASSERT_EQ(xdo("search --sync --onlyvisible --name '^vorlix-view: '"), 0) << "no window";
    // No window manager: the window sits at the screen's origin, and the
    // keyboard follows the pointer.
    xdo("mousemove 150 150 sleep 0.3 key s");
    ASSERT_TRUE(wait_for(d + "vorlix-view-1.png"));
    const vt::Image first = vt::Image::png(d + "vorlix-view-1.png");
    EXPECT_EQ(first.width(), 300);
    EXPECT_TRUE(colour_near(first, pixel_of(0, 0, 0.5, 300, 300), kMagenta));
    EXPECT_GT(first.count(vt::kGrey, 2), 100) << "bounding cube drawn";

    // 180 px to the right: a quarter turn. Then B hides the bounding cube.
    xdo("mousemove 40 150 mousedown 1 mousemove 80 150 mousemove 140 150 mousemove 190 150 "
        "mousemove 220 150 mouseup 1 sleep 0.3 key b sleep 0.3 key s");
    ASSERT_TRUE(wait_for(d + "vorlix-view-2.png"));
    const vt::Image second = vt::Image::png(d + "vorlix-view-2.png");
    EXPECT_TRUE(colour_near(second, pixel_of(0.5, 0, 0, 300, 300), kMagenta));
    EXPECT_TRUE(colour_near(second, pixel_of(0, 0, -0.5, 300, 300), kYellow));
    EXPECT_EQ(second.count(vt::kGrey, 2), 0) << "bounding cube hidden";

    // Shift-drag 60 px right and 30 px up pans: the marker follows the
    // pointer; R brings everything back, and middle-drag pans too.
    xdo("mousemove 100 150 keydown shift mousedown 1 mousemove 130 135 mousemove 160 120 "
        "mouseup 1 keyup shift sleep 0.3 key s");
    ASSERT_TRUE(wait_for(d + "vorlix-view-3.png"));
    const vt::Win at = pixel_of(0.5, 0, 0, 300, 300);
    const vt::Image panned = vt::Image::png(d + "vorlix-view-3.png");
    EXPECT_TRUE(colour_near(panned, {at.x + 60, at.y + 30}, kMagenta));
    EXPECT_TRUE(panned.black(static_cast<int>(at.x), static_cast<int>(at.y)));
    xdo("key r sleep 0.3 key s");
    ASSERT_TRUE(wait_for(d + "vorlix-view-4.png"));
    EXPECT_TRUE(colour_near(vt::Image::png(d + "vorlix-view-4.png"), pixel_of(0, 0, 0.5, 300, 300),
                            kMagenta));
    xdo("mousemove 150 150 mousedown 2 mousemove 150 160 mousemove 150 170 mouseup 2 sleep 0.3 "
        "key s");
    ASSERT_TRUE(wait_for(d + "vorlix-view-5.png"));
    EXPECT_TRUE(colour_near(vt::Image::png(d + "vorlix-view-5.png"),
                            pixel_of(0, -20 * 0.8 * 2.6 / 300, 0.5, 300, 300), kMagenta));

    // F: from the file's colours to height's, the title saying so; the
    // marker, half way up, turns green.
    ASSERT_EQ(xdo("search --name 'colour: file colours[)]$'"), 0);
    xdo("key r sleep 0.3 key f sleep 0.3 key s");
    ASSERT_TRUE(wait_for(d + "vorlix-view-6.png"));
    EXPECT_TRUE(colour_near(vt::Image::png(d + "vorlix-view-6.png"), pixel_of(0, 0, 0.5, 300, 300),
                            vt::kGreen));
    EXPECT_EQ(xdo("search --name 'colour: height[)]$'"), 0);

    xdo("key Escape");
    const Outcome r = finish(pid, d + "out.txt", d + "err.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "saved vorlix-view-1.png\nsaved vorlix-view-2.png\nsaved vorlix-view-3.png\n"
                     "saved vorlix-view-4.png\nsaved vorlix-view-5.png\nsaved vorlix-view-6.png\n");
}

// The screen as X shows it (the window sits at its origin): what the window
// last drew, unlike the S key, which draws a full frame of its own.
vt::Image screen(const std::string &path) {
    EXPECT_EQ(std::system(("timeout 20 import -window root " + path + " >/dev/null 2>&1").c_str()),
              0);
    return vt::Image::png(path);
}

// Level of detail, end to end: while a drag goes on, the window shows the
// subsample of 300 points; once the pointer rests, the full scan is back.
// Run alone on an X server of its own, like the case above.
TEST(ViewerInteractive, DragDrawsTheSubsampleAndTheStillFrameEveryPoint) {
    const Scratch scratch;
    const std::string &d = scratch.path;
    std::vector<Point> scan; // 300 x 300 red points filling the square
    for (int i = 0; i < 300 * 300; ++i)
        scan.push_back({static_cast<float>(i % 300), static_cast<float>(i / 300), 0, 255, 0, 0});
    write_file(d + "scan.ply", ply(scan));
    const pid_t pid = spawn(
        {d + "scan.ply", "--size", "300x300", "--lod", "300", "--zoom", std::to_string(2.05 / 2.6)},
        d, d + "out.txt", d + "err.txt");
    ASSERT_EQ(xdo("search --sync --onlyvisible --name '^vorlix-view: '"), 0) << "no window";

    // A drag of 3 s in 1-pixel steps, in the background; the screen is
    // grabbed three times meanwhile. A busy machine may pause the drag for
    // longer than the viewer waits, so one coarse frame out of three is
    // enough.
    std::string steps = "mousemove 60 150 mousedown 1";
    for (int x = 61; x <= 120; ++x)
        steps += " mousemove " + std::to_string(x) + " 150 sleep 0.05";
    const pid_t drag = fork();
    if (drag == 0) {
        execl("/bin/sh", "sh", "-c", ("timeout 30 xdotool " + steps + " mouseup 1").c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    int fewest = 300 * 300;
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        fewest = std::min(fewest, screen(d + "moving.png").count(vt::kRed));
    }
    int status = 0;
    waitpid(drag, &status, 0);
    EXPECT_EQ(status, 0) << "xdotool";
    EXPECT_LE(fewest, 300 * 4) << "red pixels while dragging: at most 300 points of 2x2";

    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int still = screen(d + "still.png").count(vt::kRed);
    xdo("mousemove 150 150 sleep 0.3 key s");
    ASSERT_TRUE(wait_for(d + "vorlix-view-1.png"));
    const int full = vt::Image::png(d + "vorlix-view-1.png").count(vt::kRed);
    EXPECT_GT(full, 10000) << "the saved frame has every point";
    EXPECT_GE(still, full * 95 / 100) << "red pixels of the still frame against a saved one";

    xdo("key Escape");
    const Outcome r = finish(pid, d + "out.txt", d + "err.txt");
    EXPECT_EQ(r.status, 0) << r.err;
}

} // namespace
