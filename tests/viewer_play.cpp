// vorlix-view playing LAMMPS trajectories that lmp writes here: the frames
// and atoms LAMMPS counted, the node table following a changing atom count,
// atoms on the pixels the box fit and the projection give them, colours by
// type and by a column over the run's range or the frame's, scaled,
// unscaled and gzipped dumps drawn alike, and bad dumps refused.
#include "viewer/cloud/colour.h"
#include "viewer/cloud/elements.h"
#include "viewer/play/box_fit.h"
#include "viewer/play/player.h"

#include "lammps_run.h"
#include "viewer_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

#define NEED_LMP()                                                                                 \
    if (!vt::have_lmp())                                                                           \
    GTEST_SKIP() << "lmp not found: install the Debian package lammps to run this test"

using vt::colour_near;
using vt::pixel_of;

// Three atoms in a 10-box that nothing pushes (pair zero): atom 1 of type
// 1 from (2,5,5) at vx 20, atom 2 of type 2 from (8,5,5) at vx 15, atom 3
// of type 3 still at (5,8,5); dt 0.005, a frame every 10 steps, 5 frames.
// v_t = id * step; elements Cu, O, C by type. Unwrapped coordinates, so atom 2 leaves the box at
// the end; written unscaled, scaled and gzipped.
const char kThree[] =
    "units lj\natom_style atomic\nregion box block 0 10 0 10 0 10\ncreate_box 3 box\n"
    "mass * 1.0\ncreate_atoms 1 single 2 5 5\ncreate_atoms 2 single 8 5 5\n"
    "create_atoms 3 single 5 8 5\npair_style zero 1.0\npair_coeff * *\n"
    "group one id 1\ngroup two id 2\nvelocity one set 20 0 0\nvelocity two set 15 0 0\n"
    "fix 1 all nve\nthermo_style custom step atoms\nthermo 10\nvariable t atom id*step\n"
    "dump real all custom 10 real.dump id type xu yu zu vx v_t\n"
    "dump_modify real sort id format float %.12g\n"
    "dump scaled all custom 10 scaled.dump id type xsu ysu zsu vx v_t\n"
    "dump_modify scaled sort id format float %.12g\n"
    "dump gz all custom/gz 10 real.dump.gz id type xu yu zu vx v_t\n"
    "dump_modify gz sort id format float %.12g\n"
    "dump elem all custom 10 elem.dump id element xu yu zu\n"
    "dump_modify elem sort id element Cu O C\n"
    "run 40\n";

// Where the atoms of kThree sit in the cube: the box 0..10 centred, / 10.
struct Atom {
    double x, y, z;
};
const Atom kFirst[3] = {{-0.3, 0, 0}, {0.3, 0, 0}, {0, 0.3, 0}};
const Atom kLast[3] = {{0.1, 0, 0}, {0.6, 0, 0}, {0, 0.3, 0}}; // atom 2 beyond the box

// kThree as lmp ran it (dir, empty if the run failed), and a scratch folder
// for what the viewer writes (d). Tests skip first without lmp (NEED_LMP).
struct ThreeAtoms {
    const vt::LmpRun lmp = vt::run_lmp(kThree);
    const vt::Scratch scratch;
    const std::string &dir = lmp.dir, &d = scratch.path;
};

vt::Rgb bytes(const float rgb[3]) {
    return {static_cast<int>(std::lround(rgb[0] * 255)),
            static_cast<int>(std::lround(rgb[1] * 255)),
            static_cast<int>(std::lround(rgb[2] * 255))};
}
vt::Rgb of_type(int t) {
    float rgb[3];
    vv::type_colour(t, rgb);
    return bytes(rgb);
}
vt::Rgb of_element(const char *symbol) {
    float rgb[3] = {0, 0, 0};
    EXPECT_TRUE(vv::element_colour(symbol, rgb)) << symbol;
    return bytes(rgb);
}
vt::Rgb mapped(float t) {
    float rgb[3];
    vv::colour_map(t, rgb);
    return bytes(rgb);
}

