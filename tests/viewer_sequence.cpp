// Several files as one trajectory, on what lmp writes here on one and two
// MPI ranks from one input: the same frames as one `dump custom` file, as a
// file per step (`*`), a file per rank (`%`), both, and gzipped per rank.
// Every form gives the single file's frames (steps, counts, positions by
// id) and its pictures byte for byte, whatever order the files are given
// in; patterns that find nothing, mixed formats, parts that share atoms and
// one bad file among many end with one line and no output.
#include "viewer/trajectory/trajectory.h"

#include "frame_atoms.h"
#include "lammps_run.h"
#include "viewer_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <glob.h>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

#define NEED_LMP()                                                                                 \
    if (!vt::have_lmp())                                                                           \
    GTEST_SKIP() << "lmp not found: install the Debian package lammps to run this test"

// A two-type melt whose atoms move between ranks, written five ways at
// full precision: one file, a file per step, per rank, per rank and step,
// and gzipped per rank (several frames a file: each part's stream reads on);
// and LAMMPS's XYZ beside them.
const char *const kScript = R"(units lj
atom_style atomic
lattice fcc 0.8442
region box block 0 4 0 4 0 4
create_box 2 box
create_atoms 1 box
group low id 1:100
set group low type 2
mass * 1.0
velocity all create 3.0 87287
pair_style lj/cut 2.5
pair_coeff * * 1.0 1.0 2.5
fix 1 all nve
dump all all custom 10 all.txt id type x y z
dump seq all custom 10 seq.*.txt id type x y z
dump rank all custom 10 p.%.txt id type x y z
dump both all custom 10 p.%.*.txt id type x y z
dump gz all custom/gz 10 pz.%.txt.gz id type x y z
dump xyz all xyz 10 t.xyz
dump_modify xyz element Ar Kr
dump_modify all format float %.17g
dump_modify seq format float %.17g
dump_modify rank format float %.17g
dump_modify both format float %.17g
dump_modify gz format float %.17g
run 100
)";

// The run on `ranks` ranks, once per test process; its dir is "" when lmp
// failed.
const vt::LmpRun &written(int ranks) {
    static std::map<int, std::unique_ptr<vt::LmpRun>> runs;
    auto &run = runs[ranks];
    if (!run)
        run.reset(new vt::LmpRun(vt::run_lmp(kScript, ranks)));
    return *run;
}

// The names glob(3) finds for pattern in dir, in a fixed shuffled order
// (as no shell gives them).
std::vector<std::string> shuffled(const std::string &dir, const std::string &pattern) {
    std::vector<std::string> names;
    glob_t found{};
    if (glob((dir + "/" + pattern).c_str(), 0, nullptr, &found) == 0)
        for (std::size_t i = 0; i < found.gl_pathc; ++i)
            names.push_back(std::filesystem::path(found.gl_pathv[i]).filename());
    globfree(&found);
    std::shuffle(names.begin(), names.end(), std::mt19937(19));
    return names;
}

struct Form {
    const char *what;
    std::vector<std::string> inputs; // relative to the run's directory
};

std::vector<Form> forms(const std::string &dir) {
    return {{"a file per step, as a pattern", {"seq.*.txt"}},
            {"a file per step, shuffled", shuffled(dir, "seq.*.txt")},
            {"a file per rank, as LAMMPS names it", {"p.%.txt"}},
            {"a file per rank, shuffled", shuffled(dir, "p.[0-9].txt")},
            {"a file per rank and step", {"p.%.*.txt"}},
            {"a gzipped file per rank", {"pz.%.txt.gz"}}};
}

std::vector<std::string> in_dir(const std::string &dir, const std::vector<std::string> &names) {
    std::vector<std::string> paths;
    for (const std::string &n : names)
        paths.push_back(dir + "/" + n);
    return paths;
}

class ViewerSequence : public ::testing::TestWithParam<int> {};

