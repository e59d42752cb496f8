// LAMMPS's other outputs against its text dump of the same run: lmp writes
// here, in one run, dump custom at full precision and the same frames as
// dump xyz (type numbers at full precision, and elements), dump cfg (one file
// a step) and write_data, for an orthogonal atomic box and a triclinic full
// one; every form must give the text dump's frames. Then refusals of bad
// CFG, data and LAMMPS XYZ files, and the program on them.
#include "viewer/trajectory/trajectory.h"

#include "bad_trajectories.h"
#include "lammps_run.h"
#include "viewer_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

#define NEED_LMP()                                                                                 \
    if (!vt::have_lmp())                                                                           \
    GTEST_SKIP() << "lmp not found: install the Debian package lammps to run this test"

struct LmpForms {
    const char *name;
    bool triclinic;
    const char *style; // atom_style, as write_data names it in "Atoms # style"
    int ranks;         // lmp's MPI ranks: each writes its own atoms' rows
};

// 64 atoms of two types on a cubic lattice, 10 steps of NVE; every form
// every 5 steps, sorted by id, and the data file at the end. The lattice
// sits half a spacing in from the walls and the atoms barely move, so none
// crosses one: dump cfg wraps its scaled coordinates into [0, 1), where
// the text dump's x y z may lie a little outside the box.
std::string script(const LmpForms &r) {
    return std::string("units lj\natom_style ") + r.style + "\n" +
           (r.triclinic ? "region box prism 0 4 0 4 0 4 0.5 0.3 0.2\n"
                        : "region box block 0 4 0 4 0 4\n") +
           "create_box 2 box\nlattice sc 1.0 origin 0.5 0.5 0.5\ncreate_atoms 1 box\n"
           "set type 1 type/fraction 2 0.3 12345\nmass 1 1.0\nmass 2 2.0\n"
           "pair_style lj/cut 2.5\npair_coeff * * 1.0 0.9\n"
           "velocity all create 0.1 87287\nfix 1 all nve\n"
           "dump d all custom 5 t.txt id type x y z vx\n"
           "dump_modify d format float %.17g sort id\n"
           "dump x all xyz 5 t.xyz\n"
           "dump_modify x format line \"%s %.17g %.17g %.17g\" sort id\n"
           "dump e all xyz 5 e.xyz\ndump_modify e element Ar Kr sort id\n"
           "dump c all cfg 5 t.*.cfg mass type xs ys zs id type vx\n"
           "dump_modify c element A B format float %.17g sort id\n"
           "run 10\nwrite_data t.data\n";
}

std::vector<vv::Frame> frames_of(const std::string &path, const char *format) {
    vv::FrameIndex index;
    std::string error;
    std::vector<vv::Frame> frames;
    EXPECT_TRUE(vv::open_trajectory(path, index, error)) << error;
    EXPECT_STREQ(index.format ? index.format->name : "", format) << path;
    EXPECT_EQ(index.warning, "");
    for (std::size_t k = 0; k < index.frames.size(); ++k) {
        frames.emplace_back();
        EXPECT_TRUE(vv::read_frame(index, k, frames.back(), error)) << error;
    }
    return frames;
}

const vv::Field *field(const vv::Frame &f, const std::string &name) {
    for (const vv::Field &field : f.fields)
        if (field.name == name)
            return &field;
    return nullptr;
}

// Atom i of `got` against the dump's atom j: position within `tol`, type,
// and vx when both have it.
void same_atom(const vv::Frame &dump, std::size_t j, const vv::Frame &got, std::size_t i,
               float tol) {
    for (int c = 0; c < 3; ++c)
        if (tol == 0)
            EXPECT_EQ(got.position[3 * i + c], dump.position[3 * j + c]) << "atom " << i;
        else
            EXPECT_NEAR(got.position[3 * i + c], dump.position[3 * j + c], tol) << "atom " << i;
    if (!got.type.empty()) {
        EXPECT_EQ(got.type[i], dump.type[j]);
    }
    if (const vv::Field *vx = field(got, "vx")) {
        EXPECT_NEAR(vx->values[i], field(dump, "vx")->values[j], tol);
    }
}

class LammpsFiles : public ::testing::TestWithParam<LmpForms> {};