constexpr int kSize = 300;

// A headless picture of FILE with the extra arguments; the outcome checked
// clean, the picture read back.
vt::Image shot(const std::string &dir, const std::string &file,
               const std::vector<std::string> &extra) {
    // Points, unshaded: these pictures check where atoms land and the
    // colours they take (tests/viewer_style.cpp draws the spheres).
    std::vector<std::string> args = {file,      "--screenshot", dir + "shot.png", "--size",
                                     "300x300", "--style",      "points"};
    args.insert(args.end(), extra.begin(), extra.end());
    const vt::Outcome r = vt::run(args, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return vt::Image::png(dir + "shot.png");
}

// ------------------------------------------------------------ pictures ----

TEST(ViewerPlay, AtomsLandWhereTheBoxFitPutsThemInEveryColouring) {
    NEED_LMP();
    const ThreeAtoms three;
    ASSERT_FALSE(three.dir.empty());
    const std::string &d = three.d;
    struct Case {
        std::vector<std::string> args;
        const Atom *at;
        vt::Rgb colour[3];
        std::string file = "real.dump";
    };
    const std::vector<Case> cases = {
        {{}, kFirst, {of_type(1), of_type(2), of_type(3)}},
        {{"--frame", "4"}, kLast, {of_type(1), of_type(2), of_type(3)}},
        {{"--frame", "4", "--color-by", "vx"}, kLast, {mapped(1), mapped(0.75f), mapped(0)}},
        {{"--frame", "4", "--color-by", "v_t"},
         kLast,
         {mapped(1 / 3.f), mapped(2 / 3.f), mapped(1)}},
        {{"--frame", "4", "--color-by", "v_t", "--range", "frame"},
         kLast,
         {mapped(0), mapped(0.5f), mapped(1)}},
        {{"--color-by", "type", "--frame", "0"}, kFirst, {of_type(1), of_type(2), of_type(3)}},
        {{"--frame", "4"},
         kLast,
         {of_element("Cu"), of_element("O"), of_element("C")},
         "elem.dump"},
    };
    for (const Case &c : cases) {
        std::string name = c.file + " ";
        for (const std::string &a : c.args)
            name += a + " ";
        const vt::Image img = shot(d, three.dir + "/" + c.file, c.args);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(colour_near(img, pixel_of(c.at[i].x, c.at[i].y, c.at[i].z, kSize, kSize),
                                    c.colour[i]))
                << name << "atom " << i + 1;
        // The other frame's places are empty: atoms 1 and 2 moved.
        const Atom *other = c.at == kFirst ? kLast : kFirst;
        for (int i = 0; i < 2; ++i) {
            const vt::Win w = pixel_of(other[i].x, other[i].y, other[i].z, kSize, kSize);
            EXPECT_TRUE(img.black(static_cast<int>(w.x), static_cast<int>(w.y)))
                << name << "atom " << i + 1 << " gone from the other frame's place";
        }
    }
    EXPECT_NE(of_type(1), of_type(2));
    EXPECT_NE(of_type(2), of_type(3));
    EXPECT_EQ(of_element("O"), (vt::Rgb{255, 13, 13})) << "oxygen red, as Jmol has it";
}

TEST(ViewerPlay, ScaledUnscaledAndGzippedDumpsDrawTheSameBytes) {
    NEED_LMP();
    const ThreeAtoms three;
    ASSERT_FALSE(three.dir.empty());
    const std::string &d = three.d;
    for (const char *frame : {"0", "4"}) {
        std::vector<std::string> pngs;
        for (const char *file : {"real.dump", "scaled.dump", "real.dump.gz"}) {
            shot(d, three.dir + "/" + file, {"--frame", frame, "--color-by", "v_t"});
            pngs.push_back(vt::file_bytes(d + "shot.png"));
        }
        EXPECT_FALSE(pngs[0].empty());
        EXPECT_EQ(pngs[0], pngs[1]) << "frame " << frame << ": scaled";
        EXPECT_EQ(pngs[0], pngs[2]) << "frame " << frame << ": gzip";
    }
}

// Frames into numbered PNGs, and into a movie through a stand-in for ffmpeg
// (the real one is not in the test's dependencies) that keeps the raw
// frames it is sent and exits as told.
TEST(ViewerPlay, FramesIntoPngsOrAMovieWithNothingLeftOnFailure) {
    NEED_LMP();
    const ThreeAtoms three;
    ASSERT_FALSE(three.dir.empty());
    const std::string &d = three.d, dump = three.dir + "/real.dump";
    const std::vector<std::string> size = {"--size", "300x300"};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), size.begin(), size.end());
        args.insert(args.begin(), {dump, "--style", "points"}); // as shot() draws
        return vt::run(args, d);
    };
    vt::Outcome r = with({"--frames", "1:5:2", "--screenshot-dir", d + "pngs"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::system(("test \"$(ls " + d +
                           "pngs)\" = \"$(printf "
                           "'frame_000001.png\\nframe_000003.png')\"")
                              .c_str()),
              0)
        << "frames 1 and 3, nothing else";
    std::vector<vt::Image> single;
    for (const char *k : {"0", "1", "3", "4"}) {
        shot(d, dump, {"--frame", k});
        single.push_back(vt::Image::png(d + "shot.png"));
    }
    EXPECT_TRUE(vt::Image::png(d + "pngs/frame_000001.png") == single[1]);
    EXPECT_TRUE(vt::Image::png(d + "pngs/frame_000003.png") == single[2]);

    vt::spill(d + "ffmpeg", "#!/bin/sh\nfor a; do out=$a; done\necho \"$@\" > " + d +
                                "args.txt\n[ -z \"$FAKE_EARLY\" ] || exit $FAKE_EARLY\n"
                                "cat > \"$out\"\nexit ${FAKE_STATUS:-0}\n");
    ASSERT_EQ(chmod((d + "ffmpeg").c_str(), 0755), 0);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (d + ":" + path).c_str(), 1);
    r = with({"--frames", "0::4", "--movie", d + "movie.mp4"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string raw = vt::file_bytes(d + "movie.mp4");
    const std::string args = vt::file_bytes(d + "args.txt");
    EXPECT_NE(args.find("-f rawvideo -pix_fmt rgb24 -s 300x300 -r 30 -i -"), std::string::npos)
        << args;
    EXPECT_NE(args.find(d + "movie.part.mp4"), std::string::npos) << args;
    ASSERT_EQ(raw.size(), 2u * kSize * kSize * 3) << "frames 0 and 4";
    int differ = 0;
    for (int f = 0; f < 2; ++f) {
        const vt::Image &want = single[f == 0 ? 0 : 3];
        // Rows top-down, as a movie has them.
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const std::size_t at = ((f * kSize + (kSize - 1 - y)) * kSize + x) * 3;
                const vt::Rgb got = {static_cast<unsigned char>(raw[at]),
                                     static_cast<unsigned char>(raw[at + 1]),
                                     static_cast<unsigned char>(raw[at + 2])};
                differ += got != want.at(x, y);
            }
    }
    EXPECT_EQ(differ, 0) << "the movie's frames are the screenshots";
    EXPECT_FALSE(vt::exists(d + "movie.part.mp4"));

    struct Case {
        std::vector<std::string> args;
        std::string env, err; // err after "vorlix-view: D"
    };
    const std::vector<Case> cases = {
        {{"--frames", "0:2", "--movie", d + "bad.mp4"},
         "FAKE_STATUS=3",
         "bad.mp4: ffmpeg failed (status 3)"},
        // Gone before reading (as on an output name it has no format for):
        // its status, not the broken pipe, is the news.
        {{"--frames", "0:2", "--movie", d + "bad.mp4"},
         "FAKE_EARLY=4",
         "bad.mp4: ffmpeg failed (status 4)"},
        {{"--frames", "0:2", "--movie", d + "bad.mp4", "--size", "301x300"},
         "",
         "bad.mp4: cannot be made: a movie needs an even width and height (--size)"},
        {{"--frames", "0:2", "--movie", d + "bad.mp4"},
         "PATH=/nonexistent",
         "bad.mp4: cannot be made: --movie needs ffmpeg on PATH (Debian package ffmpeg)"},
    };
    for (const Case &c : cases) {
        if (!c.env.empty())
            putenv(const_cast<char *>(c.env.c_str()));
        r = with(c.args);
        unsetenv("FAKE_STATUS");
        unsetenv("FAKE_EARLY");
        setenv("PATH", (d + ":" + path).c_str(), 1);
        EXPECT_EQ(r.status, 1) << c.err;
        EXPECT_EQ(r.err, "vorlix-view: " + d + c.err + "\n");
        EXPECT_FALSE(vt::exists(d + "bad.mp4")) << c.err;
        EXPECT_FALSE(vt::exists(d + "bad.part.mp4")) << c.err;
    }
    setenv("PATH", path.c_str(), 1);
}

