// vorlix-view --lammps: an input script run inside the viewer through
// LAMMPS's library, in chunks. Its picture after S steps is byte for byte the
// one drawn from the dump plain lmp writes at step S (same ranks), thermo
// agrees with one long run, bad input ends with a message and no picture,
// and the keys pause the simulation and end every rank.
#include "lammps_run.h"
#include "viewer_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

#define NEED_LIVE()                                                                                \
    if (!VORLIX_LIVE)                                                                              \
        GTEST_SKIP() << "built without LAMMPS's library (liblammps-dev): no --lammps";             \
    if (!vt::have_lmp())                                                                           \
    GTEST_SKIP() << "lmp not found: install the Debian package lammps to run this test"

// 256 Lennard-Jones atoms melting; `extra` goes before the run.
std::string melt(const std::string &extra = "", const std::string &run = "run 200") {
    return "units lj\natom_style atomic\nlattice fcc 0.8442\nregion box block 0 4 0 4 0 4\n"
           "create_box 1 box\ncreate_atoms 1 box\nmass 1 1.0\n"
           "velocity all create 3.0 87287 loop geom\npair_style lj/cut 2.5\n"
           "pair_coeff 1 1 1.0 1.0 2.5\nneighbor 0.3 bin\nneigh_modify every 20 delay 0 check no\n"
           "fix 1 all nve\nthermo 50\n" +
           extra + run + "\n";
}

// In sanitised builds: every vorlix-view run here also loads Open MPI, whose
// components (opened with dlopen) keep blocks until exit that LeakSanitizer
// reports with no module to name or suppress. The children skip the leak
// check, as viewer_process.h's spawn does for the GL driver's blocks; this
// test's own process keeps it (its options were read before this runs).
const bool kChildrenSkipLeakCheck = [] {
    const char *asan = std::getenv("ASAN_OPTIONS");
    return setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1) ==
           0;
}();

// Runs a command in dir, output into out.txt and err.txt there; a hang ends
// after 2 minutes (status 124).
vt::Outcome sh(const std::string &dir, const std::string &command) {
    const int status = std::system(
        ("cd '" + dir + "' && timeout 120 " + command + " >out.txt 2>err.txt </dev/null").c_str());
    vt::Outcome r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
    r.out = vt::file_bytes(dir + "out.txt");
    r.err = vt::file_bytes(dir + "err.txt");
    return r;
}

using vt::mpirun;

// The thermo line LAMMPS printed for `step`, or "" when none.
std::string thermo_line(const std::string &log, long long step) {
    const std::string number = std::to_string(step);
    std::istringstream lines(log);
    for (std::string l; std::getline(lines, l);) {
        const std::size_t first = l.find_first_not_of(' ');
        const std::size_t after = first == std::string::npos ? l.size() : first + number.size();
        if (after < l.size() && l.compare(first, number.size(), number) == 0 && l[after] == ' ' &&
            l.find_first_not_of("-0123456789.e+ ", after) == std::string::npos)
            return l;
    }
    return "";
}