TEST_P(LammpsFiles, EveryFormGivesTheTextDumpsFrames) {
    NEED_LMP();
    const LmpForms &r = GetParam();
    const vt::LmpRun run = vt::run_lmp(script(r), r.ranks);
    ASSERT_NE(run.dir, "") << "lmp failed";
    const std::string d = run.dir + "/";
    const std::vector<vv::Frame> dump = frames_of(d + "t.txt", "lammps-dump");
    ASSERT_EQ(dump.size(), 3u);
    const std::int64_t steps[] = {0, 5, 10};
    const std::vector<vv::Frame> xyz = frames_of(d + "t.xyz", "xyz"),
                                 named = frames_of(d + "e.xyz", "xyz");
    ASSERT_EQ(xyz.size(), 3u);
    ASSERT_EQ(named.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE("step " + std::to_string(steps[k]));
        const vv::Frame &t = dump[k];
        ASSERT_EQ(t.atoms, 64u);
        // dump xyz: the type, then x y z at full precision: the same floats.
        EXPECT_EQ(xyz[k].timestep, steps[k]);
        EXPECT_EQ(xyz[k].columns, (std::vector<std::string>{"type", "x", "y", "z"}));
        EXPECT_EQ(xyz[k].type, t.type);
        EXPECT_EQ(xyz[k].position, t.position);
        // dump_modify element: the names by type, positions at %g.
        EXPECT_EQ(named[k].timestep, steps[k]);
        ASSERT_EQ(named[k].atoms, 64u);
        for (std::size_t i = 0; i < 64; ++i) {
            same_atom(t, i, named[k], i, 1e-4f);
            EXPECT_EQ(named[k].element_names[named[k].element[i]], t.type[i] == 1 ? "Ar" : "Kr");
        }
        // dump cfg, one file a step: scaled through H0 from the origin (the
        // box starts at 0), elements, mass, ids, types and vx.
        const std::vector<vv::Frame> cfg =
            frames_of(d + "t." + std::to_string(steps[k]) + ".cfg", "cfg");
        ASSERT_EQ(cfg.size(), 1u);
        const vv::Frame &c = cfg[0];
        EXPECT_EQ(c.timestep, steps[k]);
        EXPECT_EQ(c.box.triclinic, r.triclinic);
        EXPECT_NEAR(c.box.xy, t.box.xy, 1e-12);
        EXPECT_NEAR(c.box.yz, t.box.yz, 1e-12);
        EXPECT_EQ(c.id, t.id);
        ASSERT_EQ(c.atoms, 64u);
        for (std::size_t i = 0; i < 64; ++i) {
            same_atom(t, i, c, i, 1e-5f);
            EXPECT_EQ(c.element_names[c.element[i]], t.type[i] == 1 ? "A" : "B");
            EXPECT_EQ(field(c, "mass")->values[i], t.type[i] == 1 ? 1.0f : 2.0f);
        }
    }
    // write_data at step 10: positions as written (the same numbers as the
    // wrapped x y z), the box, image flags, velocities by id, masses.
    const std::vector<vv::Frame> data = frames_of(d + "t.data", "lammps-data");
    ASSERT_EQ(data.size(), 1u);
    const vv::Frame &w = data[0], &t = dump[2];
    EXPECT_EQ(w.timestep, 10);
    for (int a = 0; a < 3; ++a) {
        EXPECT_NEAR(w.box.lo[a], t.box.lo[a], 1e-12);
        EXPECT_NEAR(w.box.hi[a], t.box.hi[a], 1e-12);
    }
    EXPECT_EQ(w.box.triclinic, r.triclinic);
    EXPECT_NEAR(w.box.xz, t.box.xz, 1e-12);
    ASSERT_EQ(w.atoms, 64u);
    std::map<std::int64_t, std::size_t> at;
    for (std::size_t j = 0; j < 64; ++j)
        at[t.id[j]] = j;
    for (const char *name : {"ix", "iy", "iz", "vy", "vz", "mass"})
        EXPECT_NE(field(w, name), nullptr) << name;
    if (std::string(r.style) == "full") {
        EXPECT_NE(field(w, "q"), nullptr);
    }
    for (std::size_t i = 0; i < 64; ++i) {
        ASSERT_EQ(at.count(w.id[i]), 1u);
        const std::size_t j = at[w.id[i]];
        same_atom(t, j, w, i, 0);
        EXPECT_EQ(field(w, "mass")->values[i], t.type[j] == 1 ? 1.0f : 2.0f);
    }
    // The same positions, the same picture: the data file and the CFG of
    // step 10 against the dump's last frame, coloured by type alike (CFG's
    // elements would colour as elements), spheres of one radius and without
    // the label, whose frame count differs.
    const auto shot = [&](const std::string &file, const std::vector<std::string> &extra) {
        const std::string png = d + file + ".png";
        std::vector<std::string> args = {d + file,  "--screenshot", png,    "--size",
                                         "200x200", "--color-by",   "type", "--radius",
                                         "0.4",     "--no-overlay"};
        args.insert(args.end(), extra.begin(), extra.end());
        const vt::Outcome o = vt::run(args, d);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.err, "");
        return vt::file_bytes(png);
    };
    const std::string text = shot("t.txt", {"--frame", "2"});
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(text == shot("t.data", {})) << "write_data's picture differs from the dump's";
    EXPECT_TRUE(text == shot("t.10.cfg", {})) << "dump cfg's picture differs from the dump's";
    // A data file cut inside its Atoms rows: one line, status 1, no picture.
    const std::string cut = vt::slurp(d + "t.data");
    vt::spill(d + "cut.data", cut.substr(0, cut.find("\n", cut.find("Atoms #") + 1500)));
    const vt::Outcome o = vt::run({d + "cut.data", "--screenshot", d + "cut.png"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err.rfind("vorlix-view: " + d + "cut.data: frame 1: line ", 0), 0u) << o.err;
    EXPECT_NE(o.err.find(" Atoms rows where the header says 64\n"), std::string::npos) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1);
    EXPECT_FALSE(vt::exists(d + "cut.png"));
}

