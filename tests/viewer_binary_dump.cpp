// LAMMPS binary dumps and zstd streams against the text dump of the same
// run, all written here by lmp (1 and 2 ranks, orthogonal and triclinic
// boxes) and the zstd tool: every frame's positions, ids, types, fields and
// box the same numbers, the same pictures byte for byte, and real files
// edited into bad ones refused on one line.
#include "viewer/trajectory/trajectory.h"

#include "bad_trajectories.h"
#include "lammps_run.h"
#include "same_frame.h"
#include "viewer_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

#define NEED_LMP()                                                                                 \
    if (!vt::have_lmp())                                                                           \
    GTEST_SKIP() << "lmp not found: install the Debian package lammps to run this test"

// A two-type Lennard-Jones melt writing the same frames every way: text
// custom at full precision (t.txt) and its scaled twin (s.txt, the columns
// of dump atom), binary custom (c.bin) and atom (a.bin), custom/zstd
// (t.zst); the box tilted when asked.
std::string script(bool triclinic) {
    const std::string custom = " id type x y z vx fx\n";
    const std::string full = " format float %.17g\n";
    return std::string("units lj\natom_style atomic\nlattice fcc 0.8442\n") +
           (triclinic ? "region box prism 0 4 0 3 0 3 0.5 -0.3 0.2\n"
                      : "region box block 0 4 0 3 0 3\n") +
           "create_box 2 box\ncreate_atoms 1 box\nset type 1 type/fraction 2 0.3 1234\n"
           "mass * 1.0\npair_style lj/cut 2.5\npair_coeff * * 1.0 1.0 2.5\n"
           "velocity all create 3.0 87287\nfix 1 all nve\n"
           "dump t all custom 10 t.txt" +
           custom + "dump_modify t" + full + "dump c all custom 10 c.bin" + custom +
           "dump s all custom 10 s.txt id type xs ys zs\ndump_modify s" + full +
           "dump a all atom 10 a.bin\n"
           "dump z all custom/zstd 10 t.zst" +
           custom + "dump_modify z" + full + "run 40\n";
}

using vt::Read;
using vt::read_all;

// Atom i of f's place in id order.
std::vector<std::size_t> id_order(const vv::Frame &f) {
    std::vector<std::size_t> order(f.atoms);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](auto a, auto b) { return f.id[a] < f.id[b]; });
    return order;
}

// The same frames, atom by atom in id order (ranks write theirs in turn):
// the very same floats, the same columns and the same box.
void expect_same_frames(const Read &a, const Read &b) {
    ASSERT_EQ(a.index.frames.size(), b.index.frames.size());
    ASSERT_GT(a.frames.size(), 1u);
    for (std::size_t k = 0; k < a.frames.size(); ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        const vv::Frame &f = a.frames[k], &g = b.frames[k];
        EXPECT_EQ(a.index.frames[k].timestep, b.index.frames[k].timestep);
        ASSERT_EQ(f.atoms, g.atoms);
        ASSERT_GT(f.atoms, 100u);
        EXPECT_EQ(f.columns, g.columns);
        EXPECT_EQ(f.position_columns, g.position_columns);
        const double box_f[9] = {f.box.lo[0], f.box.hi[0], f.box.lo[1], f.box.hi[1], f.box.lo[2],
                                 f.box.hi[2], f.box.xy,    f.box.xz,    f.box.yz};
        const double box_g[9] = {g.box.lo[0], g.box.hi[0], g.box.lo[1], g.box.hi[1], g.box.lo[2],
                                 g.box.hi[2], g.box.xy,    g.box.xz,    g.box.yz};
        EXPECT_TRUE(std::equal(box_f, box_f + 9, box_g));
        EXPECT_EQ(f.box.triclinic, g.box.triclinic);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(f.box.boundary[i], g.box.boundary[i]);
        const std::vector<std::size_t> of = id_order(f), og = id_order(g);
        ASSERT_EQ(f.fields.size(), g.fields.size());
        for (std::size_t i = 0; i < f.atoms; ++i) {
            const std::size_t p = of[i], q = og[i];
            ASSERT_EQ(f.id[p], g.id[q]);
            ASSERT_EQ(f.type[p], g.type[q]) << "id " << f.id[p];
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(f.position[3 * p + c], g.position[3 * q + c]) << "id " << f.id[p];
            for (std::size_t c = 0; c < f.fields.size(); ++c)
                ASSERT_EQ(f.fields[c].values[p], g.fields[c].values[q]) << f.fields[c].name;
        }
    }
}