// Live for 150 steps in chunks of 7 against lmp's dump of step 150, each
// colouring alike (vx and a compute's c_ke over the frame's own range, as
// live runs give it); then pictures every 50 steps against the dump's
// frames, as PNGs and as the raw frames a movie is sent. Without the
// overlay: a live run's label names its step alone, a dump's its frame too.
void live_matches_dump(int ranks) {
    const vt::Scratch scratch;
    const std::string &d = scratch.path;
    const std::string ke = "compute ke all ke/atom\n";
    vt::spill(d + "live.in", melt(ke));
    vt::spill(d + "dump.in", melt(ke + "dump d all custom 50 d.dump id type x y z vx c_ke\n"
                                       "dump_modify d sort id format float %.17g\n"));
    const vt::Outcome lmp = sh(d, mpirun(ranks) + "lmp -in dump.in -log lmp.log -screen none");
    ASSERT_EQ(lmp.status, 0) << lmp.err;
    const std::string exe = VIEWER_EXE;
    for (const std::string colour : {"type", "vx", "c_ke"}) {
        const vt::Outcome live = sh(
            d, mpirun(ranks) + exe + " --lammps live.in --every 7 --steps 150" +
                   " --size 200x200 --style points --no-overlay --screenshot live.png --color-by " +
                   colour);
        ASSERT_EQ(live.status, 0) << live.err;
        if (colour == "type") {
            const std::string log = vt::slurp(d + "lmp.log");
            for (long long step : {0, 50, 100, 150}) {
                EXPECT_NE(thermo_line(log, step), "") << step;
                EXPECT_EQ(thermo_line(live.out, step), thermo_line(log, step)) << step;
            }
        }
        const vt::Outcome shot = vt::run({d + "d.dump", "--frame", "3", "--size", "200x200",
                                          "--style", "points", "--no-overlay", "--screenshot",
                                          d + "dump.png", "--color-by", colour, "--range", "frame"},
                                         d);
        ASSERT_EQ(shot.status, 0) << shot.err;
        const std::string png = vt::file_bytes(d + "live.png");
        EXPECT_GT(png.size(), 1000u);
        EXPECT_TRUE(png == vt::file_bytes(d + "dump.png")) << colour << " on " << ranks << " ranks";
    }
    vt::spill(d + "ffmpeg", "#!/bin/sh\nfor a; do out=$a; done\ncat > \"$out\"\n");
    ASSERT_EQ(chmod((d + "ffmpeg").c_str(), 0755), 0);
    const std::string batch =
        " --lammps live.in --steps 150 --every 50 --size 200x200 --style points --no-overlay ";
    const vt::Outcome pngs = sh(d, mpirun(ranks) + exe + batch + "--screenshot-dir live");
    ASSERT_EQ(pngs.status, 0) << pngs.err;
    const vt::Outcome movie =
        sh(d, "env PATH=.:$PATH " + mpirun(ranks) + exe + batch + "--movie live.mp4");
    ASSERT_EQ(movie.status, 0) << movie.err;
    const vt::Outcome frames =
        vt::run({d + "d.dump", "--frames", "0:", "--size", "200x200", "--style", "points",
                 "--no-overlay", "--screenshot-dir", d + "dump"},
                d);
    ASSERT_EQ(frames.status, 0) << frames.err;
    for (const char *name :
         {"frame_000000.png", "frame_000001.png", "frame_000002.png", "frame_000003.png"})
        EXPECT_TRUE(vt::file_bytes(d + "live/" + name) == vt::file_bytes(d + "dump/" + name))
            << name;
    EXPECT_FALSE(vt::exists(d + "live/frame_000004.png"));
    EXPECT_EQ(vt::file_bytes(d + "live.mp4").size(), 4u * 200 * 200 * 3);
    // The script's runs end at step 200: no movie at all.
    const vt::Outcome short_run = sh(d, "env PATH=.:$PATH " + mpirun(ranks) + exe +
                                            " --lammps live.in --steps 300 --movie short.mp4");
    EXPECT_EQ(short_run.status, 1);
    EXPECT_NE(short_run.err.find("200 of 300 steps run"), std::string::npos) << short_run.err;
    EXPECT_FALSE(vt::exists(d + "short.mp4") || vt::exists(d + "short.part.mp4"));
    // LAMMPS ends the process on an error at step 30, amid the movie.
    vt::spill(d + "error.in", melt("", "run 30\nfix 2 all nvx\nrun 30"));
    const vt::Outcome error = sh(d, "env PATH=.:$PATH " + mpirun(ranks) + exe +
                                        " --lammps error.in --steps 60 --every 10 --movie e.mp4");
    EXPECT_EQ(error.status, 1);
    EXPECT_NE(error.err.find("LAMMPS stopped on an error at step 30"), std::string::npos)
        << error.err;
    EXPECT_FALSE(vt::exists(d + "e.mp4") || vt::exists(d + "e.part.mp4"));
}

