// What every trajectory format shares (viewer/trajectory): the atom rows
// mapped to roles by column and parsed through that map (rows.h), and the
// format table (trajectory.h): which format claims which first bytes, and
// an index read only through the format that made it.
#include "viewer/trajectory/rows.h"
#include "viewer/trajectory/trajectory.h"

#include "lammps_run.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using vv::detail::Flavour;
using vv::detail::Role;

std::vector<std::string> words(const std::string &text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

// One letter a role: - skip, i id, t type, e element, x y z, f field.
std::string letters(const std::vector<Role> &roles) {
    std::string out;
    for (const Role r : roles)
        out += "-itexyzf"[static_cast<int>(r)];
    return out;
}

TEST(ViewerTrajectoryRows, ColumnsTakeTheirRolesByName) {
    const struct {
        const char *names;
        const char *roles; // null: no positions found
        const char *position;
        Flavour flavour;
    } cases[] = {
        {"z type x id y vx", "ztxiyf", "x y z", Flavour::kPlain},
        // Real before scaled, wrapped before unwrapped, unwrapped before scaled.
        {"id xs ys zs x y z", "ifffxyz", "x y z", Flavour::kPlain},
        {"xsu ysu zsu xs ys zs", "fffxyz", "xs ys zs", Flavour::kScaled},
        {"xs ys zs xu yu zu", "fffxyz", "xu yu zu", Flavour::kUnwrapped},
        {"id xsu ysu zsu", "ixyz", "xsu ysu zsu", Flavour::kScaledUnwrapped},
        // 2-D: x and y make a set, whose z may be missing; another set's z
        // is a field, and an x without its y passes the set over.
        {"id x y", "ixy", "x y", Flavour::kPlain},
        {"xu yu z", "xyf", "xu yu", Flavour::kUnwrapped},
        {"x zu xu yu", "fzxy", "xu yu zu", Flavour::kUnwrapped},
        // The first column of a name takes the role; repeats are fields.
        {"x x y y element element type type id", "xfyfeftfi", "x y", Flavour::kPlain},
        {"element x y z col5", "exyzf", "x y z", Flavour::kPlain},
        {"id type vx vy vz", nullptr, "", Flavour::kPlain},
        {"x z xs zs", nullptr, "", Flavour::kPlain},
        {"", nullptr, "", Flavour::kPlain},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.names);
        std::vector<Role> roles;
        Flavour flavour = Flavour::kPlain;
        std::string position;
        const bool found = vv::detail::roles_by_name(words(c.names), roles, flavour, position);
        ASSERT_EQ(found, c.roles != nullptr);
        if (!found)
            continue;
        EXPECT_EQ(letters(roles), c.roles);
        EXPECT_EQ(position, c.position);
        EXPECT_EQ(flavour, c.flavour);
    }
}

// A map reused for a frame with fewer columns leaves no field of the last.
TEST(ViewerTrajectoryRows, TheMapNamesTheFramesColumnsAndFieldsAfresh) {
    vv::Frame frame;
    vv::detail::RowMap map;
    ASSERT_TRUE(map.by_name(frame, words("id x y z vx vy vz")));
    EXPECT_EQ(frame.fields.size(), 3u);
    ASSERT_TRUE(map.by_name(frame, words("xs q ys")));
    EXPECT_EQ(frame.columns, words("xs q ys"));
    EXPECT_EQ(frame.position_columns, "xs ys");
    ASSERT_EQ(frame.fields.size(), 1u);
    EXPECT_EQ(frame.fields[0].name, "q");
    EXPECT_FALSE(map.has(Role::kId));
    EXPECT_FALSE(map.by_name(frame, words("id vx")));
    EXPECT_EQ(frame.columns, words("id vx"));
}

const vv::detail::RowWords kWords = {"%i of %n rows", "%i of %n columns", "more than %n columns",
                                     "%n atoms in %i bytes", true};

// The rows of one frame through a map by name, in a tilted box from
// (1, 2, 3) with edges 2, 4, 4 and tilts xy 0.5, xz 0.25, yz -1.
struct Rows {
    vv::Frame frame;
    std::string error;
    bool ok;
    Rows(const char *names, const std::string &text, std::uint64_t declared,
         bool item_ends_rows = true) {
        frame.box.lo[0] = 1, frame.box.lo[1] = 2, frame.box.lo[2] = 3;
        frame.box.hi[0] = 3, frame.box.hi[1] = 6, frame.box.hi[2] = 7;
        frame.box.xy = 0.5, frame.box.xz = 0.25, frame.box.yz = -1;
        frame.declared = declared;
        vv::detail::RowMap map;
        map.by_name(frame, words(names));
        vv::detail::RowWords w = kWords;
        w.item_ends_rows = item_ends_rows;
        vv::detail::LineReader in{text.data(), text.data() + text.size()};
        ok = map.read(in, frame, 4, w, "f", 2, error);
    }
};

