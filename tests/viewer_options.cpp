// The command line: every option read, what it refuses alone and together,
// and what the open step refuses once it knows what the file is.
#include "viewer/app/options.h"

#include "viewer_process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

void write_file(const std::string &path, const std::string &content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::optional<vv::Options> parse(std::vector<const char *> args, std::string &error) {
    args.insert(args.begin(), "vorlix-view");
    return vv::parse_options(static_cast<int>(args.size()), args.data(), error);
}

TEST(ViewerOptions, ReadsEveryOption) {
    std::string error;
    auto o = parse({"cloud.ply", "--screenshot", "out.png", "--size", "320x240", "--yaw", "-30.5",
                    "--pitch", "12", "--style", "cubes", "--radius", "0.25", "--zoom", "1.5"},
                   error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->file, "cloud.ply");
    EXPECT_EQ(o->screenshot, "out.png");
    EXPECT_EQ(o->width, 320);
    EXPECT_EQ(o->height, 240);
    EXPECT_FLOAT_EQ(o->yaw, -30.5f);
    EXPECT_FLOAT_EQ(o->pitch, 12.0f);
    EXPECT_EQ(o->style, "cubes");
    EXPECT_FLOAT_EQ(o->radius, 0.25f);
    EXPECT_FLOAT_EQ(o->zoom, 1.5f);
    EXPECT_FALSE(o->help);

    // Inputs anywhere among the options, in the order given.
    auto several = parse({"s.20.txt", "--frame", "1", "s.3.txt", "p.%.*.txt"}, error);
    ASSERT_TRUE(several) << error;
    EXPECT_EQ(several->file, "s.20.txt");
    EXPECT_EQ(several->files, (std::vector<std::string>{"s.20.txt", "s.3.txt", "p.%.*.txt"}));

    auto plain = parse({"cloud.xyz"}, error);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->screenshot.empty());
    EXPECT_EQ(plain->width, 640);
    EXPECT_EQ(plain->height, 640);
    EXPECT_EQ(plain->style, "") << "chosen by the input";
    EXPECT_EQ(plain->radius, 0.0f) << "measured on the first frame";
    EXPECT_EQ(plain->zoom, 1.0f);

    for (const char *flag : {"--help", "-h"}) {
        auto help = parse({flag, "--frobnicate"}, error);
        ASSERT_TRUE(help) << flag;
        EXPECT_TRUE(help->help) << "the parse ends at " << flag;
    }

    // A trajectory's batch: the span, its colour range, its colouring.
    auto frames = parse({"t.dump", "--frames", "3:11:4", "--movie", "m.mp4", "--range", "frame",
                         "--color-by", "v_t"},
                        error);
    ASSERT_TRUE(frames) << error;
    EXPECT_TRUE(frames->frames_given);
    EXPECT_EQ(frames->frames_first, 3u);
    EXPECT_EQ(frames->frames_last, 11u);
    EXPECT_EQ(frames->frames_step, 4u);
    EXPECT_EQ(frames->movie, "m.mp4");
    EXPECT_TRUE(frames->range_per_frame);
    EXPECT_EQ(frames->colour_by, "v_t");
    auto open_end =
        parse({"t.dump", "--frames", "2:", "--screenshot-dir", "out", "--frame", "7"}, error);
    ASSERT_TRUE(open_end) << error;
    EXPECT_EQ(open_end->frames_first, 2u);
    EXPECT_EQ(open_end->frames_last, 0u) << "to the end";
    EXPECT_EQ(open_end->frames_step, 1u);
    EXPECT_EQ(open_end->screenshot_dir, "out");
    EXPECT_EQ(open_end->frame, 7);

    // A live run: its chunk, its steps and its variables in order.
    auto live = parse({"--lammps", "in.melt", "--every", "5", "--steps", "100", "--var", "n", "20",
                       "--var", "t", "", "--screenshot", "a.png"},
                      error);
    ASSERT_TRUE(live) << error;
    EXPECT_TRUE(live->lammps);
    EXPECT_EQ(live->file, "in.melt");
    EXPECT_EQ(live->every, 5);
    EXPECT_EQ(live->steps, 100);
    const std::vector<std::pair<std::string, std::string>> vars = {{"n", "20"}, {"t", ""}};
    EXPECT_EQ(live->vars, vars);
}