// `file` compressed by the zstd tool in two frames, cut anywhere, one after
// the other (a file grown by appends).
void zstd_two_frames(const std::string &dir, const std::string &file, const std::string &out) {
    const std::string cmd = "cd " + dir + " && n=$(($(stat -c %s " + file +
                            ") / 3)) && head -c $n " + file + " | zstd -q -c > " + out +
                            " && tail -c +$((n + 1)) " + file + " | zstd -q -c >> " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

TEST(BinaryDumpFromLammps, EveryFormEqualsTheTextDumpOnOneAndTwoRanks) {
    NEED_LMP();
    for (const int ranks : {1, 2})
        for (const bool triclinic : {false, true}) {
            SCOPED_TRACE(std::to_string(ranks) + (triclinic ? " ranks, triclinic" : " ranks"));
            const vt::LmpRun run = vt::run_lmp(script(triclinic), ranks);
            ASSERT_NE(run.dir, "") << "lmp failed";
            const std::string d = run.dir + "/";
            zstd_two_frames(d, "c.bin", "c.bin.zst");
            const Read text = read_all(d + "t.txt"), scaled = read_all(d + "s.txt");
            EXPECT_EQ(text.frames.size(), 5u);
            EXPECT_EQ(text.frames[0].box.triclinic, triclinic);
            const Read custom = read_all(d + "c.bin");
            EXPECT_EQ(custom.index.format, vv::trajectory_format("lammps-binary"));
            expect_same_frames(text, custom);
            expect_same_frames(scaled, read_all(d + "a.bin"));
            const Read lmp_zstd = read_all(d + "t.zst"), cli_zstd = read_all(d + "c.bin.zst");
            EXPECT_EQ(lmp_zstd.index.compression, vv::io::Kind::Zstd);
            EXPECT_EQ(cli_zstd.index.compression, vv::io::Kind::Zstd);
            expect_same_frames(text, lmp_zstd);
            expect_same_frames(text, cli_zstd);
            // The binary index lies where each frame's magic does.
            const std::string bytes = vt::slurp(d + "c.bin");
            for (const vv::FrameEntry &e : custom.index.frames)
                EXPECT_EQ(bytes.compare(e.offset + 8, 10, "DUMPCUSTOM"), 0);
            EXPECT_EQ(custom.index.end, bytes.size());
        }
}

// Cut short, a zstd stream keeps the frames before the cut with the same
// warning as a gzip stream cut at the same frame; read backwards through
// one Frame, the stream starts over.
TEST(BinaryDumpFromLammps, ZstdCutShortOrReadBackwardsAsGzip) {
    NEED_LMP();
    const vt::LmpRun run = vt::run_lmp(script(false));
    ASSERT_NE(run.dir, "") << "lmp failed";
    const std::string d = run.dir + "/";
    ASSERT_EQ(std::system(("cd " + d + " && gzip -c t.txt > t.gz").c_str()), 0);
    zstd_two_frames(d, "t.txt", "t.zs2");
    const Read text = read_all(d + "t.txt");
    std::string error;
    vv::Frame f;
    const vv::FrameIndex zst = read_all(d + "t.zst").index;
    for (std::size_t k = zst.frames.size(); k-- > 0;) {
        ASSERT_TRUE(vv::read_frame(zst, k, f, error)) << error;
        EXPECT_EQ(f.position, text.frames[k].position);
    }
    // gzip and the zstd tool's stream (two frames) cut inside a dump frame:
    // that frame named, as in a plain file cut there. lmp's own zstd
    // flushes a zstd frame per dump frame, so its cut ends between frames.
    const struct {
        const char *file;
        bool inside;
    } kCuts[] = {{"t.gz", true}, {"t.zs2", true}, {"t.zst", false}};
    for (const auto &c : kCuts) {
        SCOPED_TRACE(c.file);
        const std::string bytes = vt::slurp(d + c.file);
        vt::spill(d + "cut", bytes.substr(0, bytes.size() * 6 / 10));
        vv::FrameIndex cut;
        ASSERT_TRUE(vv::open_trajectory(d + "cut", cut, error)) << error;
        EXPECT_GT(cut.frames.size(), 0u);
        EXPECT_LT(cut.frames.size(), text.frames.size());
        for (std::size_t k = 0; k < cut.frames.size(); ++k) {
            ASSERT_TRUE(vv::read_frame(cut, k, f, error)) << error;
            EXPECT_EQ(f.position, text.frames[k].position);
        }
        const std::string frame = d + "cut: frame " + std::to_string(cut.frames.size() + 1);
        if (c.inside)
            EXPECT_TRUE(cut.warning.rfind(frame + ": line ", 0) == 0 &&
                        cut.warning.find("; the file ends there, the frame is left out") !=
                            std::string::npos)
                << cut.warning;
        else
            EXPECT_EQ(cut.warning, "");
    }
}

// dump_modify time yes (units yes too): each frame's time, in text, zstd
// and binary, and otherwise the plain dump's frames; a file that ends with
// the UNITS and TIME of a frame not yet written keeps every complete one; a
// time that is not a number is named where it stands.
TEST(BinaryDumpFromLammps, TimeSectionsGiveEachFramesTime) {
    NEED_LMP();
    std::string in = script(false);
    const std::string custom = " id type x y z vx fx\n";
    in.insert(in.rfind("run 40"),
              "dump tt all custom 10 tt.txt" + custom +
                  "dump_modify tt format float %.17g time yes units yes\n"
                  "dump tb all custom 10 tb.bin" +
                  custom + "dump_modify tb time yes units yes\ndump tz all custom/zstd 10 tt.zst" +
                  custom + "dump_modify tz format float %.17g time yes units yes\n");
    const vt::LmpRun run = vt::run_lmp(in);
    ASSERT_NE(run.dir, "") << "lmp failed";
    const std::string d = run.dir + "/";
    const Read plain = read_all(d + "t.txt");
    for (const vv::Frame &f : plain.frames)
        EXPECT_TRUE(std::isnan(f.time));
    const double times[] = {0, 0.05, 0.1, 0.15, 0.2}; // lj's 0.005 a step, every 10 steps
    for (const char *name : {"tt.txt", "tt.zst", "tb.bin"}) {
        SCOPED_TRACE(name);
        const Read timed = read_all(d + name);
        expect_same_frames(plain, timed);
        ASSERT_EQ(timed.frames.size(), 5u);
        for (std::size_t k = 0; k < 5; ++k)
            EXPECT_NEAR(timed.frames[k].time, times[k], 1e-12) << "frame " << k;
    }
    const std::string text = vt::slurp(d + "tt.txt");
    ASSERT_EQ(text.rfind("ITEM: UNITS\nlj\nITEM: TIME\n", 0), 0u);
    vt::spill(d + "growing.txt", text + "ITEM: TIME\n0.25\n");
    expect_same_frames(plain, read_all(d + "growing.txt"));

    std::string bad = text;
    const std::size_t second = bad.find("ITEM: TIME\n", bad.find("ITEM: TIMESTEP")) + 11;
    bad.replace(second, bad.find('\n', second) - second, "soon");
    vt::spill(d + "bad.txt", bad);
    vv::FrameIndex index;
    std::string error;
    ASSERT_TRUE(vv::open_trajectory(d + "bad.txt", index, error)) << error;
    vv::Frame f;
    EXPECT_TRUE(vv::read_frame(index, 0, f, error)) << error;
    EXPECT_FALSE(vv::read_frame(index, 1, f, error));
    EXPECT_EQ(error, d + "bad.txt: frame 2: line 2: time is not a number: 'soon'");
}

// ---- Bad files --------------------------------------------------------------

// Where the fields of a DUMPCUSTOM frame of an orthogonal box lie, for
// `names` (the column names' bytes).
struct Layout {
    std::size_t names;
    std::size_t order = 18, revision = 22, atoms = 34, size_one = 118, nchunk, chunk, data;
    explicit Layout(std::size_t n) : names(n), nchunk(131 + n), chunk(135 + n), data(139 + n) {}
};

template <typename T> std::string with(std::string bytes, std::size_t at, T v) {
    std::memcpy(&bytes[at], &v, sizeof v);
    return bytes;
}

TEST(BinaryDumpFromLammps, BadFilesAreRefusedOnOneLine) {
    NEED_LMP();
    const vt::LmpRun run = vt::run_lmp(script(false));
    ASSERT_NE(run.dir, "") << "lmp failed";
    const std::string d = run.dir + "/", good = vt::slurp(d + "c.bin");
    const Layout at(std::strlen("id type x y z vx fx"));
    ASSERT_EQ(good.compare(at.data - 27, 19, "id type x y z vx fx"), 0);
    std::int32_t n = 0;
    std::memcpy(&n, &good[at.chunk], 4);
    const std::size_t frame = at.data + 8 * static_cast<std::size_t>(n), frames = 5;
    ASSERT_EQ(good.size(), frames * frame);
    const std::string atoms = std::to_string(n / 7);
    // Older LAMMPS: no magic, order word or revision, no units, time or names.
    const std::string old = good.substr(26, 122 - 26) + good.substr(at.nchunk, frame - at.nchunk);
    std::string zstd_garbage = "\x28\xb5\x2f\xfd";
    zstd_garbage += std::string(200, 'x');
    const vt::BadTrajectory cases[] = {
        {good.substr(0, good.size() - 100), vt::kWarning, frames - 1, 1,
         "frame 5: the file ends inside chunk 1 (" + std::to_string(n) +
             " values); the frame is left out"},
        {good.substr(0, frame + 50), vt::kWarning, 1, 1,
         "frame 2: the file ends inside the frame's header; the frame is left out"},
        {with<std::int64_t>(good, at.atoms, 1000000000000), vt::kIndex, 0, 0,
         "frame 1: the chunks hold " + atoms + " atoms where the header says 1000000000000"},
        {with<std::int32_t>(good, frame + at.chunk, 7 << 27), vt::kWarning, 1, 1,
         "frame 2: the file ends inside chunk 1 (939524096 values); the frame is left out"},
        {with<std::int32_t>(good, at.chunk, 8), vt::kIndex, 0, 0,
         "frame 1: chunk 1: length 8 is not a whole number of atoms of 7 values"},
        {with<std::int32_t>(good, at.order, 0x01000000), vt::kIndex, 0, 0,
         "frame 1: header: byte-order word 0x01000000: written in the other byte order, which "
         "this reader does not convert"},
        {with<std::int32_t>(good, at.revision, 3), vt::kIndex, 0, 0,
         "frame 1: header: format revision 3, where this reader knows 2 (the one that names the "
         "columns)"},
        {with<std::int32_t>(good, at.size_one, 0), vt::kIndex, 0, 0,
         "frame 1: header: 0 values an atom"},
        {old, vt::kIndex, 0, 0,
         "a LAMMPS binary dump without the DUMPATOM or DUMPCUSTOM magic (older LAMMPS), which "
         "names no columns; convert it with LAMMPS's tools/binary2txt, or write it again with a "
         "newer LAMMPS"},
        {good.substr(0, frame) + "garbage after the first frame", vt::kIndex, 0, 0,
         "frame 2: header: no DUMPATOM or DUMPCUSTOM magic where the frame starts"},
        {with<double>(good, frame + at.data, 1.5), vt::kRead, frames, 2,
         "frame 2: chunk 1: row 1: column 'id': 1.5 is not a whole number"},
        {with<char>(good, at.data - 27 + 8, 'q'), vt::kRead, frames, 1,
         "frame 1: header: no position columns (x y z, xu yu zu, xs ys zs or xsu ysu zsu) among 7 "
         "columns"},
        {with<double>(good, at.data + 16, NAN), vt::kReadOk, frames, 1, ""},
        {zstd_garbage, vt::kIndex, 0, 0, "cannot decompress: Unsupported frame parameter"},
        {good.substr(0, 2 * frame), vt::kChanged, frames, 3,
         "the file is shorter than its index (changed since?)"},
    };
    for (const vt::BadTrajectory &c : cases) {
        SCOPED_TRACE(c.message);
        const std::size_t skipped = c.stage == vt::kReadOk ? 1 : 0;
        ASSERT_NO_FATAL_FAILURE(
            vt::check_bad_trajectory(c, d + "bad.bin", good, [&](const vv::Frame &f) {
                EXPECT_EQ(f.skipped, skipped);
                ASSERT_EQ(f.atoms, static_cast<std::size_t>(n / 7) - skipped);
                EXPECT_EQ(f.id.size(), f.atoms);
                ASSERT_EQ(f.fields.size(), 2u);
                EXPECT_EQ(f.fields[0].values.size(), f.atoms);
            }));
    }
    // Through the program: one line, status 1, no picture; a first frame
    // whose chunk runs past the end leaves no frame to show.
    const vt::Scratch s;
    const struct {
        std::string bytes, message;
    } kProgram[] = {
        {cases[2].bytes, cases[2].message},
        {with<std::int32_t>(good, at.chunk, 7 << 27),
         "frame 1: the file ends inside chunk 1 (939524096 values); the frame is left out"},
    };
    for (const auto &c : kProgram) {
        vt::spill(s.path + "bad.bin", c.bytes);
        const vt::Outcome r =
            vt::run({s.path + "bad.bin", "--screenshot", s.path + "x.png"}, s.path);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "vorlix-view: " + s.path + "bad.bin: " + c.message + "\n");
        EXPECT_FALSE(vt::exists(s.path + "x.png"));
    }
}

