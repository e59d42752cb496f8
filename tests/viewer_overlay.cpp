// The overlay on vorlix-view's pictures: the legend's numbers for any range,
// the legend's bar in the colouring's map order and the type swatches in
// saved pictures and movie frames, the frame label, nothing of them under
// --no-overlay (and nothing else changed), and in a real window the overlay
// and the timeline, which seeks on a click and a drag without turning the
// view. Trajectories are lmp's own.
#include "viewer/cloud/colour.h"
#include "viewer/cloud/elements.h"
#include "viewer/output/legend.h"
#include "viewer/output/overlay.h"
#include "viewer/play/player.h"

#include "lammps_run.h"
#include "viewer_process.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

#define NEED_LMP()                                                                                 \
    if (!vt::have_lmp())                                                                           \
    GTEST_SKIP() << "lmp not found: install the Debian package lammps to run this test"

// Three atoms of types 1..3 in a 10-box, 5 frames, vx 20, 15 and 0; the
// same with each frame's time (lj: 0.005 a step) in timed.dump.
const char kThree[] =
    "units lj\natom_style atomic\nregion box block 0 10 0 10 0 10\ncreate_box 3 box\n"
    "mass * 1.0\ncreate_atoms 1 single 2 5 5\ncreate_atoms 2 single 8 5 5\n"
    "create_atoms 3 single 5 8 5\npair_style zero 1.0\npair_coeff * *\n"
    "group one id 1\ngroup two id 2\nvelocity one set 20 0 0\nvelocity two set 15 0 0\n"
    "fix 1 all nve\nthermo 10\n"
    "dump d all custom 10 three.dump id type x y z vx\ndump_modify d sort id\n"
    "dump e all custom 10 elem.dump id element x y z\ndump_modify e sort id element Cu O Xx\n"
    "dump t all custom 10 timed.dump id type x y z vx\ndump_modify t sort id time yes\n"
    "run 40\n";

constexpr int kW = 640, kH = 480;

vt::Rgb bytes(const float rgb[3]) {
    return {static_cast<int>(std::lround(rgb[0] * 255)),
            static_cast<int>(std::lround(rgb[1] * 255)),
            static_cast<int>(std::lround(rgb[2] * 255))};
}