TEST(ViewerTrajectoryRows, RowsParseThroughTheMap) {
    const struct {
        const char *names, *text;
        std::vector<float> position;
    } cases[] = {
        {"id type x y z vx", "5 2 0.5 1.5 2.5 -3\n", {0.5f, 1.5f, 2.5f}},
        // Scaled through the tilted box; a 2-D scaled set gives z = 0.
        {"id xs ys zs", "1 0.5 0.25 1\n", {2.375f, 2, 7}},
        {"xsu ysu", "0.5 0.5", {2.25f, 4, 0}},
        // Unwrapped are not put through the box.
        {"xu yu", "-1 2\n", {-1, 2, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.names);
        const Rows r(c.names, c.text, 1);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.frame.atoms, 1u);
        EXPECT_EQ(r.frame.position, c.position);
    }
    const Rows full("element id type x y z vx", "Cu 5 2 0 0 0 1\nO 6 1 nan 0 0 2\nCu 7 1 1 1 1 3\n",
                    3);
    ASSERT_TRUE(full.ok) << full.error;
    const vv::Frame &f = full.frame;
    EXPECT_EQ(f.skipped, 1u);
    EXPECT_EQ(f.atoms, 2u);
    EXPECT_EQ(f.id, (std::vector<std::int64_t>{5, 7}));
    EXPECT_EQ(f.type, (std::vector<std::int32_t>{2, 1}));
    EXPECT_EQ(f.element, (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(f.element_names, words("Cu O"));
    ASSERT_EQ(f.fields.size(), 1u);
    EXPECT_EQ(f.fields[0].values, (std::vector<float>{1, 3}));
}

TEST(ViewerTrajectoryRows, BadRowsAreRefusedInTheFormatsWords) {
    const struct {
        const char *names, *text;
        std::uint64_t declared;
        bool item_ends_rows;
        const char *error;
    } cases[] = {
        {"x y z", "1.5 2.5\n", 1, true, "f: frame 2: line 1: 2 of 3 columns"},
        {"x y z", "1 2 3 4\n", 1, true, "f: frame 2: line 1: more than 3 columns"},
        {"id x y z", "1.5 0 0 0\n", 1, true, "f: frame 2: line 1: column 'id': bad value '1.5'"},
        {"type x y z", "99999999999 0 0 0\n", 1, true,
         "f: frame 2: line 1: column 'type': bad value '99999999999'"},
        {"x y z", "1.0 2.0 3.0\n", 2, true, "f: frame 2: line 2: 1 of 2 rows"},
        // A dump's next section ends the rows; elsewhere it is a row.
        {"x y z", "1 2 3\nITEM: TIMESTEP\n", 2, true, "f: frame 2: line 2: 1 of 2 rows"},
        {"x y z", "1 2 3\nITEM: TIMESTEP\n", 2, false,
         "f: frame 2: line 2: column 'x': bad value 'ITEM:'"},
        // Refused at the count's line, before anything is reserved.
        {"x y z", "1 2 3\n", 1000000, true, "f: frame 2: line 4: 1000000 atoms in 6 bytes"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        const Rows r(c.names, c.text, c.declared, c.item_ends_rows);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, c.error);
        if (c.declared == 1000000) {
            EXPECT_EQ(r.frame.position.capacity(), 0u);
        }
    }
}

const char kDump[] = "ITEM: TIMESTEP\n4\nITEM: NUMBER OF ATOMS\n1\nITEM: BOX BOUNDS pp pp pp\n"
                     "0 1\n0 1\n0 1\nITEM: ATOMS id x y z\n1 0.5 0.5 0.5\n";
const char kXyz[] = "2\nstep=5\nH 0 0 0\nO 1 2 3\n";

const char *name_of(const vv::FrameIndex &index) {
    return index.format ? index.format->name : "";
}

TEST(ViewerTrajectoryFormats, EachFormatClaimsItsFirstBytesAndTheDumpTheRest) {
    ASSERT_EQ(vv::trajectory_formats().size(), 5u);
    const struct {
        std::string bytes;
        bool dump, xyz;
        const char *indexed; // the format of the index; "" refused with error
        const char *error;
    } cases[] = {
        {kDump, true, false, "lammps-dump", ""},
        {std::string("ITEM: UNITS\nlj\n") + kDump, true, false, "lammps-dump", ""},
        {kXyz, false, true, "xyz", ""},
        {"\n \n1\n\nC 0 0 0\n", false, true, "xyz", ""},
        // An XYZ whose comment and row start like a dump's items.
        {"1\nITEM: ATOMS\nITEM: 0 0 0\n", false, true, "xyz", ""},
        // Neither: the dump's messages say what is missing.
        {"1 2 3\n4 5 6\n", false, false, "",
         "s: frame 1: line 1: expected ITEM: TIMESTEP, found '1 2 3'"},
        {"3\n1 2 3\n4 5 6\n", false, false, "",
         "s: frame 1: line 1: expected ITEM: TIMESTEP, found '3'"},
        {"ITEM:TIMESTEP\n", false, false, "",
         "s: frame 1: line 1: expected ITEM: TIMESTEP, found 'ITEM:TIMESTEP'"},
        {"", false, false, "", "s: empty file"},
    };
    const vv::TrajectoryFormat *dump = vv::trajectory_format("lammps-dump"),
                               *xyz = vv::trajectory_format("xyz"),
                               *binary = vv::trajectory_format("lammps-binary");
    ASSERT_TRUE(dump && xyz && binary);
    EXPECT_EQ(vv::trajectory_format("pdb"), nullptr);
    const std::string path = ::testing::TempDir() + "/sniff.traj";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(dump->sniff(c.bytes.data(), c.bytes.size()), c.dump);
        EXPECT_EQ(xyz->sniff(c.bytes.data(), c.bytes.size()), c.xyz);
        EXPECT_FALSE(binary->sniff(c.bytes.data(), c.bytes.size()));
        vt::spill(path, c.bytes);
        EXPECT_EQ(vv::is_trajectory(path), c.dump || c.xyz);
        vv::FrameIndex index;
        std::string error;
        const bool made =
            vv::index_trajectory_bytes(c.bytes.data(), c.bytes.size(), "s", index, error);
        EXPECT_EQ(made, *c.indexed != '\0') << error;
        EXPECT_STREQ(name_of(index), c.indexed);
        EXPECT_EQ(made ? std::string() : error, c.error);
        vv::FrameIndex from_file;
        EXPECT_EQ(vv::open_trajectory(path, from_file, error), made);
        EXPECT_STREQ(name_of(from_file), c.indexed);
    }
}

TEST(ViewerTrajectoryFormats, AnIndexIsReadThroughTheFormatThatMadeIt) {
    const std::string text = kXyz;
    const std::string path = ::testing::TempDir() + "/made.xyz";
    vt::spill(path, text);
    vv::FrameIndex index, from_file;
    vv::Frame f;
    std::string error;
    ASSERT_TRUE(vv::index_trajectory_bytes(text.data(), text.size(), path, index, error)) << error;
    ASSERT_TRUE(vv::open_trajectory(path, from_file, error)) << error;
    for (const vv::FrameIndex *i : {&index, &from_file}) {
        EXPECT_STREQ(name_of(*i), "xyz");
        const bool read = i == &index
                              ? vv::read_frame_bytes(text.data(), text.size(), *i, 0, f, error)
                              : vv::read_frame(*i, 0, f, error);
        ASSERT_TRUE(read) << error;
        EXPECT_EQ(f.timestep, 5);
        EXPECT_EQ(f.element_names, words("H O"));
        EXPECT_EQ(f.position, (std::vector<float>{0, 0, 0, 1, 2, 3}));
    }
    // The same entries under another format: that format's parse, refused.
    vv::FrameIndex as_dump = index;
    as_dump.format = vv::trajectory_format("lammps-dump");
    EXPECT_FALSE(vv::read_frame(as_dump, 0, f, error));
    EXPECT_EQ(error, path + ": frame 1: line 1: expected ITEM: TIMESTEP, found '2'");
    EXPECT_EQ(f.atoms, 0u);
    // An index no format made reads as nothing.
    as_dump.format = nullptr;
    EXPECT_FALSE(vv::read_frame(as_dump, 0, f, error));
    EXPECT_EQ(error, path + ": the index was made by no trajectory format");
    // A format asked for by name is the one that indexes: refused, the index
    // names none.
    EXPECT_FALSE(vv::open_trajectory(path, index, error, vv::trajectory_format("lammps-dump")));
    EXPECT_EQ(error, path + ": frame 1: line 1: expected ITEM: TIMESTEP, found '2'");
    EXPECT_EQ(index.format, nullptr);
    EXPECT_TRUE(index.frames.empty());
    EXPECT_FALSE(vv::read_frame_bytes(text.data(), text.size(), index, 0, f, error));
}

} // namespace