TEST_P(ViewerSequence, EveryFormGivesTheSingleFilesFrames) {
    NEED_LMP();
    const vt::LmpRun &run = written(GetParam());
    ASSERT_FALSE(run.dir.empty());
    std::string error;
    vv::FrameIndex one;
    ASSERT_TRUE(vv::open_trajectory(run.dir + "/all.txt", one, error)) << error;
    ASSERT_EQ(one.frames.size(), 11u);
    std::vector<vv::Frame> expected(one.frames.size());
    for (std::size_t k = 0; k < one.frames.size(); ++k)
        ASSERT_TRUE(vv::read_frame(one, k, expected[k], error)) << error;

    for (const Form &form : forms(run.dir)) {
        SCOPED_TRACE(form.what);
        vv::FrameIndex index;
        ASSERT_TRUE(vv::open_trajectories(in_dir(run.dir, form.inputs), index, error)) << error;
        EXPECT_TRUE(index.warning.empty()) << index.warning;
        // A pattern names it, several files their first and how many; a
        // pattern that found one file (one rank) is that file.
        if (!index.sequence)
            EXPECT_TRUE(GetParam() == 1 && vt::exists(index.path)) << index.path;
        else if (form.inputs.size() == 1)
            EXPECT_EQ(index.path, run.dir + "/" + form.inputs[0]);
        else
            EXPECT_NE(index.path.find(" ... (" + std::to_string(form.inputs.size()) + " files)"),
                      std::string::npos);
        ASSERT_EQ(index.frames.size(), one.frames.size());
        // Forwards, then backwards (a gzip part's stream starts over), then
        // forwards again on the same storage.
        std::vector<std::size_t> order;
        for (std::size_t k = 0; k < one.frames.size(); ++k)
            order.push_back(k);
        for (std::size_t k = one.frames.size(); k-- > 0;)
            order.push_back(k);
        order.insert(order.end(), {0, 5, 6, 10});
        vv::Frame frame;
        for (const std::size_t k : order) {
            ASSERT_TRUE(vv::read_frame(index, k, frame, error)) << error;
            EXPECT_EQ(index.frames[k].timestep, 10 * static_cast<long long>(k));
            EXPECT_EQ(index.frames[k].atoms, 256u);
            EXPECT_EQ(frame.timestep, expected[k].timestep);
            EXPECT_EQ(frame.declared, 256u);
            ASSERT_EQ(frame.atoms, 256u) << "frame " << k;
            EXPECT_EQ(frame.columns, expected[k].columns);
            EXPECT_EQ(vt::atoms_by_id(frame), vt::atoms_by_id(expected[k])) << "frame " << k;
            EXPECT_EQ(frame.box.lo[0], expected[k].box.lo[0]);
            EXPECT_EQ(frame.box.hi[2], expected[k].box.hi[2]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Ranks, ViewerSequence, ::testing::Values(1, 2),
                         [](const auto &info) { return std::to_string(info.param) + "ranks"; });

// XYZ files that ASE writes, through the same table: files that give no
// step (plain XYZ) follow one another in natural name order (f.2 before
// f.10); files that give one (extended XYZ's step=) are ordered by it, not
// by name.
TEST(ViewerSequenceXyz, FilesWithoutStepsFollowTheirNamesWithStepsTheirSteps) {
    const vt::Scratch scratch;
    const std::string &d = scratch.path;
    const std::string script =
        "import sys\n"
        "try:\n"
        "    import numpy as np, ase.io\n"
        "    from ase import Atoms\n"
        "except ImportError:\n"
        "    sys.exit(77)\n"
        "d = sys.argv[1]\n"
        "rng = np.random.default_rng(3)\n"
        "frames = [Atoms('H' * (k + 1), positions=rng.uniform(-2, 2, (k + 1, 3)))\n"
        "          for k in range(12)]\n"
        "ase.io.write(d + 'all.xyz', frames, format='xyz')\n"
        "for k, a in enumerate(frames):\n"
        "    ase.io.write(d + 'f.%d.xyz' % k, a, format='xyz')\n"
        "    a.info['step'] = 1000 - 10 * k\n"
        "    ase.io.write(d + 'e.%d.xyz' % k, a, format='extxyz')\n"
        "ase.io.write(d + 'all.extxyz', frames, format='extxyz')\n";
    vt::spill(d + "write.py", script);
    const int status = std::system((SYSTEM_PYTHON " '" + d + "write.py' '" + d + "'").c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "python3-ase is not installed";
    ASSERT_EQ(status, 0);
    std::string error;
    vv::FrameIndex whole, whole_ext, by_name, by_step;
    ASSERT_TRUE(vv::open_trajectory(d + "all.xyz", whole, error)) << error;
    ASSERT_TRUE(vv::open_trajectory(d + "all.extxyz", whole_ext, error)) << error;
    ASSERT_TRUE(vv::open_trajectories({d + "f.*.xyz"}, by_name, error)) << error;
    ASSERT_TRUE(vv::open_trajectories({d + "e.*.xyz"}, by_step, error)) << error;
    ASSERT_EQ(whole.frames.size(), 12u);
    ASSERT_EQ(by_name.frames.size(), 12u);
    ASSERT_EQ(by_step.frames.size(), 12u);
    vv::Frame want, got;
    for (std::size_t k = 0; k < 12; ++k) {
        ASSERT_TRUE(vv::read_frame(whole, k, want, error)) << error;
        ASSERT_TRUE(vv::read_frame(by_name, k, got, error)) << error;
        EXPECT_EQ(got.timestep, static_cast<long long>(k));
        EXPECT_EQ(got.atoms, k + 1);
        EXPECT_EQ(got.position, want.position) << "frame " << k;
        // Steps fall as the names rise: the last file comes first.
        const std::size_t back = 11 - k;
        ASSERT_TRUE(vv::read_frame(whole_ext, back, want, error)) << error;
        ASSERT_TRUE(vv::read_frame(by_step, k, got, error)) << error;
        EXPECT_EQ(got.timestep, 890 + 10 * static_cast<long long>(k));
        EXPECT_EQ(got.position, want.position) << "frame " << k;
    }
}

// The pictures of every frame are the single file's, byte for byte, and a
// name like the pattern's that is not a rank number is left out.
TEST(ViewerSequencePictures, EveryFormDrawsTheSingleFilesPicturesOnTwoRanks) {
    NEED_LMP();
    const vt::LmpRun &run = written(2);
    ASSERT_FALSE(run.dir.empty());
    const std::string dir = run.dir + "/";
    // A stray copy that `%` (digits only) must not pick up: its atoms
    // would overlap rank 0's.
    std::filesystem::copy_file(dir + "p.0.txt", dir + "p.old.txt");
    auto pictures = [&](const std::vector<std::string> &inputs, const std::string &out) {
        std::vector<std::string> args = inputs;
        args.insert(args.end(), {"--frames", "0:", "--size", "160x160", "--yaw", "30",
                                 "--screenshot-dir", out});
        const vt::Outcome r = vt::run(args, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
    };
    pictures({"all.txt"}, "one");
    for (const Form &form : forms(run.dir)) {
        SCOPED_TRACE(form.what);
        pictures(form.inputs, "seq");
        for (int k = 0; k < 11; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%06d.png", k);
            const std::string want = vt::file_bytes(dir + "one" + name);
            ASSERT_FALSE(want.empty());
            EXPECT_TRUE(vt::file_bytes(dir + "seq" + name) == want) << name;
        }
        std::filesystem::remove_all(dir + "seq");
    }
    // Alone, a part is drawn as what it holds, without a word.
    const vt::Outcome r = vt::run({"p.1.txt", "--screenshot", "part.png"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(vt::exists(dir + "part.png"));
}

// Sequences the program refuses: one line naming the input and where,
// status 1, and nothing written.
TEST(ViewerSequencePictures, BadSequencesEndWithOneLineAndNoOutput) {
    NEED_LMP();
    const vt::LmpRun &run = written(2);
    ASSERT_FALSE(run.dir.empty());
    const vt::Scratch scratch;
    const std::string &d = scratch.path;
    namespace fs = std::filesystem;
    for (const auto &e : fs::directory_iterator(run.dir))
        fs::copy_file(e.path(), d + e.path().filename().string());
    // A file no sniff doubts, broken within its atom rows.
    std::string text = vt::file_bytes(d + "seq.50.txt");
    const std::size_t row = text.find('\n', text.find("ITEM: ATOMS")) + 1;
    text.replace(row, text.find('\n', row) - row, "7 1 0.5 zero 0.5");
    vt::spill(d + "seq.50.txt", text);

    struct Case {
        std::vector<std::string> inputs;
        std::string says; // the whole of stderr, after "vorlix-view: "
    };
    const std::vector<Case> cases = {
        {{"none.*.txt"}, "none.*.txt: matches no file"},
        {{"all.txt", "q.%.txt"}, "q.%.txt: matches no file"},
        {{"all.txt", "t.xyz"}, "all.txt is lammps-dump but t.xyz is "},
        // The same step twice: every atom of the part is also in the whole.
        {{"p.1.txt", "all.txt"}, "all.txt and p.1.txt: step 0: both hold atom "},
        {{"seq.*.txt"}, "seq.50.txt: frame 1: line 10: "},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = c.inputs;
        args.insert(args.end(), {"--frames", "0:", "--movie", "out.mp4"});
        const vt::Outcome r = vt::run(args, d);
        EXPECT_EQ(r.status, 1) << c.says << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("vorlix-view: " + c.says, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_FALSE(vt::exists(d + "out.mp4"));
    }
}

} // namespace