TEST(ViewerOptions, RejectsWhatItCannotUse) {
    std::vector<std::pair<std::vector<const char *>, std::string>> cases = {
        {{}, "no file given"},
        {{"--lammps", "a.in", "b.in"},
         "more than one file: a.in, b.in (--lammps runs one input script)"},
        {{"a.ply", "--frobnicate"}, "unknown option --frobnicate"},
        {{"a.ply", "--size"}, "--size needs a value"},
        {{"a.ply", "--size", "320"}, "--size '320': expected WxH, each between 16 and 8192"},
        {{"a.ply", "--size", "0x100"}, "--size '0x100': expected WxH, each between 16 and 8192"},
        {{"a.ply", "--size", "320x240x2"},
         "--size '320x240x2': expected WxH, each between 16 and 8192"},
        {{"a.ply", "--size", "9000x100"},
         "--size '9000x100': expected WxH, each between 16 and 8192"},
        {{"a.ply", "--yaw", "left"}, "--yaw 'left': expected a number of degrees"},
        {{"a.ply", "--pitch", "nan"}, "--pitch 'nan': expected a number of degrees"},
        {{"a.ply", "--pitch", "2e6"}, "--pitch '2e6': expected a number of degrees"},
        {{"a.ply", "--screenshot", ""}, "--screenshot needs a file name"},
        {{"a.ply", "--frame", "1.5"}, "--frame '1.5': expected a frame number from 0 (the first)"},
        {{"a.ply", "--range", "some"}, "--range 'some': expected all or frame"},
        {{"a.ply", "--movie", ""}, "--movie needs a name"},
        {{"a.ply", "--screenshot-dir", ""}, "--screenshot-dir needs a name"},
        {{"--lammps", "in", "--var", "n"}, "--var needs a NAME and a VALUE"},
        {{"--lammps", "in", "--var", "", "1"}, "--var needs a NAME and a VALUE"},
        {{"--lammps", "in", "--every"}, "--every: expected a number of steps from 1 to 1000000000"},
        {{"--lammps", "in", "--steps", "0"},
         "--steps '0': expected a number of steps from 1 to 1000000000"},
        {{"--lammps", "in", "--every", "1000000001"},
         "--every '1000000001': expected a number of steps from 1 to 1000000000"},
        {{"a.ply", "--style", "balls"}, "--style 'balls': expected points, spheres or cubes"},
    };
    const std::string radius_says = "': expected a length above 0 in the file's units, at most 1e6";
    for (const char *bad : {"0", "-1", "nan", "NaN", "inf", "1e9", "", "2x", "-0"})
        cases.push_back(
            {{"a.ply", "--radius", bad}, std::string("--radius '") + bad + radius_says});
    for (const char *bad : {"0", "-2", "nan", "0.05", "7", "1e9", "inf", "x"})
        cases.push_back({{"a.ply", "--zoom", bad},
                         std::string("--zoom '") + bad + "': expected a factor from 0.1 to 6"});
    for (const auto &[args, message] : cases) {
        std::string error;
        EXPECT_FALSE(parse(args, error));
        EXPECT_EQ(error, message);
    }
    const std::string frames_says =
        "': expected A:B or A:B:S, frames A to B-1 every S (B may be empty: to the end)";
    for (const char *bad : {"3", "5:5", "6:2", "0:4:0", "a:4", ":4", "0:4:", "0:4:2:1", "-1:4"}) {
        std::string error;
        EXPECT_FALSE(parse({"t.dump", "--frames", bad, "--movie", "m.mp4"}, error)) << bad;
        EXPECT_EQ(error, std::string("--frames '") + bad + frames_says);
    }
}

TEST(ViewerOptions, LodOption) {
    std::string error;
    const char *plain[] = {"vorlix-view", "a.ply"};
    auto parsed = vv::parse_options(2, plain, error);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->lod, vv::kDefaultLodBudget);
    const struct {
        const char *value;
        std::size_t lod;
    } good[] = {{"0", 0}, {"250000", 250000}, {"1000000000", 1000000000}};
    for (const auto &c : good) {
        const char *argv[] = {"vorlix-view", "a.ply", "--lod", c.value};
        parsed = vv::parse_options(4, argv, error);
        ASSERT_TRUE(parsed) << c.value << ": " << error;
        EXPECT_EQ(parsed->lod, c.lod);
    }
    for (const char *bad :
         {"-1", "", "x", "1e5", "12k", " 5", "+5", "1000000001", "99999999999999999999999"}) {
        const char *argv[] = {"vorlix-view", "a.ply", "--lod", bad};
        EXPECT_FALSE(vv::parse_options(4, argv, error)) << bad;
        EXPECT_EQ(error, std::string("--lod '") + bad +
                             "': expected a number of points from 0 (off) to 1000000000");
    }
}