INSTANTIATE_TEST_SUITE_P(Boxes, LammpsFiles,
                         ::testing::Values(LmpForms{"OrthogonalAtomic", false, "atomic", 1},
                                           LmpForms{"TriclinicFull", true, "full", 1},
                                           LmpForms{"TriclinicFullTwoRanks", true, "full", 2}),
                         [](const ::testing::TestParamInfo<LmpForms> &p) { return p.param.name; });

// ------------------------------------------------------------ bad files ----

const char kCfg[] = "Number of particles = 2\nA = 1 Angstrom (basic length-scale)\n"
                    "H0(1,1) = 2 A\nH0(2,2) = 2 A\nH0(3,3) = 2 A\n.NO_VELOCITY.\n"
                    "entry_count = 4\nauxiliary[0] = id\n"
                    "1.0\nA\n0.5 0.5 0.5 1\n0.25 0.5 0.5 2\n";
const char kData[] = "LAMMPS data file via write_data, version 29 Sep 2021, timestep = 7\n\n"
                     "2 atoms\n1 atom types\n\n0 2 xlo xhi\n0 2 ylo yhi\n0 2 zlo zhi\n\n"
                     "Masses\n\n1 3\n\nAtoms # atomic\n\n1 1 0.5 0.5 0.5 0 0 0\n"
                     "2 1 1.5 1 1 0 0 1\n\nVelocities\n\n2 1 2 3\n1 4 5 6\n";

// s with `from` replaced by `to`, once.
std::string with(std::string s, const std::string &from, const std::string &to) {
    const std::size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? s : s.replace(at, from.size(), to);
}

