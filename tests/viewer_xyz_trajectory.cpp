// The XYZ trajectory reader (viewer/trajectory/xyz.h) through the format-neutral
// front (trajectory.h): extended and plain XYZ that ASE writes here, checked
// against what ASE reads back; telling trajectories from point-cloud XYZ;
// frames across the index scan's block edge; refusals of bad bytes.
#include "viewer/trajectory/trajectory.h"

#include "bad_trajectories.h"
#include "lammps_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <sys/wait.h>
#include <vector>

namespace {

const vv::TrajectoryFormat *xyz() {
    return vv::trajectory_format("xyz");
}

struct Atom {
    std::string symbol;
    double v[7]; // x y z, forces, charge
};

struct Expected {
    std::size_t atoms;
    std::int64_t step;
    bool pbc[3];
    double cell[3][3];
    std::vector<Atom> rows;
};

// A fresh directory with ASE's files and what ASE reads back from them.
struct AseFiles {
    vt::LmpRun dir{""};
    int status = -1;
    std::vector<Expected> want;

    AseFiles() {
        char name[] = "/tmp/vorlix_aseXYZXXXXXX";
        if (!mkdtemp(name))
            return;
        dir.dir = name;
        status = std::system((std::string(SYSTEM_PYTHON " " ASE_SCRIPT " '") + name + "'").c_str());
        std::istringstream in(vt::slurp(dir.dir + "/expected.txt"));
        for (std::string word; in >> word;) {
            if (word == "frame") {
                Expected e;
                in >> e.atoms >> e.step >> e.pbc[0] >> e.pbc[1] >> e.pbc[2];
                for (auto &row : e.cell)
                    in >> row[0] >> row[1] >> row[2];
                want.push_back(e);
            } else if (!want.empty()) {
                Atom a;
                in >> a.symbol;
                for (double &v : a.v)
                    in >> v;
                want.back().rows.push_back(a);
            }
        }
    }
    bool missing() const { return WIFEXITED(status) && WEXITSTATUS(status) == 77; }
};

#define NEED_ASE(files)                                                                            \
    if ((files).missing())                                                                         \
    GTEST_SKIP() << "ASE not found: install the Debian package python3-ase to run this test"

double dot(const double *u, const double *w) {
    return u[0] * w[0] + u[1] * w[1] + u[2] * w[2];
}

std::vector<float> field(const vv::Frame &f, const std::string &name) {
    for (const vv::Field &field : f.fields)
        if (field.name == name)
            return field.values;
    ADD_FAILURE() << "no field " << name;
    return {};
}

TEST(XyzTrajectoryFromAse, ExtendedPlainAndGzippedFilesHoldWhatAseWrote) {
    const AseFiles ase;
    NEED_ASE(ase);
    ASSERT_EQ(ase.status, 0) << ASE_SCRIPT " failed";
    ASSERT_EQ(ase.want.size(), 3u);
    for (const char *file : {"/ext.xyz", "/ext.xyz.gz", "/plain.xyz"}) {
        SCOPED_TRACE(file);
        const std::string path = ase.dir.dir + file;
        const bool extended = std::string(file) != "/plain.xyz";
        EXPECT_TRUE(vv::is_trajectory(path));
        vv::FrameIndex t;
        std::string error;
        ASSERT_TRUE(vv::open_trajectory(path, t, error)) << error;
        EXPECT_EQ(t.format, xyz());
        EXPECT_EQ(t.warning, "");
        ASSERT_EQ(t.frames.size(), 3u);
        vv::Frame f; // reused, as playback does; frame 1 is read again after 2
        for (const std::size_t k : {0, 1, 2, 1}) {
            SCOPED_TRACE(k);
            const Expected &e = ase.want[k];
            ASSERT_TRUE(vv::read_frame(t, k, f, error)) << error;
            const std::int64_t step = extended ? e.step : static_cast<std::int64_t>(k);
            EXPECT_EQ(t.frames[k].timestep, step);
            EXPECT_EQ(f.timestep, step);
            ASSERT_EQ(f.atoms, e.atoms);
            EXPECT_EQ(f.declared, e.atoms);
            EXPECT_EQ(f.skipped, 0u);
            ASSERT_EQ(f.element.size(), e.atoms);
            // Per atom, in expected.txt's order: x y z, then forces and charge.
            std::vector<std::vector<float>> got(3);
            for (std::size_t v = 0; v < f.position.size(); ++v)
                got[v % 3].push_back(f.position[v]);
            if (extended)
                for (const char *name : {"forces_0", "forces_1", "forces_2", "initial_charges"})
                    got.push_back(field(f, name));
            for (std::size_t i = 0; i < e.atoms; ++i) {
                EXPECT_EQ(f.element_names[f.element[i]], e.rows[i].symbol);
                for (std::size_t c = 0; c < got.size(); ++c)
                    EXPECT_NEAR(got[c].at(i), e.rows[i].v[c], 1e-5)
                        << "atom " << i << " value " << c;
            }
            const vv::Box &box = f.box;
            if (!extended) {
                EXPECT_TRUE(f.fields.empty());
                EXPECT_EQ(f.position_columns, "x y z");
                EXPECT_FALSE(box.has_cell);
                continue;
            }
            // The logical column is passed over; the others are named.
            EXPECT_EQ(f.fields.size(), 4u);
            EXPECT_EQ(f.columns.back(), "fixed");
            EXPECT_EQ(f.position_columns, "pos");
            ASSERT_TRUE(box.has_cell);
            for (int r = 0; r < 3; ++r) {
                EXPECT_EQ(box.boundary[r], e.pbc[r] ? "pp" : "ff");
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(box.cell[r][c], e.cell[r][c]);
            }
            // LAMMPS's form of the cell keeps its lengths and angles...
            const double *a = e.cell[0], *b = e.cell[1], *c = e.cell[2];
            const double lx = box.hi[0] - box.lo[0], ly = box.hi[1] - box.lo[1],
                         lz = box.hi[2] - box.lo[2];
            EXPECT_NEAR(lx * lx, dot(a, a), 1e-9);
            EXPECT_NEAR(lx * box.xy, dot(a, b), 1e-9);
            EXPECT_NEAR(lx * box.xz, dot(a, c), 1e-9);
            EXPECT_NEAR(box.xy * box.xy + ly * ly, dot(b, b), 1e-9);
            EXPECT_NEAR(box.xy * box.xz + ly * box.yz, dot(b, c), 1e-9);
            EXPECT_NEAR(box.xz * box.xz + box.yz * box.yz + lz * lz, dot(c, c), 1e-9);
            EXPECT_TRUE(box.triclinic);
            // ...and is that cell itself when a lies along x and b in xy.
            if (a[1] == 0 && a[2] == 0 && b[2] == 0) {
                EXPECT_EQ(lx, a[0]);
                EXPECT_EQ(box.xy, b[0]);
                EXPECT_EQ(box.xz, c[0]);
                EXPECT_EQ(box.yz, c[1]);
            }
        }
    }
}

std::string in_temp(const std::string &name, const std::string &bytes) {
    const std::string path = ::testing::TempDir() + name;
    vt::spill(path, bytes);
    return path;
}

TEST(XyzTrajectory, IsTrajectoryTellsTrajectoriesFromPointClouds) {
    const struct {
        const char *bytes;
        bool trajectory;
    } cases[] = {
        {"1 2 3\n4 5 6\n", false},
        {"1 2 3 255 0 0\n4 5 6 0 255 0\n", false},
        {"3\n", false},
        {"3\n1 2 3\n4 5 6\n", false},
        {"2\n-1 2 3\n", false},
        {"2\ntwo atoms\nnan 0 0\nH 0 0 0\n", false},
        {"\n  \n2\ntwo atoms\nH 0 0 0\nHe 1 1 1\n", true},
        {"2\n\nC 0 0 0\n", true},
        {"ITEM: TIMESTEP\n0\n", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(vv::is_trajectory(in_temp("/sniff.xyz", c.bytes)), c.trajectory);
    }
    EXPECT_FALSE(vv::is_trajectory(::testing::TempDir() + "/no such file"));
}

TEST(XyzTrajectory, PlainExtraColumnsAreNumberedFieldsAndBadPositionsAreSkipped) {
    const std::string text = "3\ncomment with \"a quote\nH 0 1 2 7 8\nHe inf 4 5 9 10\n"
                             "C 3 4 5 -1 1e39\n\n";
    vv::FrameIndex index;
    vv::Frame f;
    std::string error;
    ASSERT_TRUE(vv::index_trajectory_bytes(text.data(), text.size(), "x", index, error, xyz()))
        << error;
    ASSERT_TRUE(vv::read_frame_bytes(text.data(), text.size(), index, 0, f, error)) << error;
    EXPECT_EQ(f.columns, (std::vector<std::string>{"element", "x", "y", "z", "col5", "col6"}));
    EXPECT_EQ(f.position, (std::vector<float>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(f.skipped, 1u);
    EXPECT_EQ(f.element_names, (std::vector<std::string>{"H", "He", "C"}));
    EXPECT_EQ(f.element, (std::vector<std::uint32_t>{0, 2}));
    ASSERT_EQ(f.fields.size(), 2u);
    EXPECT_EQ(f.fields[0].values, (std::vector<float>{7, -1}));
    EXPECT_EQ(f.fields[1].values, (std::vector<float>{8, HUGE_VALF}));
}

// Frames whose count line starts a few bytes before the index scan's block
// edge (8 MiB in viewer/io/source.h) or on it, so that a header or the
// rows straddle it: the index from the file (refilled blocks), from the
// gzipped file and from the bytes in memory (one block) agree.
TEST(XyzTrajectory, FramesAtTheScanBlockEdgeAreFound) {
    const std::size_t block = std::size_t(8) << 20;
    for (const std::size_t before : {20, 8, 3, 1, 0}) {
        SCOPED_TRACE(before);
        std::string text;
        std::vector<std::uint64_t> starts;
        std::vector<std::size_t> counts;
        for (std::size_t k = 0; k < 240; ++k) {
            const std::size_t n = 1000 + (k * 7919) % 5000;
            // The comment before the edge is padded to put the next frame there.
            std::string comment = "step=" + std::to_string(10 * k);
            starts.push_back(text.size());
            counts.push_back(n);
            text += std::to_string(n) + "\n" + comment + "\n";
            std::string rows;
            for (std::size_t i = 0; i < n; ++i)
                rows += "Ar " + std::to_string(k) + " " + std::to_string(i) + " 0.5\n";
            const std::size_t next = text.size() + rows.size();
            if (next < block - before && next + 21 * 6000 + 40 > block - before) {
                text.insert(text.size() - 1, block - before - next, ' ');
                EXPECT_EQ(text.size() + rows.size(), block - before);
            }
            text += rows;
        }
        ASSERT_GT(text.size(), block + (1u << 20));
        const std::string path = in_temp("/edge.xyz", text);
        std::vector<vv::FrameIndex> indices(3);
        std::string error;
        ASSERT_TRUE(vv::open_trajectory(path, indices[0], error, xyz())) << error;
        ASSERT_TRUE(
            vv::index_trajectory_bytes(text.data(), text.size(), path, indices[1], error, xyz()));
        if (before == 1) {
            ASSERT_EQ(std::system(("gzip -1 -f -k " + path).c_str()), 0);
            ASSERT_TRUE(vv::open_trajectory(path + ".gz", indices[2], error, xyz())) << error;
            EXPECT_EQ(indices[2].compression, vv::io::Kind::Gzip);
        } else {
            indices.pop_back();
        }
        for (const vv::FrameIndex &index : indices) {
            ASSERT_EQ(index.frames.size(), starts.size());
            EXPECT_EQ(index.end, text.size());
            for (std::size_t k = 0; k < starts.size(); ++k) {
                ASSERT_EQ(index.frames[k].offset, starts[k]) << k;
                ASSERT_EQ(index.frames[k].atoms, counts[k]) << k;
                ASSERT_EQ(index.frames[k].timestep, std::int64_t(10 * k)) << k;
            }
        }
        // The frames either side of the edge read whole.
        vv::Frame f;
        for (std::size_t k = 0; k < starts.size(); ++k) {
            if (starts[k] + 200000 < block || starts[k] > block)
                continue;
            ASSERT_TRUE(vv::read_frame(indices.back(), k, f, error)) << error;
            ASSERT_EQ(f.atoms, counts[k]);
            EXPECT_EQ(f.position[0], float(k));
            EXPECT_EQ(f.position[3 * counts[k] - 2], float(counts[k] - 1));
        }
    }
}

// Where line l (from 1) of frame k (from 1) starts, frames being n = 2 rows.
std::string edit(std::string text, std::size_t k, std::size_t l, const std::string &with) {
    std::size_t at = 0;
    for (std::size_t i = 1; i < 4 * (k - 1) + l; ++i)
        at = text.find('\n', at) + 1;
    const std::size_t end = text.find('\n', at) + 1;
    return text.replace(at, end - at, with);
}

TEST(XyzTrajectory, BadBytesAreRefusedNamingFileFrameAndLine) {
    const std::string frame = "2\nProperties=species:S:1:pos:R:3:q:I:1 step=7\n"
                              "H 0 0 0 1\nO 1 1 1 2\n";
    const std::string good = frame + frame + frame;
    using namespace vt; // the stages
    const BadTrajectory cases[] = {
        {"", kIndex, 0, 0, "empty file"},
        {"\n \n", kIndex, 0, 0, "frame 1: line 1: expected ITEM: TIMESTEP, found ''"},
        {edit(good, 2, 1, "two\n"), kIndex, 0, 0,
         "frame 2: line 1: expected an atom count, found 'two' (does the frame before hold as "
         "many rows as its count?)"},
        {edit(good, 2, 4, ""), kIndex, 0, 0,
         "frame 3: line 1: expected an atom count, found 'Properties=species:S:1:pos:R:3:q...' "
         "(does "
         "the frame before hold as many rows as its count?)"},
        {edit(good, 2, 2, "step=x\n"), kIndex, 0, 0,
         "frame 2: line 2: step= is not an integer: 'x'"},
        {edit(good, 3, 1, "1000000000000\n"), kWarning, 2, 2,
         "frame 3: line 5: 2 rows where the count says 1000000000000; the file ends there, the "
         "frame is left out"},
        {good.substr(0, good.size() - 5), kWarning, 2, 2,
         "frame 3: line 4: 1 rows where the count says 2; the file ends there, the frame is "
         "left out"},
        {good + "3\n", kWarning, 3, 3,
         "frame 4: line 2: the file ends inside the frame's header; the frame is left out"},
        {edit(good, 2, 4, "O 1 1 x 2\n"), kRead, 3, 2,
         "frame 2: line 4: column 'pos_2': bad value 'x'"},
        {edit(good, 2, 4, "O 1.5 1.5 1.5\n"), kRead, 3, 2,
         "frame 2: line 4: 4 columns where the frame has 5"},
        {edit(good, 2, 4, "O 1 1 1 2 3\n"), kRead, 3, 2,
         "frame 2: line 4: more columns than the frame's 5"},
        {edit(good, 1, 2, "Properties=species:S:1:pos:R:3:q:Q:1\n"), kRead, 3, 1,
         "frame 1: line 2: Properties: unknown type 'Q' of 'q' (S, R, I or L)"},
        {edit(good, 1, 2, "Properties=species:S:1:x:R:3:q:I:1\n"), kRead, 3, 1,
         "frame 1: line 2: Properties: no pos:R:3"},
        {edit(good, 1, 2,
              "Lattice=\"1 0 0 0 1 0 0 0\" step=7 Properties=species:S:1:pos:R:3:q:I:1\n"),
         kRead, 3, 1, "frame 1: line 2: Lattice= is not 9 finite numbers: '1 0 0 0 1 0 0 0'"},
        {"2\nc\nH 0 0 0 5\nH 0 0 0 five\n", kRead, 1, 1,
         "frame 1: line 4: column 'col5': bad value 'five'"},
    };
    const std::string path = ::testing::TempDir() + "/bad.xyz";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        ASSERT_NO_FATAL_FAILURE(vt::check_bad_trajectory(c, path, good, [](const vv::Frame &f) {
            EXPECT_EQ(f.atoms, 2u);
            EXPECT_EQ(f.timestep, 7);
        }));
    }
    // A count the frame's bytes cannot hold is refused before anything is
    // reserved for it (an index made by hand: a real scan would not end).
    vv::FrameIndex index;
    index.path = "hand";
    index.format = xyz();
    index.frames.push_back({0, 0, 1000000000000ull});
    const std::string bytes = "1000000000000\n\nH 0 0 0\n";
    index.end = bytes.size();
    vv::Frame f;
    std::string error;
    EXPECT_FALSE(vv::read_frame_bytes(bytes.data(), bytes.size(), index, 0, f, error));
    EXPECT_EQ(error, "hand: frame 1: line 1: atom count 1000000000000 is more than the frame's 8 "
                     "bytes of rows can hold");
    EXPECT_EQ(f.position.capacity(), 0u);
}

} // namespace