// Every frame into PNGs, read ahead on every core: with no pass before the
// pictures (colours by type, the fit from the index) and with one (a
// column's range over the run), each the picture --frame draws alone.
TEST(ViewerPlay, BatchesOverEveryFrameAreTheFramesDrawnAlone) {
    NEED_LMP();
    const ThreeAtoms three;
    ASSERT_FALSE(three.dir.empty());
    const std::string &d = three.d, dump = three.dir + "/real.dump";
    for (const std::vector<std::string> &colour : {std::vector<std::string>{},
                                                   {"--color-by", "v_t"},
                                                   {"--color-by", "vx", "--range", "frame"}}) {
        const std::string dir = d + "all" + std::to_string(colour.size());
        // Spheres: their default radius is the run's first frame's, however
        // a frame is asked for.
        std::vector<std::string> args = {dump,     "--frames", "0:",      "--screenshot-dir", dir,
                                         "--size", "300x300",  "--style", "spheres"};
        args.insert(args.end(), colour.begin(), colour.end());
        const vt::Outcome r = vt::run(args, d);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        for (int k = 0; k < 5; ++k) {
            std::vector<std::string> alone = {"--frame", std::to_string(k), "--style", "spheres"};
            alone.insert(alone.end(), colour.begin(), colour.end());
            shot(d, dump, alone);
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%06d.png", k);
            const std::string want = vt::file_bytes(d + "shot.png");
            EXPECT_FALSE(want.empty());
            EXPECT_EQ(vt::file_bytes(dir + name), want) << dir << name;
        }
    }
}