// ---- Pictures ---------------------------------------------------------------

// Every frame drawn headless, coloured by a column: the binary, the zstd
// (lmp's and the zstd tool's) and the text dump give the same PNG bytes; so do dump atom's binary
// and its scaled text twin. On two ranks, the box tilted.
TEST(BinaryDumpPictures, EveryFrameTheSameBytesAsTheTextDump) {
    NEED_LMP();
    const vt::LmpRun run = vt::run_lmp(script(true), 2);
    ASSERT_NE(run.dir, "") << "lmp failed";
    const vt::Scratch s;
    const std::string d = run.dir + "/";
    auto frames = [&](const std::string &file, const std::vector<std::string> &extra) {
        const std::string out = s.path + file + ".png/";
        std::vector<std::string> args = {d + file, "--frames", "0:",     "--screenshot-dir",
                                         out,      "--size",   "200x200"};
        args.insert(args.end(), extra.begin(), extra.end());
        const vt::Outcome r = vt::run(args, s.path);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::vector<std::string> pngs;
        for (int k = 0; k < 5; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "frame_%06d.png", k);
            pngs.push_back(vt::file_bytes(out + name));
            EXPECT_GT(pngs.back().size(), 100u) << file << " " << name;
        }
        return pngs;
    };
    const std::vector<std::string> by_vx = {"--color-by", "vx"};
    const auto text = frames("t.txt", by_vx);
    EXPECT_TRUE(text == frames("c.bin", by_vx)) << "binary";
    EXPECT_TRUE(text == frames("t.zst", by_vx)) << "lmp's zstd";
    zstd_two_frames(d, "t.txt", "t.txt.zst");
    EXPECT_TRUE(text == frames("t.txt.zst", by_vx)) << "the zstd tool's, in two frames";
    EXPECT_NE(text[0], text[4]) << "the atoms move";
    EXPECT_TRUE(frames("s.txt", {}) == frames("a.bin", {})) << "dump atom";
}

} // namespace
