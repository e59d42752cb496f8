// Opening a trajectory at once: the boxes the index reads from the frame
// headers against those the frames give, frames parsed on several threads
// against read_frame itself, the first bad frame in file order told
// whatever thread met it, and the player showing frame 1 while the pass over
// the run is held (its file a FIFO: see held_fifo.h), taking the pass in
// when it ends and changing the fit once, not while playing. Trajectories
// are written here by lmp, ASE and MDAnalysis.
#include "viewer/play/frame_pool.h"
#include "viewer/play/player.h"
#include "viewer/play/run_pass.h"

#include "held_fifo.h"
#include "lammps_run.h"
#include "same_frame.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

// A fresh directory per test (PATH ends in '/'), removed with it.
struct Scratch {
    std::string path = ::testing::TempDir() + "run_pass_XXXXXX";
    Scratch() {
        EXPECT_NE(mkdtemp(path.data()), nullptr);
        path += "/";
    }
    ~Scratch() { EXPECT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0); }
};

#define NEED_LMP()                                                                                 \
    if (!vt::have_lmp())                                                                           \
    GTEST_SKIP() << "lmp not found: install the Debian package lammps to run this test"

// 256 atoms in a tilted box that grows along x and shears as it runs: no
// frame's box is the union of all. 11 frames; vx a column to colour by.
const char kDeforming[] =
    "units lj\natom_style atomic\nlattice fcc 0.8442\n"
    "region box prism 0 4 0 4 0 4 0.5 -0.3 0.2\ncreate_box 2 box\ncreate_atoms 1 box\n"
    "mass * 1.0\npair_style zero 1.0\npair_coeff * *\nvelocity all create 1.0 4928\n"
    "fix 1 all nve\nfix 2 all deform 5 x scale 1.3 xy final 1.5 remap x\n"
    "dump d all custom 5 tri.dump id type x y z vx\n"
    "dump_modify d sort id format float %.17g\nrun 50\n";
constexpr std::size_t kFrames = 11;

struct Deforming {
    const vt::LmpRun lmp = vt::run_lmp(kDeforming);
    const Scratch scratch;
    std::string dump() const { return lmp.dir + "/tri.dump"; }
    std::string text() const { return vt::slurp(dump()); }
};

// The text with frame k's (from 0) first atom row's x made unreadable.
std::string spoilt(std::string text, std::size_t k) {
    std::size_t at = 0;
    for (std::size_t i = 0; i <= k; ++i)
        at = text.find("ITEM: ATOMS", at + 1);
    at = text.find('\n', at) + 1;                    // the first row
    at = text.find(' ', text.find(' ', at) + 1) + 1; // past id and type
    text.replace(at, 1, "#");
    return text;
}

std::vector<vv::Frame> every_frame(const vv::FrameIndex &index) {
    std::vector<vv::Frame> frames(index.frames.size());
    std::string error;
    for (std::size_t k = 0; k < frames.size(); ++k)
        EXPECT_TRUE(vv::read_frame(index, k, frames[k], error)) << error;
    return frames;
}

TEST(RunPass, TheIndexGivesTheUnionOfTheBoxesTheFramesGive) {
    NEED_LMP();
    const Deforming run;
    ASSERT_FALSE(run.lmp.dir.empty());
    vv::FrameIndex index;
    std::string error;
    ASSERT_TRUE(vv::open_trajectory(run.dump(), index, error)) << error;
    ASSERT_EQ(index.frames.size(), kFrames);
    ASSERT_TRUE(index.boxes_known);
    vv::BoxFit fit, first;
    const std::vector<vv::Frame> frames = every_frame(index);
    for (const vv::Frame &f : frames)
        fit.add(f.box);
    first.add(frames[0].box);
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(index.boxes_lo[a], fit.bounds.lo[a]) << "axis " << a;
        EXPECT_EQ(index.boxes_hi[a], fit.bounds.hi[a]) << "axis " << a;
    }
    EXPECT_LT(fit.bounds.lo[0], first.bounds.lo[0]) << "the run's box is not the first frame's";
    // The index's is the whole run's fit: the pass leaves it.
    vv::Player p;
    ASSERT_TRUE(p.open(run.dump(), false, error)) << error;
    EXPECT_TRUE(p.whole_run_known());
    EXPECT_EQ(p.fits(), 1);

    // A cut last frame is left out of the union as it is of the index.
    const std::string text = run.text();
    vt::spill(run.scratch.path + "cut.dump", text.substr(0, text.size() - 40));
    ASSERT_TRUE(vv::open_trajectory(run.scratch.path + "cut.dump", index, error)) << error;
    ASSERT_EQ(index.frames.size(), kFrames - 1);
    vv::BoxFit fewer;
    for (std::size_t k = 0; k + 1 < kFrames; ++k)
        fewer.add(frames[k].box);
    EXPECT_EQ(index.boxes_hi[0], fewer.bounds.hi[0]);
    EXPECT_NE(index.boxes_hi[0], fit.bounds.hi[0]) << "the last frame's box is the widest";
}