// kThree's real.dump with frame 3's atom 2 given a bad x.
std::string with_bad_frame_3(std::string dump) {
    std::size_t at = 0;
    for (int k = 0; k < 3; ++k)
        at = dump.find("ITEM: ATOMS", at + 1);
    at = dump.find("\n2 2 ", at) + 5;
    dump.replace(at, 1, "1x");
    return dump;
}

// A bad frame in the middle, whether the batch reads every frame first (a
// span, a column's range over the run) or as it draws them (every frame by
// type): one line, status 1, no movie and no PNG left.
TEST(ViewerPlay, ABadFrameInTheMiddleOfABatchLeavesNothing) {
    NEED_LMP();
    const ThreeAtoms three;
    ASSERT_FALSE(three.dir.empty());
    const std::string &d = three.d;
    vt::spill(d + "bad.dump", with_bad_frame_3(vt::file_bytes(three.dir + "/real.dump")));
    // ffmpeg's stand-in keeps what it is sent (see above).
    vt::spill(d + "ffmpeg", "#!/bin/sh\nfor a; do out=$a; done\ncat > \"$out\"\n");
    ASSERT_EQ(chmod((d + "ffmpeg").c_str(), 0755), 0);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (d + ":" + path).c_str(), 1);
    const std::vector<std::vector<std::string>> cases = {
        {"--frames", "0:", "--movie", d + "m.mp4"},
        {"--frames", "0:", "--screenshot-dir", d + "pngs"},
        {"--frames", "0:", "--color-by", "v_t", "--movie", d + "m.mp4"},
        {"--frames", "0:3", "--screenshot-dir", d + "pngs"},
        {"--frames", "1:", "--movie", d + "m.mp4"},
    };
    for (const std::vector<std::string> &c : cases) {
        std::vector<std::string> args = {d + "bad.dump", "--size", "300x300"};
        args.insert(args.end(), c.begin(), c.end());
        const vt::Outcome r = vt::run(args, d);
        const std::string what = c[1] + " " + c[2];
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_EQ(r.err, "vorlix-view: " + d +
                             "bad.dump: frame 3: line 11: column 'xu': bad value "
                             "'1x.5'\n")
            << what;
        EXPECT_FALSE(vt::exists(d + "m.mp4")) << what;
        EXPECT_FALSE(vt::exists(d + "m.part.mp4")) << what;
        EXPECT_FALSE(vt::exists(d + "pngs")) << what;
    }
    setenv("PATH", path.c_str(), 1);
}