// The picture of the arguments at kW x kH, the run checked clean.
vt::Image shot(const std::string &dir, std::vector<std::string> args) {
    args.insert(args.end(), {"--screenshot", dir + "shot.png", "--size", "640x480"});
    const vt::Outcome r = vt::run(args, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return vt::Image::png(dir + "shot.png");
}

// Every row of the legend's bar is the map at that row's height, the
// lowest value at the bottom; "" when so, else the first row that is not.
std::string bar_follows(const vt::Image &img, void (*map)(float, float[3])) {
    const vv::BarPlace bar = vv::legend_bar_place(img.width(), img.height());
    const int rows = bar.y1 - bar.y0 + 1;
    for (int i = 0; i < rows; ++i) {
        float rgb[3];
        map((static_cast<float>(i) + 0.5f) / rows, rgb);
        for (int x : {bar.x0, (bar.x0 + bar.x1) / 2, bar.x1})
            if (!img.near(x, bar.y0 + i, bytes(rgb), 0, 1))
                return "row " + std::to_string(i) + " at x " + std::to_string(x) + ": " +
                       vt::str(img.at(x, bar.y0 + i)) + ", the map has " + vt::str(bytes(rgb));
    }
    return "";
}

// Text pixels (near white) in the label's corner, the top left.
int label_pixels(const vt::Image &img) {
    return img.count({242, 242, 242}, 12, 100, img.height() - 20, 18);
}

TEST(ViewerOverlay, NumbersReadableForAnyRange) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float all_nan[3] = {nan, nan, nan};
    struct Case {
        vv::Range range;
        std::vector<std::string> want;
    };
    const std::vector<Case> cases = {
        {{-3.56f, 5.18f, false}, {"-3.56", "0.81", "5.18"}},
        {{1e-30f, 1e30f, false}, {"1e-30", "5e+29", "1e+30"}},
        {{-1e-30f, 1e-30f, false}, {"-1e-30", "0", "1e-30"}},
        // Near float's largest: the middle without overflow.
        {{-FLT_MAX, FLT_MAX, false}, {"-3.4e+38", "0", "3.4e+38"}},
        {{FLT_MAX / 2, FLT_MAX, false}, {"1.7e+38", "2.55e+38", "3.4e+38"}},
        // All equal: one number, the colour the map's middle.
        {{2.5f, 2.5f, false}, {"2.5"}},
        {{0.f, 0.f, false}, {"0"}},
        // Close values get the digits that tell them apart.
        {{1000.0f, 1000.25f, false}, {"1000", "1000.1", "1000.2"}},
        {{1.00001f, 1.00003f, false}, {"1.00001", "1.00002", "1.00003"}},
        // All NaN: no range, no number.
        {vv::range_of(all_nan, 3), {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(vv::legend_numbers(c.range), c.want) << c.range.lo << " .. " << c.range.hi;
    EXPECT_EQ(vv::format_value(nan), "nan");
    EXPECT_EQ(vv::format_value(-0.0), "0");
    EXPECT_EQ(vv::format_value(-1234567.0), "-1.23e+06");
}

// The label names the frame, its step and, where the dump gives it, the time.
TEST(ViewerOverlay, TheLabelNamesFrameStepAndTimeWhereGiven) {
    NEED_LMP();
    const vt::LmpRun run = vt::run_lmp(kThree);
    ASSERT_NE(run.dir, "") << "lmp failed";
    const struct {
        const char *file;
        std::size_t k;
        const char *label;
    } cases[] = {
        {"three.dump", 0, "frame 1/5  step 0"},
        {"three.dump", 2, "frame 3/5  step 20"},
        {"timed.dump", 0, "frame 1/5  step 0  time 0"},
        {"timed.dump", 4, "frame 5/5  step 40  time 0.2"},
    };
    for (const auto &c : cases) {
        vv::Player player;
        std::string error;
        ASSERT_TRUE(player.open_first(run.dir + "/" + c.file, false, error)) << error;
        ASSERT_TRUE(player.read(c.k, error)) << error;
        EXPECT_EQ(vv::player_overlay(player, false).label, c.label) << c.file;
    }
}

// The bar in map order for a column, with its label; the swatches of the
// types present for type; with --no-overlay neither, and the atoms alike.
TEST(ViewerOverlay, LegendAndLabelOnPicturesAndNoneWithNoOverlay) {
    NEED_LMP();
    const vt::LmpRun lmp = vt::run_lmp(kThree);
    ASSERT_FALSE(lmp.dir.empty());
    const vt::Scratch scratch;
    const std::string &d = scratch.path, dump = lmp.dir + "/three.dump";

    const vt::Image vx = shot(d, {dump, "--color-by", "vx", "--frame", "2"});
    EXPECT_EQ(bar_follows(vx, vv::colour_map), "");
    EXPECT_GT(label_pixels(vx), 40) << "frame 3/5  step 20 at the top left";
    const vt::Image bare = shot(d, {dump, "--color-by", "vx", "--frame", "2", "--no-overlay"});
    EXPECT_EQ(label_pixels(bare), 0);
    const vv::BarPlace bar = vv::legend_bar_place(kW, kH);
    EXPECT_TRUE(bare.black((bar.x0 + bar.x1) / 2, (bar.y0 + bar.y1) / 2, 8)) << "no bar";
    // Away from the legend's and the label's corners the two are the same
    // picture: the overlay leaves the atoms and the box as they were.
    int differ = 0, atoms = 0;
    for (int y = 0; y < kH - 50; ++y)
        for (int x = 0; x < bar.x0 - 80; ++x) {
            differ += vx.at(x, y) != bare.at(x, y);
            atoms += bare.at(x, y) != vt::kBlack;
        }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(atoms, 100) << "the box and the atoms are drawn";

    // Type and element colouring: a swatch per type, in type order, or per
    // element in the dump's order (an unknown symbol in the unknown grey).
    const vt::Image types = shot(d, {dump});
    const vt::Image elements = shot(d, {lmp.dir + "/elem.dump"});
    const float unknown[3] = {vv::kUnknownElementGrey, vv::kUnknownElementGrey,
                              vv::kUnknownElementGrey};
    for (int i = 0; i < 3; ++i) {
        float rgb[3], element[3];
        vv::type_colour(i + 1, rgb);
        const int y = bar.y1 - i * bar.row - 10;
        EXPECT_TRUE(types.near((bar.x0 + bar.x1) / 2, y, bytes(rgb), 2, 1)) << "type " << i + 1;
        if (i == 2)
            std::copy(unknown, unknown + 3, element);
        else
            EXPECT_TRUE(vv::element_colour(i == 0 ? "Cu" : "O", element));
        EXPECT_TRUE(elements.near((bar.x0 + bar.x1) / 2, y, bytes(element), 2, 1))
            << "element " << i + 1;
    }
    for (const vt::Image *img : {&types, &elements})
        EXPECT_TRUE(img->near((bar.x0 + bar.x1) / 2, bar.y1 - 3 * bar.row - 10, vt::kBlack, 0, 0))
            << "no fourth swatch";

    // A cloud by height: the bar is the height ramp.
    vt::spill(d + "cloud.xyz", "0 0 0\n1 1 1\n0 1 0\n1 0 1\n");
    EXPECT_EQ(bar_follows(shot(d, {d + "cloud.xyz"}), vv::height_colour), "");
    // Too small a picture for the overlay: drawn without it.
    vt::Outcome r = vt::run({dump, "--screenshot", d + "small.png", "--size", "50x50"}, d);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GT(vt::Image::png(d + "small.png").extent(40).pixels, 0) << "the atoms still drawn";
}

// Movie frames (raw, as ffmpeg is sent them: a stand-in keeps them) and
// --screenshot-dir frames carry the legend and the label.
TEST(ViewerOverlay, EveryMovieAndBatchFrameCarriesTheLegend) {
    NEED_LMP();
    const vt::LmpRun lmp = vt::run_lmp(kThree);
    ASSERT_FALSE(lmp.dir.empty());
    const vt::Scratch scratch;
    const std::string &d = scratch.path, dump = lmp.dir + "/three.dump";
    vt::Outcome r = vt::run({dump, "--color-by", "vx", "--frames", "0:", "--screenshot-dir",
                             d + "pngs", "--size", "640x480"},
                            d);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int k = 0; k < 5; ++k) {
        const vt::Image img = vt::Image::png(d + "pngs/frame_00000" + std::to_string(k) + ".png");
        EXPECT_EQ(bar_follows(img, vv::colour_map), "") << "frame " << k;
        EXPECT_GT(label_pixels(img), 40) << "frame " << k;
    }
    vt::spill(d + "ffmpeg", "#!/bin/sh\nfor a; do out=$a; done\ncat > \"$out\"\n");
    ASSERT_EQ(chmod((d + "ffmpeg").c_str(), 0755), 0);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (d + ":" + path).c_str(), 1);
    r = vt::run({dump, "--color-by", "vx", "--frames", "1:5:3", "--movie", d + "m.mp4", "--size",
                 "640x480"},
                d);
    setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string raw = vt::file_bytes(d + "m.mp4");
    ASSERT_EQ(raw.size(), 2u * kW * kH * 3) << "frames 1 and 4";
    for (int f = 0; f < 2; ++f) {
        const std::string k = f == 0 ? "1" : "4";
        // A movie's rows go top-down: each frame is its PNG upside down.
        const vt::Image png = vt::Image::png(d + "pngs/frame_00000" + k + ".png");
        int differ = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const std::size_t at =
                    ((static_cast<std::size_t>(f) * kH + (kH - 1 - y)) * kW + x) * 3;
                differ += png.at(x, y) != vt::Rgb{static_cast<unsigned char>(raw[at]),
                                                  static_cast<unsigned char>(raw[at + 1]),
                                                  static_cast<unsigned char>(raw[at + 2])};
            }
        EXPECT_EQ(differ, 0) << "movie frame " << f << " is frame " << k << "'s picture";
    }
}