TEST(LammpsFilesBad, EachIsStoppedWhereItGoesWrongOnOneLine) {
    using vt::kIndex;
    using vt::kRead;
    const std::string cfg = kCfg, data = kData;
    const std::string lmp_xyz = "2\n Atoms. Timestep: 7\n1 0.5 0.5 0.5\n2 1.5 1.5 1.5\n";
    const struct {
        const char *file;
        vt::BadTrajectory bad;
    } cases[] = {
        {"c.7.cfg",
         {cfg.substr(0, cfg.size() - 15), kRead, 1, 1,
          "frame 1: line 12: 1 atoms where Number of particles says 2"}},
        {"c.7.cfg",
         {with(cfg, "= 2\n", "= 1000000000000\n"), kIndex, 0, 0,
          "frame 1: line 1: atom count 1000000000000 is more than the file's 197 "
          "bytes can hold"}},
        {"c.7.cfg",
         {with(cfg, "0.5 0.5 0.5 1\n", "0.5 0.5 1\n"), kRead, 1, 1,
          "frame 1: line 11: expected 4 values (entry_count) or a mass, found "
          "'0.5 0.5 1'"}},
        {"c.7.cfg",
         {with(cfg, "entry_count = 4\n", ""), kIndex, 0, 0,
          "frame 1: line 1: no entry_count line: only extended CFG is read"}},
        {"c.7.cfg",
         {with(cfg, "1.0\nA\n", ""), kRead, 1, 1,
          "frame 1: line 9: an atom row before any mass and element lines"}},
        {"d.data",
         {with(data, "2 1 1.5 1 1 0 0 1\n", ""), kRead, 1, 1,
          "frame 1: line 17: 1 Atoms rows where the header says 2"}},
        {"d.data",
         {data.substr(0, data.find("2 1 1.5")), kRead, 1, 1,
          "frame 1: line 17: 1 Atoms rows where the header says 2"}},
        {"d.data",
         {with(data, "2 atoms", "1000000000000 atoms"), kIndex, 0, 0,
          "frame 1: line 1: atom count 1000000000000 is more than the file's 237 "
          "bytes can hold"}},
        {"d.data",
         {with(with(data, " # atomic", ""), "0 0 0\n", "0 0\n"), kRead, 1, 1,
          "frame 1: line 14: Atoms rows of 7 columns fit more than one atom style: "
          "name it (\"Atoms # full\")"}},
        {"d.data",
         {with(data, "# atomic", "# hybrid"), kRead, 1, 1,
          "frame 1: line 14: atom style 'hybrid' is not read (atomic, charge, "
          "molecular, bond, angle, full, sphere, ellipsoid, dipole, peri, body, dpd, "
          "line, tri)"}},
        {"d.data",
         {with(data, "2 1 2 3", "9 1 2 3"), kRead, 1, 1,
          "frame 1: line 21: Velocities: atom id 9 is in no Atoms row"}},
        {"d.data",
         {with(data, "\n\nVelocities", "\n3 1 1 1 1 0 0 0\n\nVelocities"), kRead, 1, 1,
          "frame 1: line 18: more Atoms rows than the header says (2): '3 1 1 1 1 0 0 0'"}},
        // LAMMPS's XYZ whose first frame is empty.
        {"lmp.xyz",
         {"0\n Atoms. Timestep: 0\n1\n Atoms. Timestep: 5\nAr 0 0 0\n", vt::kReadOk, 2, 2, ""}},
        {"d.data",
         {with(data, "1 1 0.5 0.5", "1 1 0.5 zero"), kRead, 1, 1,
          "frame 1: line 16: column 'y': bad value 'zero'"}},
        {"d.data",
         {with(data, "0 2 xlo xhi", "0 xlo xhi"), kIndex, 0, 0,
          "frame 1: line 6: xlo xhi needs 2 finite numbers: '0 xlo xhi'"}},
        {"t.xyz",
         {with(lmp_xyz, "Timestep: 7", "Timestep: seven"), kIndex, 0, 0,
          "frame 1: line 2: Atoms. Timestep: is not followed by an integer"}},
        {"t.xyz",
         {with(lmp_xyz, "2 1.5 1.5 1.5", "2 1.5 1.5"), kRead, 1, 1,
          "frame 1: line 4: 3 columns where the frame has 4"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bad.message);
        const std::string path = ::testing::TempDir() + c.file;
        const std::string good = std::string(c.file).back() == 'a' ? data : cfg;
        ASSERT_NO_FATAL_FAILURE(vt::check_bad_trajectory(c.bad, path, good, [](const vv::Frame &f) {
            // The one case that reads: the empty frame's successor.
            EXPECT_EQ(f.timestep, 5);
            EXPECT_EQ(f.element_names, std::vector<std::string>{"Ar"});
        }));
    }
}

TEST(LammpsFilesBad, GoodOnesReadAsWritten) {
    const std::string cfg = kCfg, data = kData;
    const std::string path = ::testing::TempDir();
    vt::spill(path + "c.7.cfg", cfg);
    vt::spill(path + "d.data", data);
    const std::vector<vv::Frame> c = frames_of(path + "c.7.cfg", "cfg"),
                                 w = frames_of(path + "d.data", "lammps-data");
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].timestep, 7);
    EXPECT_EQ(c[0].position, (std::vector<float>{1, 1, 1, 0.5f, 1, 1}));
    EXPECT_EQ(c[0].id, (std::vector<std::int64_t>{1, 2}));
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].timestep, 7);
    EXPECT_EQ(w[0].position, (std::vector<float>{0.5f, 0.5f, 0.5f, 1.5f, 1, 1}));
    EXPECT_EQ(field(w[0], "vx")->values, (std::vector<float>{4, 1}));
    EXPECT_EQ(field(w[0], "iz")->values, (std::vector<float>{0, 1}));
    EXPECT_EQ(field(w[0], "mass")->values, (std::vector<float>{3, 3}));
    // Gzipped, the same frames.
    ASSERT_EQ(std::system(("gzip -kf " + path + "c.7.cfg " + path + "d.data").c_str()), 0);
    EXPECT_EQ(frames_of(path + "c.7.cfg.gz", "cfg")[0].position, c[0].position);
    EXPECT_EQ(frames_of(path + "d.data.gz", "lammps-data")[0].position, w[0].position);
    // As written by hand for read_data: another style, comments on rows, no
    // blank line after a section's name, no velocities, no masses.
    vt::spill(path + "hand.data", "water\n2 atoms # two\n-1 1 xlo xhi\n-1 1 ylo yhi\n"
                                  "-1 1 zlo zhi\n2.5 0 0 xy xz yz\nAtoms # charge\n"
                                  "1 1 -0.8 0.5 0 0 # O\n2 2 0.4 0 0.5 0\n"
                                  "Bonds\n1 1 1 2\n");
    const std::vector<vv::Frame> hand = frames_of(path + "hand.data", "lammps-data");
    ASSERT_EQ(hand.size(), 1u);
    EXPECT_EQ(hand[0].timestep, 0);
    EXPECT_TRUE(hand[0].box.triclinic);
    EXPECT_EQ(hand[0].box.xy, 2.5);
    EXPECT_EQ(hand[0].columns, (std::vector<std::string>{"id", "type", "q", "x", "y", "z"}));
    EXPECT_EQ(hand[0].type, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(field(hand[0], "q")->values, (std::vector<float>{-0.8f, 0.4f}));
    EXPECT_EQ(hand[0].fields.size(), 1u);
}