TEST(FramePool, FramesComeInTheOrderAskedAsReadFrameGivesThem) {
    NEED_LMP();
    const Deforming run;
    ASSERT_FALSE(run.lmp.dir.empty());
    const std::string gz = run.scratch.path + "tri.dump.gz";
    ASSERT_TRUE(vt::write_gzip(gz, run.text()));
    for (const std::string &path : {run.dump(), gz}) {
        vv::FrameIndex index;
        std::string error;
        ASSERT_TRUE(vv::open_trajectory(path, index, error)) << error;
        const std::vector<vv::Frame> want = every_frame(index);
        const std::vector<std::vector<std::size_t>> orders = {
            {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {1, 4, 7, 10}, {9}};
        for (const unsigned threads : {1u, 2u, 4u})
            for (const auto &order : orders) {
                vv::FramePool pool(index, order, threads);
                vv::Frame frame;
                for (std::size_t i = 0; i < order.size(); ++i) {
                    ASSERT_TRUE(pool.take(i, frame, error)) << error;
                    EXPECT_TRUE(vt::same(frame, want[order[i]]))
                        << path << ", " << threads << " threads, picture " << i;
                }
            }
    }
}

// Frames 3 and 8 bad: whichever thread meets which first, the frames before
// frame 3 come, and frame 3's error is the one told, as read_frame words it.
TEST(FramePool, TheFirstBadFrameInFileOrderIsTheOneTold) {
    NEED_LMP();
    const Deforming run;
    ASSERT_FALSE(run.lmp.dir.empty());
    const std::string bad = run.scratch.path + "bad.dump";
    vt::spill(bad, spoilt(spoilt(run.text(), 3), 8));
    vv::FrameIndex index;
    std::string error, want;
    ASSERT_TRUE(vv::open_trajectory(bad, index, error)) << error;
    vv::Frame frame;
    ASSERT_FALSE(vv::read_frame(index, 3, frame, want));
    EXPECT_NE(want.find("bad.dump: frame 4: line 10: "), std::string::npos) << want;
    for (const unsigned threads : {1u, 2u, 4u}) {
        vv::FramePool pool(index, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, threads);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_TRUE(pool.take(i, frame, error)) << error;
        error.clear();
        EXPECT_FALSE(pool.take(3, frame, error));
        EXPECT_EQ(error, want) << threads << " threads";

        vv::RunPass pass(index, threads);
        vv::RunFacts facts;
        error.clear();
        std::size_t heard = 0;
        EXPECT_FALSE(pass.wait([&](std::size_t k, std::size_t) { heard = k; }, facts, error));
        EXPECT_EQ(error, want) << threads << " threads";
        EXPECT_EQ(heard, 3u) << "progress ends at the frames read well";
    }
    vv::Player p;
    EXPECT_FALSE(p.open(bad, false, error));
    EXPECT_EQ(error, want);
}

// Polls the player until its pass has ended (the test's bound, not a speed
// claim); the error it ended with, if any.
std::string ended(vv::Player &p) {
    std::string error;
    for (int i = 0; i < 20000 && !p.poll_pass(error); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(p.pass_running());
    return error;
}

// Where the nodes are: the first node of each atom i in order.
std::vector<VoxelNode> nodes(const vv::Player &p) {
    std::vector<VoxelNode> out;
    for (unsigned int l = 0; l < p.list_count(); ++l)
        for (const VoxelNode *v = p.lists()[l]; v; v = v->next)
            out.push_back(*v);
    return out;
}

TEST(PlayerOpensAtOnce, TheFirstFrameShowsWhileThePassIsHeldThenTheRangesComeIn) {
    NEED_LMP();
    const Deforming run;
    ASSERT_FALSE(run.lmp.dir.empty());
    const std::string gz = run.scratch.path + "tri.dump.gz";
    ASSERT_TRUE(vt::write_gzip(gz, run.text()));
    vv::Player whole;
    std::string error;
    ASSERT_TRUE(whole.open(gz, false, error)) << error;
    ASSERT_TRUE(whole.colour_by("vx", error)) << error;

    vv::Player p;
    ASSERT_TRUE(p.open_first(gz, false, error)) << error;
    vt::Held held(gz, vt::slurp(gz));
    p.start_pass(2);
    ASSERT_TRUE(held.came()) << "the pass opened the file";
    EXPECT_TRUE(p.pass_running());
    EXPECT_FALSE(p.whole_run_known());
    EXPECT_FALSE(p.poll_pass(error));
    ASSERT_TRUE(p.colour_by("vx", error)) << error;
    EXPECT_EQ(p.shown(), 0u);
    EXPECT_EQ(nodes(p).size(), 256u) << "frame 1 in the nodes";
    const std::string so_far = p.describe();
    EXPECT_NE(so_far.find("colour: vx "), std::string::npos) << so_far;
    EXPECT_NE(so_far.find(" (range of frames read so far)"), std::string::npos) << so_far;
    EXPECT_NE(so_far, whole.describe());
    const std::vector<VoxelNode> before = nodes(p);

    ASSERT_TRUE(held.feed());
    EXPECT_EQ(ended(p), "");
    EXPECT_TRUE(p.whole_run_known());
    EXPECT_FALSE(p.needs_whole_run());
    EXPECT_EQ(p.describe(), whole.describe()) << "the whole run's range";
    EXPECT_EQ(p.fits(), 1) << "the index gave the fit";
    const std::vector<VoxelNode> after = nodes(p), want = nodes(whole);
    ASSERT_EQ(after.size(), want.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].x, before[i].x) << "atom " << i << " stays";
        EXPECT_EQ(after[i].r, want[i].r) << "atom " << i << " recoloured by the whole run";
    }
}