// A picture that cannot be written in the middle of a batch (its name taken
// by a folder) is found while later frames are drawn, as PNGs are written
// beside the drawing: the same one line, and the PNGs before it removed.
TEST(ViewerPlay, APngThatCannotBeWrittenLeavesNoPictures) {
    NEED_LMP();
    const ThreeAtoms three;
    ASSERT_FALSE(three.dir.empty());
    const std::string &d = three.d;
    ASSERT_EQ(mkdir((d + "pngs").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((d + "pngs/frame_000002.png").c_str(), 0777), 0);
    const vt::Outcome r =
        vt::run({three.dir + "/real.dump", "--frames", "0:", "--screenshot-dir", d + "pngs"}, d);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "vorlix-view: " + d + "pngs/frame_000002.png: cannot be written (Is a directory)\n");
    for (const char *left :
         {"frame_000000.png", "frame_000001.png", "frame_000003.png", "frame_000002.png.tmp"})
        EXPECT_FALSE(vt::exists(d + "pngs/" + left)) << left;
    EXPECT_TRUE(vt::exists(d + "pngs/frame_000002.png")); // the folder is not ours to remove
}

// Plain XYZ without a cell, as ASE (format="xyz") and MDAnalysis's
// XYZWriter write it: every atom where the fit over the run's atom bounds
// puts it, in its element's colour, in either frame; not one dot.
TEST(ViewerPlay, BoxlessXyzIsFittedToItsAtomsOverTheRun) {
    const vt::Scratch scratch;
    const std::string &d = scratch.path;
    const int status =
        std::system((std::string(SYSTEM_PYTHON) + " " + BOXLESS_SCRIPT + " " + d).c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "ASE or MDAnalysis missing (python3-ase, python3-mdanalysis)";
    ASSERT_EQ(status, 0);
    std::vector<Atom> atoms;
    std::istringstream in(vt::file_bytes(d + "positions.txt"));
    for (Atom a; in >> a.x >> a.y >> a.z;)
        atoms.push_back(a);
    ASSERT_EQ(atoms.size(), 6u);
    double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
    for (const Atom &a : atoms) {
        const double p[3] = {a.x, a.y, a.z};
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], p[i]);
            hi[i] = std::max(hi[i], p[i]);
        }
    }
    const double side = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
    const char *symbol[3] = {"Cu", "O", "C"};
    for (const char *writer : {"ase", "mda"})
        for (int k = 0; k < 2; ++k) {
            const vt::Image img = shot(d, d + writer + ".xyz", {"--frame", std::to_string(k)});
            for (int i = 0; i < 3; ++i) {
                const Atom &a = atoms[3 * k + i];
                const double p[3] = {a.x, a.y, a.z};
                double c[3];
                for (int j = 0; j < 3; ++j)
                    c[j] = (p[j] - (lo[j] + hi[j]) / 2) / side;
                EXPECT_TRUE(colour_near(img, pixel_of(c[0], c[1], c[2], kSize, kSize),
                                        of_element(symbol[i])))
                    << writer << " frame " << k << " atom " << i + 1;
            }
        }
}