template <typename T> double apart(const T *a, const T *b) {
    double s = 0;
    for (int c = 0; c < 3; ++c)
        s += (double(a[c]) - double(b[c])) * (double(a[c]) - double(b[c]));
    return std::sqrt(s);
}

// ASE's CFG: a cell with no edge along x, which the reader turns as LAMMPS
// turns one; every distance between atoms is kept.
TEST(CfgFromAse, ATurnedCellKeepsEveryDistance) {
    const vt::Scratch scratch;
    const std::string &d = scratch.path;
    const int status = std::system(
        (std::string(SYSTEM_PYTHON " " ASE_CFG_SCRIPT " '") + d + "' >/dev/null 2>&1").c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "ASE not found: install the Debian package python3-ase to run this test";
    ASSERT_EQ(status, 0);
    const std::vector<vv::Frame> cfg = frames_of(d + "ase.cfg", "cfg");
    ASSERT_EQ(cfg.size(), 1u);
    const vv::Frame &f = cfg[0];
    std::istringstream in(vt::slurp(d + "expected.txt"));
    std::vector<double> want;
    for (double v; in >> v;)
        want.push_back(v);
    ASSERT_EQ(f.atoms, 8u);
    ASSERT_EQ(want.size(), 24u);
    EXPECT_EQ(f.element_names, std::vector<std::string>{"Cu"});
    EXPECT_EQ(field(f, "mass")->values[0], 63.546f);
    EXPECT_TRUE(f.box.triclinic);
    for (const char *name : {"vx", "vy", "vz"})
        EXPECT_NE(field(f, name), nullptr) << name;
    for (std::size_t i = 0; i < 8; ++i)
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_NEAR(apart(&f.position[3 * i], &f.position[3 * j]),
                        apart(&want[3 * i], &want[3 * j]), 1e-4)
                << "atoms " << i << " and " << j;
}

} // namespace