// Options each fine alone that the parse refuses together, before any file
// is opened.
TEST(ViewerOptions, RefusesOptionsThatDoNotGoTogether) {
    const std::string live_only = "--every, --steps and --var go with --lammps";
    const std::string not_live =
        "--frame, --frames and --range are for trajectory files, not --lammps";
    const std::string steps = "--steps goes with one of --screenshot, --screenshot-dir or --movie";
    const std::string frames = "--frames goes with one of --screenshot-dir or --movie";
    const std::vector<std::pair<std::vector<const char *>, std::string>> cases = {
        {{"t.dump", "--every", "5"}, live_only},
        {{"t.dump", "--steps", "5", "--screenshot", "a.png"}, live_only},
        {{"t.dump", "--var", "n", "1"}, live_only},
        {{"--lammps", "in", "--frame", "2", "--steps", "5", "--screenshot", "a.png"}, not_live},
        {{"--lammps", "in", "--frames", "0:2", "--movie", "m.mp4"}, not_live},
        {{"--lammps", "in", "--range", "frame"}, not_live},
        {{"--lammps", "in", "--steps", "5"}, steps},
        {{"--lammps", "in", "--screenshot", "a.png"}, steps},
        {{"--lammps", "in", "--movie", "m.mp4"}, steps},
        {{"--lammps", "in", "--steps", "5", "--screenshot", "a.png", "--movie", "m.mp4"}, steps},
        {{"t.dump", "--frames", "0:2"}, frames},
        {{"t.dump", "--frames", "0:2", "--screenshot", "a.png"}, frames},
        {{"t.dump", "--screenshot-dir", "out"}, frames},
        {{"t.dump", "--movie", "m.mp4"}, frames},
        {{"t.dump", "--frames", "0:2", "--movie", "m.mp4", "--screenshot-dir", "out"}, frames},
        {{"t.dump", "--screenshot", "a.png", "--movie", "m.mp4"}, frames},
        {{"t.dump", "--frame", "1", "--frames", "0:2", "--screenshot", "a.png"}, frames},
    };
    for (const auto &[args, message] : cases) {
        std::string error;
        std::string line;
        for (const char *a : args)
            line += std::string(a) + " ";
        EXPECT_FALSE(parse(args, error)) << line;
        EXPECT_EQ(error.rfind(message, 0), 0u) << line << "\n" << error;
    }
}

// What only the open step can refuse, knowing what the file holds: exit 2,
// one line naming the file, no picture.
TEST(ViewerOptions, TheOpenStepRefusesWhatTheFileCannotDo) {
    const vt::Scratch scratch;
    const std::string &d = scratch.path;
    write_file(d + "cloud.xyz", "0 0 0\n1 1 1\n");
    write_file(d + "cloud2.xyz", "0 0 0\n2 2 2\n");
    // Three frames of two atoms each.
    std::string traj;
    for (int f = 0; f < 3; ++f)
        traj += "2\nframe " + std::to_string(f) + "\nH 0 0 0\nO 1 1 1\n";
    write_file(d + "t.xyz", traj);
    struct Case {
        std::vector<std::string> args;
        std::string says; // after "vorlix-view: DIR"
    };
    const std::vector<Case> cases = {
        {{d + "cloud.xyz", "--frame", "0", "--screenshot", d + "out.png"},
         "cloud.xyz: --frame and --frames are for trajectories"},
        {{d + "cloud.xyz", "--frames", "0:1", "--screenshot-dir", d + "out"},
         "cloud.xyz: --frame and --frames are for trajectories"},
        {{d + "cloud.xyz", "--color-by", "intensity", "--screenshot", d + "out.png"},
         "cloud.xyz: "},
        {{d + "t.xyz", "--frame", "3", "--screenshot", d + "out.png"},
         "t.xyz: no frame 3 (3 frames, numbered from 0)"},
        {{d + "t.xyz", "--frames", "5:", "--screenshot-dir", d + "out"},
         "t.xyz: no frame 5 (3 frames, numbered from 0)"},
        {{d + "t.xyz", "--color-by", "nope", "--screenshot", d + "out.png"}, "t.xyz: "},
        // Several files are one trajectory; clouds are one file each.
        {{d + "cloud.xyz", d + "cloud2.xyz", "--screenshot", d + "out.png"},
         "cloud.xyz, " + d + "cloud2.xyz: several files are one trajectory"},
        {{d + "t.xyz", "--radius", "100", "--screenshot", d + "out.png"},
         "t.xyz: --radius 100 is larger than the whole box (1 across)"},
        {{d + "cloud.xyz", "--radius", "2.5", "--style", "spheres", "--screenshot", d + "out.png"},
         "cloud.xyz: --radius 2.5 is larger than the whole box (1 across)"},
    };
    for (const Case &c : cases) {
        const vt::Outcome r = vt::run(c.args, d);
        EXPECT_EQ(r.status, 2) << c.says << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("vorlix-view: " + d + c.says, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_FALSE(vt::exists(d + "out.png"));
        EXPECT_FALSE(vt::exists(d + "out"));
    }
    if (!VORLIX_LIVE) {
        const vt::Outcome r =
            vt::run({"--lammps", d + "in", "--steps", "5", "--screenshot", d + "out.png"}, d);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "vorlix-view: --lammps: this vorlix-view was built without LAMMPS's "
                         "library (liblammps-dev)\n");
    }
}

} // namespace