// ----------------------------------------------------------- bad dumps ----

TEST(ViewerPlay, CutCorruptOrMisaddressedDumps) {
    NEED_LMP();
    const ThreeAtoms three;
    ASSERT_FALSE(three.dir.empty());
    const std::string &d = three.d;
    const std::string dump = vt::file_bytes(three.dir + "/real.dump");
    // Cut: the last row gone. Corrupt: frame 3's second row has a bad x.
    vt::spill(d + "cut.dump", dump.substr(0, dump.rfind("3 3 ")));
    std::string bad = dump;
    std::size_t at = 0;
    for (int k = 0; k < 3; ++k)
        at = bad.find("ITEM: ATOMS", at + 1);
    at = bad.find("\n2 2 ", at) + 5;
    bad.replace(at, 1, "1x");
    vt::spill(d + "bad.dump", bad);
    // NaN: frame 2's atom 3 left out of the picture, with a warning.
    std::string nan = dump;
    at = nan.find("\n3 3 ", nan.find("ITEM: ATOMS", nan.find("ITEM: ATOMS") + 1)) + 5;
    nan.replace(at, 1, "nan");
    vt::spill(d + "nan.dump", nan);
    vt::spill(d + "real.dump", dump);
    vt::spill(d + "elem.dump", vt::file_bytes(three.dir + "/elem.dump"));
    vt::spill(d + "cloud.xyz", "1 2 3\n");

    // The cut frame is left out, once, with a warning, and the rest plays.
    const std::string cut_warning = d + "cut.dump: frame 5: line 12: 2 rows where NUMBER OF ATOMS "
                                        "says 3; the file ends there, the frame is left out\n";
    vt::Outcome r = vt::run({d + "cut.dump", "--screenshot", d + "cut.png", "--frame", "3"}, d);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "vorlix-view: " + cut_warning);
    EXPECT_TRUE(vt::exists(d + "cut.png"));
    r = vt::run({d + "nan.dump", "--screenshot", d + "nan.png", "--frame", "1"}, d);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "vorlix-view: " + d +
                         "nan.dump: skipped 1 atom rows with NaN or infinite positions\n");
    EXPECT_EQ(vt::Image::png(d + "nan.png").count(of_type(3)), 0) << "atom 3 left out";
    EXPECT_GT(vt::Image::png(d + "nan.png").count(of_type(1)), 0);

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err; // after "vorlix-view: "
    };
    const std::vector<Case> cases = {
        {{d + "bad.dump"}, 1, d + "bad.dump: frame 3: line 11: column 'xu': bad value '1x.5'"},
        {{d + "cut.dump", "--frame", "4"},
         2,
         cut_warning + "vorlix-view: " + d + "cut.dump: no frame 4 (4 frames, numbered from 0)"},
        {{d + "real.dump", "--color-by", "vz"},
         2,
         d + "real.dump: no quantity 'vz' to colour by (type, vx, v_t)"},
        {{d + "cloud.xyz", "--frame", "0"},
         2,
         d + "cloud.xyz: --frame and --frames are for trajectories"},
        {{d + "elem.dump", "--color-by", "type"},
         2,
         d + "elem.dump: no quantity 'type' to colour by (element)"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--screenshot", d + "out.png"});
        r = vt::run(args, d);
        EXPECT_EQ(r.status, c.status) << c.err;
        EXPECT_EQ(r.err, "vorlix-view: " + c.err + "\n");
        EXPECT_FALSE(vt::exists(d + "out.png")) << c.err;
    }
    r = vt::run({d + "real.dump", "--frame", "-1"}, d);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("vorlix-view: --frame '-1': expected a frame number", 0), 0u) << r.err;
}

// ------------------------------------------------- the player, no window ----