// Where the atoms of boxless_xyz.py go: the first frame's bounds at first
// (x 1..5, y 2..4, z 3: centre 3 3 3, 4 along x), the run's once the
// pass ends (x -2..8, y 2..5, z 3..4: centre 3 3.5 3.5, 10 along x).
const float kFirstFit[3][3] = {{-0.5f, -0.25f, 0}, {0.5f, -0.25f, 0}, {0, 0.25f, 0}};
const float kRunFit[3][3] = {{-0.2f, -0.15f, -0.05f}, {0.2f, -0.15f, -0.05f}, {0, 0.05f, -0.05f}};

::testing::AssertionResult at(const std::vector<VoxelNode> &got, const float (&want)[3][3]) {
    if (got.size() != 3)
        return ::testing::AssertionFailure() << got.size() << " atoms";
    for (int i = 0; i < 3; ++i) {
        const float g[3] = {got[i].x, got[i].y, got[i].z};
        for (int a = 0; a < 3; ++a)
            if (std::abs(g[a] - want[i][a]) > 1e-6f)
                return ::testing::AssertionFailure()
                       << "atom " << i << " axis " << a << ": " << g[a] << ", want " << want[i][a];
    }
    return ::testing::AssertionSuccess();
}

TEST(PlayerOpensAtOnce, ABoxlessRunsFitChangesOnceWhenThePassEndsNotWhilePlaying) {
    const Scratch scratch;
    const std::string &d = scratch.path;
    const int status =
        std::system((std::string(SYSTEM_PYTHON) + " " + BOXLESS_SCRIPT + " " + d).c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "ASE or MDAnalysis missing (python3-ase, python3-mdanalysis)";
    ASSERT_EQ(status, 0);
    for (const char *writer : {"ase", "mda"}) {
        SCOPED_TRACE(writer);
        const std::string gz = d + writer + ".xyz.gz";
        ASSERT_TRUE(vt::write_gzip(gz, vt::slurp(d + writer + ".xyz")));
        vv::Player p;
        std::string error;
        ASSERT_TRUE(p.open_first(gz, false, error)) << error;
        EXPECT_TRUE(p.needs_whole_run()) << "no box: the fit is the first frame's atoms";
        EXPECT_TRUE(at(nodes(p), kFirstFit));
        const std::string bytes = vt::slurp(gz);
        {
            vt::Held held(gz, bytes);
            p.start_pass();
            ASSERT_TRUE(held.came());
            p.playing = true;
            ASSERT_TRUE(held.feed());
            EXPECT_EQ(ended(p), "");
        }
        vt::spill(gz, bytes); // the file again, for the frames read below
        EXPECT_TRUE(p.whole_run_known());
        EXPECT_EQ(p.fits(), 1) << "not while playing";
        EXPECT_TRUE(at(nodes(p), kFirstFit));
        EXPECT_FALSE(p.settle());
        ASSERT_TRUE(p.read(0, error)) << error; // a frame shown while playing
        EXPECT_TRUE(at(nodes(p), kFirstFit));
        p.playing = false;
        EXPECT_TRUE(p.settle()) << "paused: the run's fit";
        EXPECT_EQ(p.fits(), 2);
        EXPECT_TRUE(at(nodes(p), kRunFit));
        EXPECT_FALSE(p.settle()) << "once";
        ASSERT_TRUE(p.read(1, error)) << error;
        EXPECT_EQ(p.fits(), 2);
    }
}

} // namespace