TEST(ViewerLive, PictureAfterStepsIsTheDumpsOneRank) {
    NEED_LIVE();
    live_matches_dump(1);
}

TEST(ViewerLiveMpi, PictureAfterStepsIsTheDumpsTwoRanks) {
    NEED_LIVE();
    live_matches_dump(2);
    // Refused on every rank alike, or ended by LAMMPS on every rank: no
    // rank is left waiting (the command's timeout would say 124).
    const vt::Scratch scratch;
    const std::string &d = scratch.path;
    vt::spill(d + "jump.in", melt("label a\njump SELF a\n"));
    vt::spill(d + "fix.in", melt("fix 2 all nvx\n"));
    for (const std::string args : {"jump.in", "fix.in", "jump.in --color-by c_none"}) {
        const vt::Outcome r = sh(d, mpirun(2) + VIEWER_EXE + " --steps 10 --screenshot out.png" +
                                        " --lammps " + args);
        EXPECT_TRUE(r.status == 1 || r.status == 2) << args << ": " << r.status << "\n" << r.err;
        EXPECT_FALSE(vt::exists(d + "out.png")) << args;
    }
}

// Each bad input: its status, a message naming what went wrong, no picture.
TEST(ViewerLive, BadInputEndsWithAMessageAndNoPicture) {
    NEED_LIVE();
    struct Case {
        std::string script, args;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {"", "--lammps absent.in --steps 10", 1, "absent.in: cannot open the input script"},
        {melt("fix 2 all nvx\n"), "--lammps in --steps 10", 1,
         "in: LAMMPS stopped on an error at step 0"},
        {melt(), "--lammps in --steps 10 --color-by c_none", 2, "no per-atom 'c_none'"},
        {melt("label a\njump SELF a\n"), "--lammps in --steps 10", 1,
         "in: line 16: 'jump' cannot run live"},
        {"include absent.in\n", "--lammps in --steps 10", 1,
         "in: line 1: absent.in: cannot open the input script"},
        {"\ninclude in\n", "--lammps in --steps 10", 1,
         "in: line 2: includes nested more than 16 deep"},
        {melt("", "run 100 every 10 NULL"), "--lammps in --steps 10", 1,
         "only 'run N' and 'run N upto'"},
        {melt(), "--lammps in --steps 300", 1, "200 of 300 steps run"},
        {melt("variable n index 30\n", "run ${n}"), "--lammps in --steps 25 --var n 20", 1,
         "20 of 25 steps run"},
        {melt(), "--lammps in", 2, "--steps goes with one of --screenshot"},
    };
    for (const Case &c : cases) {
        const vt::Scratch scratch;
        const std::string &d = scratch.path;
        if (!c.script.empty())
            vt::spill(d + "in", c.script);
        const vt::Outcome r =
            sh(d, std::string(VIEWER_EXE) + " " + c.args + " --screenshot out.png");
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_FALSE(vt::exists(d + "out.png")) << c.args;
    }
    // The variable the script gives a default is lmp's -var when given; an
    // included file's commands run in its place.
    const vt::Scratch scratch;
    vt::spill(scratch.path + "part.in", melt("variable n index 30\n", "run ${n}"));
    vt::spill(scratch.path + "in", "include part.in\nrun 40 upto\n");
    const vt::Outcome r =
        sh(scratch.path, std::string(VIEWER_EXE) + " --lammps in --steps 40 --screenshot out.png");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(vt::exists(scratch.path + "out.png"));
}

int xdo(const std::string &args) {
    return std::system(("timeout 20 xdotool " + args + " >/dev/null 2>&1").c_str());
}