// Counts the nodes the registered lists reach.
std::size_t reached(const vv::Player &p) {
    std::size_t n = 0;
    for (unsigned int l = 0; l < p.list_count(); ++l)
        for (const VoxelNode *v = p.lists()[l]; v; v = v->next)
            ++n;
    return n;
}

// Two lists' worth of atoms (4096 a list) at first, three once more are
// added, two again once some are deleted: the table always reaches exactly
// the frame's atoms, whichever way it steps.
TEST(ViewerPlay, FramesAndAtomsAsLammpsCountsThemAndTheListsFollow) {
    NEED_LMP();
    const vt::LmpRun lmp = vt::run_lmp(
        "units lj\natom_style atomic\nlattice fcc 0.8442\nregion box block 0 14 0 14 0 14\n"
        "region low block 0 14 0 14 0 8\nregion high block 0 14 0 14 8.5 14\n"
        "region cut block 0 14 0 14 0 5\ncreate_box 2 box\ncreate_atoms 1 region low\n"
        "mass * 1.0\npair_style zero 1.0\npair_coeff * *\n"
        "velocity all create 0.5 4928\nfix 1 all nve\nthermo_style custom step atoms\nthermo 10\n"
        "dump d all custom 10 grow.dump id type x y z\nrun 20\ncreate_atoms 2 region high\n"
        "run 20\ndelete_atoms region cut\nrun 20\n");
    ASSERT_FALSE(lmp.dir.empty());
    const auto atoms = vt::thermo_atoms(vt::slurp(lmp.dir + "/log.lammps"));
    vv::Player p;
    std::string error;
    std::size_t heard = 0;
    ASSERT_TRUE(p.open(lmp.dir + "/grow.dump", false, error, [&](std::size_t k, std::size_t n) {
        heard = k == n ? k : 0;
    })) << error;
    ASSERT_EQ(p.frames(), atoms.size());
    EXPECT_EQ(heard, atoms.size()) << "progress told every frame";
    VoxelNode *const *table = p.lists();
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < p.frames(); ++k)
        order.push_back(k);
    for (std::size_t k = p.frames(); k-- > 0;)
        order.push_back(k);
    order.insert(order.end(), {0, p.frames() - 1, 2});
    std::set<std::uint64_t> counts;
    for (const std::size_t k : order) {
        ASSERT_TRUE(p.read(k, error)) << error;
        const vv::Frame &f = p.frame();
        ASSERT_EQ(atoms.count(f.timestep), 1u) << f.timestep;
        EXPECT_EQ(f.atoms, atoms.at(f.timestep)) << "step " << f.timestep;
        EXPECT_EQ(reached(p), f.atoms) << "frame " << k;
        EXPECT_EQ(p.lists(), table) << "the table stays put";
        EXPECT_EQ(p.describe().rfind("frame " + std::to_string(k + 1) + "/" +
                                         std::to_string(p.frames()) + ", step " +
                                         std::to_string(f.timestep) + ", " +
                                         std::to_string(f.atoms) + " atoms, colour: type",
                                     0),
                  0u)
            << p.describe();
        counts.insert(f.atoms);
    }
    EXPECT_EQ(counts.size(), 3u);
    EXPECT_GT(*counts.begin(), vv::kListLength);
    EXPECT_GT(*counts.rbegin(), 2 * vv::kListLength);
}

// The fit takes the parallelepiped's corners, not the dump's bounding box.
TEST(ViewerPlay, BoxFitSpansTheTiltedBoxAndDoesNotClamp) {
    vv::Box tilted;
    for (int i = 0; i < 3; ++i)
        tilted.hi[i] = 4;
    tilted.triclinic = true;
    tilted.xy = -1;
    tilted.xz = 0.5;
    tilted.yz = -0.3;
    vv::BoxFit fit;
    fit.add(tilted);
    const double lo[3] = {-1, -0.3, 0}, hi[3] = {4.5, 4, 4};
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(fit.bounds.lo[i], lo[i]) << i;
        EXPECT_DOUBLE_EQ(fit.bounds.hi[i], hi[i]) << i;
    }
    fit.finish();
    // Longest side 5.5 along x, centre (1.75, 1.85, 2).
    const float outside[3] = {1.75f + 11, 1.85f, 2};
    VoxelNode v{};
    fit.apply(outside, v);
    EXPECT_FLOAT_EQ(v.x, 2.0f);
    EXPECT_NEAR(v.y, 0, 1e-6);
    EXPECT_NEAR(v.z, 0, 1e-6);
}

} // namespace

