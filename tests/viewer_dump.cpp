// The LAMMPS dump index and frame reader (viewer/trajectory) on dumps that
// lmp writes here: frame and atom counts against LAMMPS's own log, positions
// of scaled, unscaled and triclinic dumps against each other, gzip streams,
// and refusals of real dumps edited into bad ones.
#include "viewer/trajectory/trajectory.h"

#include "bad_trajectories.h"
#include "lammps_run.h"
#include "same_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

namespace {

#define NEED_LMP()                                                                                 \
    if (!vt::have_lmp())                                                                           \
    GTEST_SKIP() << "lmp not found: install the Debian package lammps to run this test"

const char kLj[] = "mass * 1.0\n"
                   "pair_style lj/cut 2.5\npair_coeff * * 1.0 1.0 2.5\n";

// A 3-D Lennard-Jones melt of 256 atoms in a tilted box: dump atom (scaled)
// plain and gzipped, dump custom with its columns out of order once real and
// once scaled, and one without positions; the box as LAMMPS sees it in box.txt.
std::string melt_script() {
    return std::string("units lj\natom_style atomic\nlattice fcc 0.8442\n"
                       "region box prism 0 4 0 4 0 4 -1.0 0.5 -0.3\ncreate_box 1 box\n"
                       "create_atoms 1 box\n") +
           kLj +
           "velocity all create 3.0 87287\nfix 1 all nve\n"
           "thermo_style custom step atoms\nthermo 50\n"
           "dump atom all atom 50 melt.atom\ndump_modify atom sort id\n"
           "dump gz all atom/gz 50 melt.atom.gz\ndump_modify gz sort id\n"
           "dump real all custom 50 real.dump z type x id y vx\n"
           "dump_modify real sort id format float %.12g\n"
           "dump scaled all custom 50 scaled.dump zs type xs id ys vx\n"
           "dump_modify scaled sort id format float %.12g\n"
           "dump speeds all custom 100 speeds.dump id type vx vy vz\n"
           "run 200\n"
           "print \"$(xlo:%.15g) $(xhi:%.15g) $(ylo:%.15g) $(yhi:%.15g) $(zlo:%.15g) "
           "$(zhi:%.15g) $(xy:%.15g) $(xz:%.15g) $(yz:%.15g)\" file box.txt screen no\n";
}

// Atoms added between two runs, with UNITS and TIME sections in the dump.
std::string growth_script() {
    return std::string("units lj\natom_style atomic\nlattice fcc 0.8442\n"
                       "region box block 0 5 0 5 0 6\nregion low block 0 5 0 5 0 2\n"
                       "region high block 0 5 0 5 3.5 5.5\ncreate_box 2 box\n"
                       "create_atoms 1 region low\n") +
           kLj +
           "velocity all create 0.5 4928\nfix 1 all nve\n"
           "thermo_style custom step atoms\nthermo 20\n"
           "dump d all custom 20 grow.dump id type x y z\ndump_modify d units yes time yes\n"
           "run 60\ncreate_atoms 2 region high\nrun 60\n";
}

// A 2-D run: dump atom (z column of a flat box) and dump custom without z.
std::string flat_script() {
    return std::string("units lj\ndimension 2\natom_style atomic\nlattice sq2 0.8\n"
                       "region box block 0 10 0 10 -0.5 0.5\ncreate_box 1 box\n"
                       "create_atoms 1 box\n") +
           kLj +
           "velocity all create 1.0 87287\nfix 1 all nve\nfix 2 all enforce2d\n"
           "thermo_style custom step atoms\nthermo 50\n"
           "dump atom all atom 50 flat.atom\ndump_modify atom sort id\n"
           "dump xy all custom 50 flat.xy id x y\ndump_modify xy sort id\nrun 100\n";
}

using vt::Read;
using vt::read_all;

void expect_same_positions(const Read &a, const Read &b, float tolerance) {
    ASSERT_EQ(a.frames.size(), b.frames.size());
    for (std::size_t k = 0; k < a.frames.size(); ++k) {
        ASSERT_EQ(a.frames[k].id, b.frames[k].id) << "frame " << k;
        ASSERT_EQ(a.frames[k].position.size(), b.frames[k].position.size());
        for (std::size_t i = 0; i < a.frames[k].position.size(); ++i)
            ASSERT_NEAR(a.frames[k].position[i], b.frames[k].position[i], tolerance)
                << "frame " << k << " value " << i;
    }
}

TEST(DumpFromLammps, FramesAndAtomCountsAreThoseOfTheRun) {
    NEED_LMP();
    const struct {
        std::string (*script)();
        const char *dump;
        std::size_t frames;
    } runs[] = {{melt_script, "melt.atom", 5},
                {melt_script, "real.dump", 5},
                {growth_script, "grow.dump", 7},
                {flat_script, "flat.atom", 3}};
    for (const auto &c : runs) {
        SCOPED_TRACE(c.dump);
        const vt::LmpRun run = vt::run_lmp(c.script());
        const std::string &dir = run.dir;
        ASSERT_NE(dir, "") << "lmp failed";
        const auto thermo = vt::thermo_atoms(vt::slurp(dir + "/log.lammps"));
        const Read r = read_all(dir + "/" + c.dump);
        ASSERT_EQ(r.frames.size(), c.frames);
        ASSERT_EQ(thermo.size(), c.frames);
        std::size_t k = 0;
        for (const auto &[step, atoms] : thermo) {
            const vv::Frame &f = r.frames[k];
            EXPECT_EQ(r.index.frames[k].timestep, step);
            EXPECT_EQ(r.index.frames[k].atoms, atoms);
            EXPECT_EQ(f.timestep, step);
            EXPECT_EQ(f.atoms, atoms);
            EXPECT_EQ(f.position.size(), 3 * atoms);
            EXPECT_EQ(f.skipped, 0u);
            std::vector<std::int64_t> ids(f.id);
            std::sort(ids.begin(), ids.end());
            EXPECT_EQ(ids.front(), 1);
            EXPECT_EQ(ids.back(), static_cast<std::int64_t>(atoms));
            ++k;
        }
        if (std::string(c.dump) == "grow.dump") { // the added atoms are of type 2
            const std::vector<std::int32_t> &types = r.frames.back().type;
            EXPECT_EQ(std::count(types.begin(), types.end(), 2), 250);
        }
    }
}

TEST(DumpFromLammps, TriclinicScaledAndReorderedColumnsGiveOnePosition) {
    NEED_LMP();
    const vt::LmpRun run = vt::run_lmp(melt_script());
    const std::string &dir = run.dir;
    ASSERT_NE(dir, "") << "lmp failed";
    const Read real = read_all(dir + "/real.dump"), scaled = read_all(dir + "/scaled.dump"),
               atom = read_all(dir + "/melt.atom");
    std::istringstream box_txt(vt::slurp(dir + "/box.txt"));
    double want[9];
    for (double &v : want)
        ASSERT_TRUE(box_txt >> v);
    for (const Read *r : {&real, &scaled, &atom})
        for (const vv::Frame &f : r->frames) {
            const vv::Box &b = f.box;
            const double got[9] = {b.lo[0], b.hi[0], b.lo[1], b.hi[1], b.lo[2],
                                   b.hi[2], b.xy,    b.xz,    b.yz};
            EXPECT_TRUE(b.triclinic);
            for (int i = 0; i < 9; ++i)
                EXPECT_NEAR(got[i], want[i], 1e-12) << i;
            EXPECT_EQ(b.boundary[0], "pp");
        }
    const vv::Frame &last = real.frames.back();
    EXPECT_EQ(last.columns, (std::vector<std::string>{"z", "type", "x", "id", "y", "vx"}));
    EXPECT_EQ(last.position_columns, "x y z");
    EXPECT_EQ(scaled.frames.back().position_columns, "xs ys zs");
    ASSERT_EQ(last.fields.size(), 1u);
    EXPECT_EQ(last.fields[0].name, "vx");
    EXPECT_EQ(last.fields[0].values, scaled.frames.back().fields[0].values);
    // %.12g scaled against real: float precision; dump atom's %g: 6 digits.
    expect_same_positions(real, scaled, 1e-5f);
    expect_same_positions(real, atom, 1e-4f);
}

TEST(DumpFromLammps, TwoDimensionalRunsKeepZOrGiveZero) {
    NEED_LMP();
    const vt::LmpRun run = vt::run_lmp(flat_script());
    const std::string &dir = run.dir;
    ASSERT_NE(dir, "") << "lmp failed";
    const Read atom = read_all(dir + "/flat.atom"), xy = read_all(dir + "/flat.xy");
    EXPECT_EQ(xy.frames[0].position_columns, "x y");
    expect_same_positions(atom, xy, 1e-4f);
    for (const vv::Frame &f : xy.frames)
        for (std::size_t i = 2; i < f.position.size(); i += 3)
            ASSERT_EQ(f.position[i], 0.0f);
}

TEST(DumpFromLammps, GzipStreamsReadAsThePlainDump) {
    NEED_LMP();
    const vt::LmpRun run = vt::run_lmp(melt_script());
    const std::string &dir = run.dir;
    ASSERT_NE(dir, "") << "lmp failed";
    ASSERT_EQ(std::system(("gzip -c " + dir + "/real.dump > " + dir + "/real.gz").c_str()), 0);
    const Read plain = read_all(dir + "/melt.atom"), gz = read_all(dir + "/melt.atom.gz"),
               real = read_all(dir + "/real.dump"), real_gz = read_all(dir + "/real.gz");
    EXPECT_EQ(gz.index.compression, vv::io::Kind::Gzip);
    EXPECT_EQ(real_gz.index.compression, vv::io::Kind::Gzip);
    EXPECT_EQ(plain.index.compression, vv::io::Kind::Plain);
    ASSERT_EQ(gz.index.frames.size(), plain.index.frames.size());
    for (std::size_t k = 0; k < plain.index.frames.size(); ++k)
        EXPECT_EQ(gz.index.frames[k].offset, plain.index.frames[k].offset);
    expect_same_positions(plain, gz, 0);
    expect_same_positions(real, real_gz, 0);
    // Backwards through one Frame: the stream starts over each time.
    vv::Frame f;
    std::string error;
    for (std::size_t k = gz.frames.size(); k-- > 0;) {
        ASSERT_TRUE(vv::read_frame(gz.index, k, f, error)) << error;
        EXPECT_EQ(f.position, plain.frames[k].position);
    }
    // A stream cut short, as by a run still writing: the complete frames.
    const std::string bytes = vt::slurp(dir + "/real.gz");
    vt::spill(dir + "/cut.gz", bytes.substr(0, bytes.size() * 6 / 10));
    vv::FrameIndex cut;
    ASSERT_TRUE(vv::open_trajectory(dir + "/cut.gz", cut, error)) << error;
    EXPECT_GT(cut.frames.size(), 0u);
    EXPECT_LT(cut.frames.size(), real.frames.size());
    EXPECT_NE(cut.warning.find(": frame " + std::to_string(cut.frames.size() + 1) + ": "),
              std::string::npos)
        << cut.warning;
    for (std::size_t k = 0; k < cut.frames.size(); ++k) {
        ASSERT_TRUE(vv::read_frame(cut, k, f, error)) << error;
        EXPECT_EQ(f.position, real.frames[k].position);
    }
}

// Copies of a real dump past the index scan's first block (8 MiB in
// viewer/trajectory/dump.cpp), the last row before the block end padded with
// blanks so that a frame starts just before it (its header then straddles
// the block) or exactly on it.
TEST(DumpFromLammps, FramesAtTheScanBlockEdgeAreFound) {
    NEED_LMP();
    const vt::LmpRun run = vt::run_lmp(melt_script());
    const std::string &dir = run.dir;
    ASSERT_NE(dir, "") << "lmp failed";
    const std::string one = vt::slurp(dir + "/real.dump");
    const std::size_t block = std::size_t(8) << 20;
    for (const std::size_t before : {40, 20, 15, 14, 5, 1, 0}) {
        SCOPED_TRACE(before);
        std::string text;
        while (text.size() + one.size() < block)
            text += one;
        text.insert(text.size() - 1, block - before - text.size(), ' ');
        text += one + one;
        vt::spill(dir + "/long.dump", text);
        const Read r = read_all(dir + "/long.dump");
        std::vector<std::uint64_t> starts;
        for (std::size_t at = 0; at != std::string::npos;
             at = text.find("\nITEM: TIMESTEP", at + 1))
            starts.push_back(at ? at + 1 : 0);
        ASSERT_EQ(r.index.frames.size(), starts.size());
        EXPECT_TRUE(std::find(starts.begin(), starts.end(), block - before) != starts.end());
        for (std::size_t k = 0; k < starts.size(); ++k) {
            ASSERT_EQ(r.index.frames[k].offset, starts[k]);
            ASSERT_EQ(r.frames[k].position, r.frames[k % 5].position);
        }
    }
}

// Where line l (from 1) of frame k (from 1) of a dump starts.
std::size_t line_at(const std::string &text, int k, int l) {
    std::size_t at = std::string::npos;
    for (int i = 0; i < k; ++i)
        at = text.find("ITEM: TIMESTEP", at + 1);
    for (int i = 1; i < l; ++i)
        at = text.find('\n', at) + 1;
    return at;
}

// That line replaced, or dropped when the replacement is absent.
std::string edit_line(std::string text, int k, int l, std::optional<std::string> with) {
    const std::size_t at = line_at(text, k, l), end = text.find('\n', at) + 1;
    return text.replace(at, end - at, with ? *with + "\n" : "");
}

TEST(DumpFromLammps, BadBytesAreRefusedNamingFileFrameAndLine) {
    NEED_LMP();
    const vt::LmpRun run = vt::run_lmp(melt_script());
    const std::string &dir = run.dir;
    ASSERT_NE(dir, "") << "lmp failed";
    const std::string good = vt::slurp(dir + "/melt.atom"), path = dir + "/bad.atom";
    const std::string trillion = "1000000000000";
    using namespace vt; // the stages
    const BadTrajectory cases[] = {
        {"", kIndex, 0, 0, "empty file"},
        {"hello\n", kIndex, 0, 0, "frame 1: line 1: expected ITEM: TIMESTEP, found 'hello'"},
        {edit_line(good, 1, 100, std::nullopt), kIndex, 0, 0,
         "frame 1: line 265: 255 rows where NUMBER OF ATOMS says 256"},
        {edit_line(good, 2, 3, std::nullopt), kIndex, 0, 0,
         "frame 2: line 3: expected ITEM: NUMBER OF ATOMS, found '256'"},
        {edit_line(good, 1, 4, trillion), kIndex, 0, 0,
         "frame 1: line 266: 256 rows where NUMBER OF ATOMS says 1000000000000"},
        {edit_line(good, 5, 4, trillion), kWarning, 4, 4,
         "frame 5: line 266: 256 rows where NUMBER OF ATOMS says 1000000000000; the file ends "
         "there, the frame is left out"},
        {good.substr(0, line_at(good, 5, 100) + 7), kWarning, 4, 4,
         "frame 5: line 100: 90 rows where NUMBER OF ATOMS says 256; the file ends there, the "
         "frame is left out"},
        {good.substr(0, line_at(good, 5, 3) + 9), kWarning, 4, 4,
         "frame 5: line 1: the file ends inside the frame's header; the frame is left out"},
        {edit_line(good, 2, 20, "12 1 0.5x 0.1 0.2"), kRead, 5, 2,
         "frame 2: line 20: column 'xs': bad value '0.5x'"},
        {edit_line(good, 2, 5, ""), kRead, 5, 2,
         "frame 2: line 5: expected ITEM: BOX BOUNDS, found ''"},
        {edit_line(good, 2, 20, "12 1 1 2 3 4"), kRead, 5, 2,
         "frame 2: line 20: more fields than the 5 ITEM: ATOMS names"},
        {edit_line(good, 2, 265, "256 1 0.5 0.5 0.5\n257 1 0.5 0.5 0.5"), kRead, 5, 2,
         "frame 2: line 266: more rows than NUMBER OF ATOMS says (256): '257 1 0.5 0.5 0.5'"},
        {vt::slurp(dir + "/speeds.dump"), kRead, 3, 1,
         "frame 1: line 9: no position columns (x y z, xu yu zu, xs ys zs or xsu ysu zsu) among "
         "5 columns"},
        {edit_line(good, 2, 4, trillion), kChanged, 5, 2,
         "frame 2: line 4: NUMBER OF ATOMS 1000000000000 is more than the frame's "},
        {edit_line(edit_line(good, 2, 20, "12 1 nan 0.1 0.2"), 2, 21, "13 1 0.5 -inf 0.2"), kReadOk,
         5, 2, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        ASSERT_NO_FATAL_FAILURE(vt::check_bad_trajectory(c, path, good, [&](const vv::Frame &f) {
            EXPECT_EQ(f.skipped, c.stage == kReadOk ? 2u : 0u);
            EXPECT_EQ(f.atoms + f.skipped, 256u);
        }));
    }
}

} // namespace