std::string window_title(const std::string &pattern) {
    FILE *p = popen(
        ("timeout 20 xdotool search --sync --name '" + pattern + "' getwindowname 2>/dev/null")
            .c_str(),
        "r");
    char line[512] = "";
    if (p) {
        if (!std::fgets(line, sizeof line, p))
            line[0] = '\0';
        pclose(p);
    }
    return line;
}

// The number in the title's "step N,".
long long step_of(const std::string &title) {
    for (std::size_t at = title.find("step "); at != std::string::npos;
         at = title.find("step ", at + 1)) {
        const std::size_t digits = at + 5;
        std::size_t end = digits;
        while (end < title.size() && std::isdigit(static_cast<unsigned char>(title[end])))
            ++end;
        if (end > digits && end < title.size() && title[end] == ',')
            return std::stoll(title.substr(digits, end - digits));
    }
    return -1;
}

// Space pauses (the step stays), F recolours, space resumes (it moves on), Escape ends
// LAMMPS on every rank with status 0. CTest runs these alone on an X server
// of their own, so the keys reach this window.
void pause_resume_quit(int ranks) {
    const vt::Scratch scratch;
    const std::string &d = scratch.path;
    vt::spill(d + "in", melt("", "run 100000000"));
    const std::string command = "cd '" + d + "' && " + mpirun(ranks) + VIEWER_EXE +
                                " --lammps in --every 5 --size 200x200 --color-by vx"
                                " >out.txt 2>err.txt";
    FILE *p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    EXPECT_GT(step_of(window_title("step [1-9][0-9]*, 256 atoms")), 0);
    xdo("search --sync --name 'vorlix-view: in:' windowfocus --sync mousemove 100 100 sleep 0.3 "
        "key space");
    const std::string paused = window_title("paused$");
    xdo("sleep 1");
    EXPECT_EQ(step_of(window_title("paused$")), step_of(paused)) << paused;
    EXPECT_EQ(xdo("key plus"), 0) << "view keys while paused";
    EXPECT_NE(paused.find("colour: vx"), std::string::npos) << paused;
    xdo("key f");
    EXPECT_EQ(step_of(window_title("colour: type, paused$")), step_of(paused)) << "F recolours";
    xdo("key space sleep 1");
    EXPECT_GT(step_of(window_title("steps/s, colour: type$")), step_of(paused));
    xdo("key Escape");
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << vt::file_bytes(d + "err.txt");
    EXPECT_EQ(vt::file_bytes(d + "err.txt"), "");
}

// A script that ends, or stops on a LAMMPS error, leaves its last frame up
// with the title and stderr saying so; Escape then ends with 0 after an
// end, with LAMMPS's 1 after an error.
TEST(ViewerLiveInteractive, EndOrErrorKeepsTheWindow) {
    NEED_LIVE();
    const struct {
        const char *run, *title, *err;
        int status;
    } cases[] = {
        {"run 30", "colour: type, script ended$", "vorlix-view: in: step 30, 256 atoms", 0},
        {"run 30\nfix 2 all no_such_style\nrun 30", "stopped on a LAMMPS error",
         "vorlix-view: in: LAMMPS stopped on an error at step 30", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.run);
        const vt::Scratch scratch;
        const std::string &d = scratch.path;
        vt::spill(d + "in", melt("", c.run));
        const pid_t pid = vt::spawn({"--lammps", "in", "--every", "7", "--size", "200x200"}, d,
                                    d + "out.txt", d + "err.txt");
        EXPECT_EQ(step_of(window_title(c.title)), 30);
        xdo(std::string("search --sync --name '") + c.title +
            "' windowfocus --sync mousemove 100 100 sleep 0.3 key Escape");
        const vt::Outcome r = vt::finish(pid, d + "out.txt", d + "err.txt");
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

TEST(ViewerLiveInteractive, SpacePausesEscapeEnds) {
    NEED_LIVE();
    pause_resume_quit(1);
}

TEST(ViewerLiveInteractive, EscapeEndsEveryRank) {
    NEED_LIVE();
    pause_resume_quit(2);
}

} // namespace