// ------------------------------------------------------ a live window ----

int xdo(const std::string &args) {
    return std::system(("timeout 20 xdotool " + args + " >/dev/null 2>&1").c_str());
}

// The window's title matches the pattern within 20 s.
int titled(const std::string &pattern) {
    return xdo("search --sync --name '" + pattern + "'");
}

// Keys step, jump, play and recolour; the title follows and the S key's
// picture shows the frame the title names. CTest runs this case alone on an
// X server of its own, so the keys reach this window.
TEST(ViewerPlayInteractive, KeysStepJumpPlayAndRecolour) {
    NEED_LMP();
    const ThreeAtoms three;
    ASSERT_FALSE(three.dir.empty());
    const std::string &d = three.d;
    const pid_t pid =
        vt::spawn({three.dir + "/real.dump", "--size", "300x300", "--style", "points"}, d,
                  d + "out.txt", d + "err.txt");
    ASSERT_EQ(titled("frame 1/5, step 0, 3 atoms, colour: type$"), 0) << "no window";
    xdo("mousemove 150 150 sleep 0.3 key Right");
    EXPECT_EQ(titled("frame 2/5, step 10,"), 0);
    xdo("key End");
    EXPECT_EQ(titled("frame 5/5, step 40,"), 0);
    int saves = 0;
    const auto save = [&] { // S, and the picture it wrote
        xdo("key s");
        const std::string saved = d + "vorlix-view-" + std::to_string(++saves) + ".png";
        for (int i = 0; i < 200 && !vt::exists(saved); ++i)
            xdo("sleep 0.05");
        return vt::Image::png(saved);
    };
    const vt::Image last = save();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(colour_near(last, pixel_of(kLast[i].x, kLast[i].y, kLast[i].z, kSize, kSize),
                                of_type(i + 1)))
            << "atom " << i + 1;
    // Keys, then the titles that must follow in turn.
    const struct {
        const char *keys;
        std::vector<const char *> titles;
        const char *why;
    } steps[] = {
        {"key Home", {"frame 1/5, step 0,"}, ""},
        {"key Left", {"frame 5/5, step 40,"}, "Left from the first wraps to the last"},
        // At 1 fps (30 halved four times) playing loops from the last frame
        // round to the second, each shown long enough for the title to be seen.
        {"key comma key comma key comma key comma key space",
         {"frame 1/5, step 0, .*playing at 1 fps$", "frame 2/5, step 10, .*playing at 1 fps$"},
         ""},
        {"key period key period", {"playing at 4 fps$"}, ""},
        {"key space", {"colour: type$"}, "paused"},
        {"key f", {"colour: vx 0 .. 20$"}, ""},
    };
    for (const auto &step : steps) {
        xdo(step.keys);
        for (const char *title : step.titles)
            EXPECT_EQ(titled(title), 0) << step.keys << " " << step.why;
    }
    // O, C and P on the same paused frame: spheres and cubes of the default
    // radius cover hundreds of pixels more than three points.
    int lit[3];
    const char *const styles[] = {"key o", "key c", "key p"};
    for (int i = 0; i < 3; ++i) {
        xdo(styles[i]);
        lit[i] = save().extent(40).pixels;
    }
    EXPECT_GT(lit[0], lit[2] + 400) << "spheres against points";
    EXPECT_GT(lit[1], lit[2] + 400) << "cubes against points";
    xdo("key Escape");
    const vt::Outcome r = vt::finish(pid, d + "out.txt", d + "err.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}