int xdo(const std::string &args) {
    return std::system(("timeout 20 xdotool " + args + " >/dev/null 2>&1").c_str());
}

int titled(const std::string &pattern) {
    return xdo("search --sync --name '" + pattern + "'");
}

// The window, as X shows it (import -window), once its first frame is up:
// the window is mapped, and titled, before that frame is drawn.
vt::Image window_picture(const std::string &d) {
    const std::string png = d + "window.png";
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(std::system(("wid=$(xdotool search --name 'vorlix-view') && import -window "
                               "\"$wid\" " +
                               png + " >/dev/null 2>&1")
                                  .c_str()),
                  0);
        const vt::Image img = vt::Image::png(png);
        if (img.extent(40).pixels > 0)
            return img;
        xdo("sleep 0.1");
    }
    ADD_FAILURE() << "the window stayed black";
    return vt::Image::png(png);
}

// In a real window: the legend and label are on screen, a click on the
// timeline seeks, a drag along it seeks to where it ends, and neither turns
// the view (the S key's picture then equals the headless one of that frame).
// CTest runs this alone on an X server of its own.
TEST(ViewerOverlayInteractive, WindowShowsTheOverlayAndTheTimelineSeeks) {
    NEED_LMP();
    const vt::LmpRun lmp = vt::run_lmp(kThree);
    ASSERT_FALSE(lmp.dir.empty());
    const vt::Scratch scratch;
    const std::string &d = scratch.path, dump = lmp.dir + "/three.dump";
    const pid_t pid =
        vt::spawn({dump, "--size", "640x480", "--color-by", "vx"}, d, d + "out.txt", d + "err.txt");
    ASSERT_EQ(titled("frame 1/5, step 0,"), 0) << "no window";
    const vt::Image shown = window_picture(d);
    EXPECT_EQ(bar_follows(shown, vv::colour_map), "");
    EXPECT_GT(label_pixels(shown), 40);
    // The timeline's bar, 6..17 rows up: its handle at the first frame.
    EXPECT_TRUE(shown.near(kW / 2, 11, {77, 77, 77}, 0, 2)) << "the timeline's track";

    const int row = kH - 1 - 11; // X counts rows from the top
    xdo("mousemove --sync 488 " + std::to_string(row) + " click 1");
    EXPECT_EQ(titled("frame 4/5, step 30,"), 0) << "a click three quarters along: frame 4";
    xdo("mousemove --sync 100 " + std::to_string(row) + " mousedown 1 mousemove --sync 300 " +
        std::to_string(row) + " mousemove --sync 700 " + std::to_string(row - 200) + " mouseup 1");
    EXPECT_EQ(titled("frame 5/5, step 40,"), 0) << "a drag past the end: the last frame";
    xdo("key s");
    const std::string saved = d + "vorlix-view-1.png";
    for (int i = 0; i < 200 && !vt::exists(saved); ++i)
        xdo("sleep 0.05");
    const vt::Image by_keys = vt::Image::png(saved);
    const vt::Image headless = shot(d, {dump, "--color-by", "vx", "--frame", "4"});
    EXPECT_TRUE(by_keys == headless)
        << "the view did not turn, no timeline is in the picture, and the window's overlays left "
           "the library's state as it was";
    // Shrunk to 50x50 the window still draws its atoms, without overlays.
    xdo("search --name vorlix-view windowsize --sync %@ 50 50");
    xdo("sleep 0.5");
    const vt::Image small = window_picture(d);
    EXPECT_EQ(small.width(), 50);
    EXPECT_GT(small.extent(40).pixels, 0);
    xdo("mousemove --sync 25 25 key Escape"); // keys go where the pointer is
    const vt::Outcome r = vt::finish(pid, d + "out.txt", d + "err.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

} // namespace
