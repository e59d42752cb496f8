// vorlix-view without a window: the XYZ, PLY and PCD readers, the fit into the unit cube,
// the voxel block and its lists, the model importer on Debian's test models,
// the command line, the view's inputs and matrix, and PNG output.
#include "viewer/cloud.h"
#include "viewer/formats/load.h"
#include "viewer/formats/pcd.h"
#include "viewer/formats/ply.h"
#include "viewer/formats/xyz.h"
#include "viewer/options.h"
#include "viewer/png.h"
#include "viewer/view.h"

#include "cloud_files.h"
#include "geometry.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace vt;

// ---------------------------------------------------------------- XYZ ----

TEST(ViewerXyz, CentresAndScalesByTheLongestSideWithByteColours) {
    // Bounds x 0..10, y 0..5, z 0..2: centre (5, 2.5, 1), longest side 10.
    Loaded r = read("0 0 0 255 0 0\n10 0 0 0 255 0\n0 5 0 0 0 255\n0 0 2 51 102 204\n");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.cloud.count, 4u);
    EXPECT_EQ(r.cloud.capacity, 4u);
    EXPECT_EQ(r.cloud.skipped, 0u);
    expect_node(r.cloud.nodes[0], -0.5f, -0.25f, -0.1f, 1, 0, 0);
    expect_node(r.cloud.nodes[1], 0.5f, -0.25f, -0.1f, 0, 1, 0);
    expect_node(r.cloud.nodes[2], -0.5f, 0.25f, -0.1f, 0, 0, 1);
    expect_node(r.cloud.nodes[3], -0.5f, -0.25f, 0.1f, 0.2f, 0.4f, 0.8f);
}

TEST(ViewerXyz, ColourScaleIsDecidedForTheWholeFile) {
    // All colours within 0..1: taken as they are.
    Loaded unit = read("0 0 0 0.5 1 0\n1 1 1 0 0.25 1\n");
    ASSERT_TRUE(unit.ok) << unit.error;
    expect_node(unit.cloud.nodes[0], -0.5f, -0.5f, -0.5f, 0.5f, 1, 0);
    expect_node(unit.cloud.nodes[1], 0.5f, 0.5f, 0.5f, 0, 0.25f, 1);
    // One value above 1 anywhere makes every colour of the file 0..255,
    // including the line before it.
    Loaded bytes = read("0 0 0 1 0 0\n1 1 1 0 0 255\n");
    ASSERT_TRUE(bytes.ok) << bytes.error;
    EXPECT_NEAR(bytes.cloud.nodes[0].r, 1.0f / 255, 1e-7f);
    EXPECT_NEAR(bytes.cloud.nodes[1].b, 1.0f, 1e-7f);
}

TEST(ViewerXyz, AcceptsCommonSpellingsOfTheSameData) {
    const char *text = "# exported cloud\r\n"
                       "\n"
                       "  -1,\t-1 ;-1\r\n"
                       "+1 +1 1e0\r\n"
                       "   \t\n"
                       "# trailing comment\n"
                       "0.0 0 .0"; // no newline at the end
    Loaded r = read(text);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.cloud.count, 3u);
    EXPECT_FLOAT_EQ(r.cloud.nodes[0].x, -0.5f);
    EXPECT_FLOAT_EQ(r.cloud.nodes[1].z, 0.5f);
    EXPECT_FLOAT_EQ(r.cloud.nodes[2].y, 0.0f);
    // No colour in the file: marked for the height ramp.
    EXPECT_EQ(r.cloud.nodes[0].r, vv::kNoColour);
}

TEST(ViewerXyz, MalformedLinesAreReportedWithTheirNumber) {
    const std::string long_line(5000, '1');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1 2 3\n\n1 2\n", "t.xyz: line 3: expected 3 or 6 numbers (x y z [r g b]), found 2"},
        {"1 2 3 4\n", "t.xyz: line 1: expected 3 or 6 numbers (x y z [r g b]), found 4"},
        {"1 2 3 4 5 6 7\n", "t.xyz: line 1: expected 3 or 6 numbers (x y z [r g b]), found 7"},
        {"# c\n1 2 abc\n", "t.xyz: line 2: 'abc' is not a number"},
        {"1 2 3x\n", "t.xyz: line 1: '3x' is not a number"},
        {"X Y Z\n1 2 3\n", "t.xyz: line 1: 'X' is not a number"},
        {"1 2 3 0 0 0\n4 5 6\n", "t.xyz: line 2: 3 numbers, but line 1 had 6"},
        {"1 2 3 0 0 256\n", "t.xyz: line 1: colour 256 is outside 0..255"},
        {"1 2 3 0 -1 0\n", "t.xyz: line 1: colour -1 is outside 0..255"},
        {"1 2 3 0 nan 0\n", "t.xyz: line 1: colour nan is outside 0..255"},
        {"1 2 3\n" + long_line + "\n", "t.xyz: line 2: longer than 4096 characters"},
        // 4096 bytes at most, a "\r" before the "\n" or the end counted.
        {"1 2 3\n1 2 3" + std::string(4091, ' ') + "\r\n",
         "t.xyz: line 2: longer than 4096 characters"},
        {"1 2 3\n\n1 2 3" + std::string(4092, ' '), "t.xyz: line 3: longer than 4096 characters"},
        {std::string("1 2 3\n1 2\0 3\n", 13), "t.xyz: line 2: '2\\x00' is not a number"},
        {"", "t.xyz: no points"},
        {"# only a comment\n\n", "t.xyz: no points"},
    };
    for (const auto &[text, message] : cases) {
        Loaded r = read(text);
        EXPECT_FALSE(r.ok) << text.substr(0, 40);
        EXPECT_EQ(r.error, message);
        EXPECT_EQ(r.cloud.count, 0u);
        EXPECT_EQ(r.cloud.nodes, nullptr);
    }
    const Loaded longest =
        read("1 2 3" + std::string(4090, ' ') + "\r\n4 5 6" + std::string(4091, ' '));
    EXPECT_TRUE(longest.ok) << longest.error;
    EXPECT_EQ(longest.cloud.count, 2u);
}

TEST(ViewerXyz, NonFinitePointsAreSkippedAndCounted) {
    Loaded r = read("0 0 0\nnan 1 1\n1 inf 1\n1 1 -inf\n1e999 0 0\n2 2 2\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.cloud.count, 2u);
    EXPECT_EQ(r.cloud.capacity, 2u) << "skipped points take no node";
    EXPECT_EQ(r.cloud.skipped, 4u);
    // The skipped points take no part in the fit.
    EXPECT_FLOAT_EQ(r.cloud.nodes[0].x, -0.5f);
    EXPECT_FLOAT_EQ(r.cloud.nodes[1].x, 0.5f);

    Loaded none = read("nan nan nan\ninf 0 0\n");
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.error, "t.xyz: no points with finite coordinates (2 skipped: NaN or infinite)");
}

TEST(ViewerXyz, LargeCoordinatesKeepTheirDigitsThroughTheFit) {
    // Georeferenced values: 0.1 apart at 4e7, where a float steps by 4.
    Loaded r = read("40000000.1 7000000 10\n40000000.2 7000000 10\n40000000.3 7000000 10\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_NEAR(r.cloud.nodes[0].x, -0.5f, 1e-5f);
    EXPECT_NEAR(r.cloud.nodes[1].x, 0.0f, 1e-5f);
    EXPECT_NEAR(r.cloud.nodes[2].x, 0.5f, 1e-5f);
}

TEST(ViewerXyz, ExtremeBoundsStayInsideTheCube) {
    Loaded r = read("-1.7e308 0 0\n1.7e308 1e-300 0\n0 0 4e-320\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FLOAT_EQ(r.cloud.nodes[0].x, -0.5f);
    EXPECT_FLOAT_EQ(r.cloud.nodes[1].x, 0.5f);
    EXPECT_FLOAT_EQ(r.cloud.nodes[2].x, 0.0f);
    // One point only: centred, nothing to scale.
    Loaded one = read("5 6 7\n");
    ASSERT_TRUE(one.ok) << one.error;
    expect_node(one.cloud.nodes[0], 0, 0, 0, vv::kNoColour, vv::kNoColour, vv::kNoColour);
}

// ---------------------------------------------------------------- PLY ----

// floating point 0..1, clamped) under each of the three naming schemes.
TEST(ViewerPly, EveryPropertyTypeInEveryFormat) {
    const char *const kPositionTypes[] = {
        "char", "int8",  "uchar", "uint8",  "short", "int16",   "ushort", "uint16",
        "int",  "int32", "uint",  "uint32", "float", "float32", "double", "float64"};
    struct ColourCase {
        const char *type;
        double raw[3];
        float want[3];
    };
    const ColourCase kColours[] = {
        {"uchar", {255, 51, 0}, {1, 0.2f, 0}},          {"uint8", {0, 102, 204}, {0, 0.4f, 0.8f}},
        {"ushort", {65535, 13107, 0}, {1, 0.2f, 0}},    {"uint16", {0, 0, 65535}, {0, 0, 1}},
        {"float", {0.25, 1.5, -1}, {0.25f, 1, 0}},      {"float32", {0, 1, 0.5}, {0, 1, 0.5f}},
        {"double", {0.5, 0.125, 1}, {0.5f, 0.125f, 1}}, {"float64", {2, 0.75, 0}, {1, 0.75f, 0}}};
    const char *const kNames[3][3] = {{"red", "green", "blue"},
                                      {"r", "g", "b"},
                                      {"diffuse_red", "diffuse_green", "diffuse_blue"}};
    int k = 0;
    for (const char *format : kPlyFormats)
        for (const char *type : kPositionTypes) {
            const ColourCase &colour = kColours[k % std::size(kColours)];
            const auto &names = kNames[k++ % 3];
            const std::string t = type, c = colour.type;
            PlyElement vertex{"vertex",
                              {t + " x", t + " y", t + " z", c + " " + names[0], c + " " + names[1],
                               c + " " + names[2]},
                              {}};
            // Bounds 0..100 x 0..50 x 0..20, fitting every type.
            for (const std::array<double, 3> &p :
                 {std::array<double, 3>{0, 0, 0}, {100, 50, 20}, {50, 25, 10}})
                vertex.rows.push_back(
                    {p[0], p[1], p[2], colour.raw[0], colour.raw[1], colour.raw[2]});
            const Loaded r = read_ply(ply_file(format, {vertex}));
            SCOPED_TRACE(std::string(format) + ", positions " + type + ", colours " + c);
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_EQ(r.cloud.count, 3u);
            const float *w = colour.want;
            expect_node(r.cloud.nodes[0], -0.5f, -0.25f, -0.1f, w[0], w[1], w[2]);
            expect_node(r.cloud.nodes[1], 0.5f, 0.25f, 0.1f, w[0], w[1], w[2]);
            expect_node(r.cloud.nodes[2], 0, 0, 0, w[0], w[1], w[2]);
        }
}

// The importer drew garbage for a binary file whose first element is not
// the vertices, read the camera row of an ascii one as a vertex, and ignored
// diffuse_* colours. Rows before the vertices (lists included) are skipped,
// lists inside the vertex rows too, and elements after them only counted.
TEST(ViewerPly, ElementsAroundTheVerticesAreSkipped) {
    const PlyElement camera{"camera",
                            {"float view_px", "float view_py", "float view_pz", "uchar flags"},
                            {{1000, -1000, 5, 7}}};
    const PlyElement faces_first{"face",
                                 {"list uchar int vertex_indices", "ushort tag"},
                                 {{3, 0, 1, 2, 9}, {4, 0, 1, 2, 3, 300}, {0, 1}}};
    const PlyElement vertex{
        "vertex",
        {"float x", "float y", "float z", "list uchar float extra", "uchar diffuse_red",
         "uchar diffuse_green", "uchar diffuse_blue"},
        {{0, 0, 0, 2, 9, 9, 255, 0, 0}, {10, 0, 0, 0, 0, 255, 0}, {0, 5, 2, 1, -7, 0, 0, 255}}};
    const PlyElement edges_after{"edge", {"int vertex1", "int vertex2"}, {{0, 1}, {1, 2}}};
    const std::vector<std::vector<PlyElement>> layouts = {
        {camera, vertex}, {camera, faces_first, vertex, edges_after}, {faces_first, vertex}};
    for (const char *format : kPlyFormats)
        for (const auto &layout : layouts) {
            const std::string bytes = ply_file(format, layout);
            SCOPED_TRACE(std::string(format) + ", first element " + layout[0].name);
            const Loaded r = read_ply(bytes);
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_EQ(r.cloud.count, 3u);
            expect_node(r.cloud.nodes[0], -0.5f, -0.25f, -0.1f, 1, 0, 0);
            expect_node(r.cloud.nodes[1], 0.5f, -0.25f, -0.1f, 0, 1, 0);
            expect_node(r.cloud.nodes[2], -0.5f, 0.25f, 0.1f, 0, 0, 1);
        }
    // load_cloud sends .ply in any case to this reader, and a PLY file under
    // another name too (told by its first line).
    for (const char *suffix : {".PLY", ".dat"}) {
        const std::string path = temp_file(suffix, ply_file("ascii", {camera, vertex}));
        const vv::Cloud c = load_ok(path);
        EXPECT_EQ(c.count, 3u) << suffix;
        std::remove(path.c_str());
    }
}

// The scalar fields of a cloud: their names in order and each one's values
// node by node (NaN compares equal to NaN here).
using Fields = std::vector<std::pair<std::string, std::vector<float>>>;

void expect_fields(const vv::Cloud &cloud, const Fields &expected) {
    ASSERT_EQ(cloud.fields.size(), expected.size());
    for (std::size_t j = 0; j < expected.size(); ++j) {
        EXPECT_EQ(cloud.fields[j].name, expected[j].first);
        ASSERT_EQ(cloud.fields[j].values.size(), cloud.count) << expected[j].first;
        for (std::size_t i = 0; i < cloud.count; ++i)
            EXPECT_TRUE(
                cloud.fields[j].values[i] == expected[j].second.at(i) ||
                (std::isnan(cloud.fields[j].values[i]) && std::isnan(expected[j].second[i])))
                << expected[j].first << "[" << i << "] = " << cloud.fields[j].values[i];
    }
}

TEST(ViewerPly, WithoutAllThreeColoursTheHeightRampIsUsed) {
    for (const std::vector<std::string> &properties :
         {std::vector<std::string>{"float x", "float y", "float z"},
          {"float x", "float y", "float z", "uchar red", "uchar green", "float nx"},
          {"double z", "double y", "double x", "float alpha"}}) {
        const Loaded r =
            read_ply(ply_file("binary_little_endian",
                              {{"vertex", properties, {{0, 0, 0, 1, 2, 3}, {2, 4, 8, 1, 2, 3}}}}));
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.cloud.count, 2u);
        EXPECT_EQ(r.cloud.nodes[0].r, vv::kNoColour);
        EXPECT_EQ(r.cloud.nodes[1].b, vv::kNoColour);
        // Colours not used are numbers like any other; alpha is none.
        if (properties.size() == 6)
            expect_fields(r.cloud, {{"red", {1, 1}}, {"green", {2, 2}}, {"nx", {3, 3}}});
        else
            EXPECT_TRUE(r.cloud.fields.empty());
    }
}

// Every other number of a vertex is kept as a field named as its property,
// each value beside its point, in every format and in each way rows are
// read (one pass for float x, y, z; two with a NaN row or with doubles;
// rows of many sizes with a list); the NaN row takes no value, and neither
// the colours used nor alpha nor lists become fields (x, y, z alone give
// none: WithoutAllThreeColoursTheHeightRampIsUsed).
TEST(ViewerPly, OtherPropertiesBecomeScalarFieldsBesideTheirPoints) {
    const double nan = std::nan("");
    const Fields kept = {
        {"intensity", {0.25f, -7, 1e30f}}, {"quality", {3, 65535, 0}}, {"nx", {1e-3f, nan, 0.5f}}};
    for (const char *format : kPlyFormats)
        for (const char *variant : {"float", "NaN row", "double", "list"}) {
            SCOPED_TRACE(std::string(format) + ", " + variant);
            const std::string t = std::string(variant) == "double" ? "double" : "float";
            PlyElement v{"vertex",
                         {"float intensity", t + " x", t + " y", "uchar red", "ushort quality",
                          "uchar green", t + " z", "uchar alpha", "uchar blue", "double nx"},
                         {}};
            if (std::string(variant) == "list")
                v.properties.insert(v.properties.begin() + 4, "list uchar int neighbours");
            const std::vector<std::vector<double>> rows = {
                {0.25, 1, 2, 10, 3, 20, 3, 255, 30, 1e-3},
                {-7, 4, 5, 40, 65535, 50, 6, 255, 60, nan},
                {1e30, 7, 8, 70, 0, 80, 9, 0, 90, 0.5}};
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (std::string(variant) == "NaN row" && i == 1)
                    v.rows.push_back({5, nan, 0, 0, 1, 0, 0, 0, 0, 9});
                v.rows.push_back(rows[i]);
                if (std::string(variant) == "list")
                    v.rows.back().insert(v.rows.back().begin() + 4, {2, 11, 12});
            }
            const Loaded r = read_ply(ply_file(format, {v}));
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_EQ(r.cloud.count, 3u);
            expect_node(r.cloud.nodes[1], 0, 0, 0, 40 / 255.0f, 50 / 255.0f, 60 / 255.0f);
            expect_fields(r.cloud, kept);
        }
}

std::string header(const std::string &format, const std::string &elements) {
    return "ply\nformat " + format + " 1.0\n" + elements + "end_header\n";
}

const char *const kOpen3dMissing = "Open3D missing: install python3-open3d (bash .ci/deps does)";

// Files from another tool: Open3D (python3-open3d) writes a coloured cloud
// with normals at test time (tests/open3d_ply.py) as PLY and PCD, ascii and
// binary, and the points, colours and normals it chose; the directory goes
// with the object.
struct Open3dFiles {
    std::string dir = ::testing::TempDir() + "viewer_core_open3d_XXXXXX";
    int status = -1;
    std::vector<std::array<double, 9>> want; // x y z r g b nx ny nz, colours as bytes
    vv::Bounds bounds;

    Open3dFiles() {
        if (!mkdtemp(dir.data()))
            return;
        status =
            std::system((std::string(SYSTEM_PYTHON " " OPEN3D_SCRIPT " '") + dir + "'").c_str());
        std::istringstream in(slurp(dir + "/expected.txt"));
        for (std::array<double, 9> p;
             in >> p[0] >> p[1] >> p[2] >> p[3] >> p[4] >> p[5] >> p[6] >> p[7] >> p[8];) {
            want.push_back(p);
            bounds.add(p[0], p[1], p[2]);
        }
    }
    ~Open3dFiles() {
        for (const char *f : {"/open3d_ascii.ply", "/open3d_binary.ply", "/open3d_ascii.pcd",
                              "/open3d_binary.pcd", "/open3d_compressed.pcd", "/expected.txt"})
            std::remove((dir + f).c_str());
        rmdir(dir.c_str());
    }
    bool missing() const { return WIFEXITED(status) && WEXITSTATUS(status) == 77; }

    // The file loads as the points and colours the script chose, positions
    // within `tolerance` of the fit, and the normals as the three scalar
    // fields the format names them.
    void expect_as_written(const char *file, float tolerance,
                           const std::array<const char *, 3> &normal) const {
        SCOPED_TRACE(file);
        ASSERT_EQ(status, 0) << OPEN3D_SCRIPT " failed";
        ASSERT_EQ(want.size(), 40u);
        const vv::Cloud c = load_ok(dir + file);
        ASSERT_EQ(c.count, want.size());
        const vv::Normaliser norm(bounds);
        for (std::size_t i = 0; i < want.size(); ++i) {
            VoxelNode n;
            norm.apply(want[i][0], want[i][1], want[i][2], n);
            EXPECT_NEAR(c.nodes[i].x, n.x, tolerance) << i;
            EXPECT_NEAR(c.nodes[i].y, n.y, tolerance) << i;
            EXPECT_NEAR(c.nodes[i].z, n.z, tolerance) << i;
            EXPECT_NEAR(c.nodes[i].r, want[i][3] / 255, 1e-6f) << i;
            EXPECT_NEAR(c.nodes[i].g, want[i][4] / 255, 1e-6f) << i;
            EXPECT_NEAR(c.nodes[i].b, want[i][5] / 255, 1e-6f) << i;
        }
        ASSERT_EQ(c.fields.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(c.fields[k].name, normal[k]);
            ASSERT_EQ(c.fields[k].values.size(), want.size());
            for (std::size_t i = 0; i < want.size(); ++i)
                EXPECT_NEAR(c.fields[k].values[i], want[i][6 + k], 1e-6) << normal[k] << i;
        }
    }
};

// PLY as ascii (6 significant digits) and as binary (doubles).
TEST(ViewerPly, FilesWrittenByOpen3dLoadAsWritten) {
    const Open3dFiles files;
    if (files.missing())
        GTEST_SKIP() << kOpen3dMissing;
    files.expect_as_written("/open3d_ascii.ply", 1e-5f, {"nx", "ny", "nz"});
    files.expect_as_written("/open3d_binary.ply", 1e-6f, {"nx", "ny", "nz"});
}

// Each malformed file gets one line of plain ASCII naming the problem (with
// its line for the header and ascii rows); none of them crashes or hangs,
// and declared counts far beyond the file allocate nothing.
TEST(ViewerPly, MalformedFilesGetAOneLineMessage) {
    const std::string xyz = "property float x\nproperty float y\nproperty float z\n";
    const std::string floats(std::string("\0\0\x80\x3f", 4) + std::string(8, '\0'));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plyx\nformat ascii 1.0\n", "not a PLY file (no 'ply' line at the start)"},
        {"ply\n" + std::string((1 << 20) + 1, 'c') + "\n",
         "line 2: longer than 1048576 characters"},
        {"ply\nformat ascii 1.0\nelement vertex 1\n" + xyz, "the header has no end_header line"},
        {header("binary_middle_endian", ""), "line 2: unknown format 'binary_middle_endian'"},
        {"ply\nelement vertex 1\n" + xyz + "end_header\n1 2 3\n", "the header has no format line"},
        {header("ascii", "property float x\n"), "line 3: property before any element"},
        {header("ascii", "element vertex lots\n"),
         "line 3: element count 'lots' is not a whole number"},
        {header("ascii", "element vertex -5\n"),
         "line 3: element count '-5' is not a whole number"},
        {header("ascii", "element vertex 1\nproperty half x\n"),
         "line 4: unknown property type 'half'"},
        {header("ascii", "element face 1\nproperty list float int v\n"),
         "line 4: list count type 'float' is not an integer type"},
        {header("ascii", "element vertex 1\nproperty float\n"),
         "line 4: property needs a type and a name"},
        {header("ascii", "element face 1\nproperty list uchar int v\n") + "3 0 1 2\n",
         "no vertex element"},
        {header("ascii", "element vertex 1\nproperty float x\nproperty float y\n") + "1 2\n",
         "the vertex element has no z property"},
        {header("ascii", "element vertex 0\n" + xyz), "no vertices"},
        {header("ascii", "element vertex 2\n" + xyz) + "1 2 3\n1 2 \x95x\n",
         "line 9: '\\x95x' is not a number"},
        {header("ascii", "element vertex 1\n" + xyz) + "1 2\n",
         "line 8: too few values for a vertex row"},
        {header("ascii", "element vertex 1\n" + xyz) + "1 2 3 4\n",
         "line 8: more values than the vertex element has properties"},
        {header("ascii", "element vertex 1\n" + xyz + "property list uchar int v\n") +
             "1 2 3 1.5 0\n",
         "line 9: list length '1.5' is not a whole number"},
        {header("ascii", "element vertex 2\n" + xyz) + "nan 0 0\n0 inf 0\n",
         "no vertices with finite coordinates (2 skipped: NaN or infinite)"},
        {header("binary_little_endian", "element face 1\nproperty list char int v\n" +
                                            std::string("element vertex 1\n") + xyz) +
             "\xff" + floats,
         "a face row has a negative list length"},
        // A trillion rows declared: refused from the file's length alone.
        {header("binary_little_endian", "element vertex 1000000000000\n" + xyz) + floats + floats,
         "truncated: the header declares 1000000000000 vertex rows, the file ends after 2"},
        {header("binary_big_endian",
                "element camera 1000000000000\nproperty double t\nelement vertex 1\n" + xyz) +
             floats,
         "truncated: the header declares 1000000000000 camera rows, the file ends after 1"},
        {header("ascii", "element vertex 1000000000000\n" + xyz) + "1 2 3\n\n4 5 6\n",
         "truncated: the header declares 1000000000000 vertex rows, the file ends after 2"},
    };
    for (const auto &[bytes, problem] : cases)
        expect_refused(read_ply(bytes), "t.ply: " + problem);
}

// Binary rows of an element without properties take no bytes: a trillion of
// them are no reason to read (or wait) at all.
TEST(ViewerPly, ElementsWithoutPropertiesTakeNoBytes) {
    const Loaded r = read_ply(header("binary_big_endian",
                                     "element marker 1000000000000\nelement vertex 1\n"
                                     "property uchar x\nproperty uchar y\nproperty uchar z\n") +
                              "\1\2\3");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.cloud.count, 1u);
}

// Binary files with float x, y, z are stored in one pass and scaled in place;
// the same points as doubles, or with a NaN row among them (both read in two
// passes), must give the very same bits.
TEST(ViewerPly, FloatPositionsStoreTheSameBitsInOneOrTwoPasses) {
    const std::vector<std::array<double, 3>> points = {
        {0.1f, -3.3f, 1e7f}, {123.456f, 7.0f, 1e7f + 2}, {-0.7f, 1e-3f, 9999999.0f}};
    const auto file = [&](const char *format, const char *type, bool nan_row) {
        const std::string t = type;
        PlyElement v{
            "vertex", {t + " x", t + " y", t + " z", "uchar red", "uchar g", "uchar b"}, {}};
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (nan_row && i == 1)
                v.rows.push_back({0, std::nan(""), 0, 0, 0, 0});
            v.rows.push_back({points[i][0], points[i][1], points[i][2], 17.0 * i, 255, 3});
        }
        return ply_file(format, {v});
    };
    for (const char *format : {"binary_little_endian", "binary_big_endian"}) {
        const Loaded one = read_ply(file(format, "float", false));
        ASSERT_TRUE(one.ok) << one.error;
        for (const auto &[type, nan_row] : {std::pair{"float", true}, {"double", false}}) {
            SCOPED_TRACE(std::string(format) + ", " + type + (nan_row ? " with a NaN row" : ""));
            const Loaded two = read_ply(file(format, type, nan_row));
            ASSERT_TRUE(two.ok) << two.error;
            ASSERT_EQ(two.cloud.count, points.size());
            EXPECT_EQ(two.cloud.capacity, two.cloud.count);
            EXPECT_EQ(two.cloud.skipped, nan_row ? 1u : 0u);
            for (std::size_t i = 0; i < points.size(); ++i)
                EXPECT_EQ(
                    std::memcmp(&one.cloud.nodes[i].x, &two.cloud.nodes[i].x, 6 * sizeof(float)), 0)
                    << "node " << i;
        }
    }
}

// Bytes that are not printable ASCII are written as \xNN in every message
// that quotes a token, XYZ and PLY alike.
TEST(ViewerPly, BadBytesAreEscapedInMessages) {
    const std::string bad = "\x95\xe2\x80\x99\t\x7f";
    const Loaded x = read("1 2 " + bad + "z\n");
    EXPECT_EQ(x.error, "t.xyz: line 1: '\\x95\\xe2\\x80\\x99' is not a number");
    const Loaded p = read_ply(header("ascii", "element vertex 1\nproperty float x\n"
                                              "property float y\nproperty float z\n") +
                              "1 2 3z" + bad + "\n");
    EXPECT_EQ(p.error, "t.ply: line 8: '3z\\x95\\xe2\\x80\\x99' is not a number");
    const Loaded f = read_ply(
        header("binary_little_endian", "element vertex 1\nproperty " + bad.substr(0, 4) + " x\n"));
    EXPECT_EQ(f.error, "t.ply: line 4: unknown property type '\\x95\\xe2\\x80\\x99'");
    const Loaded l = read_ply("ply\nformat \x7f\x01" + std::string(40, 'a') + " 1.0\n");
    EXPECT_EQ(l.error, "t.ply: line 2: unknown format '\\x7f\\x01" + std::string(30, 'a') + "...'");
    // Element names from the file are shown unquoted, escaped the same way.
    const Loaded e = read_ply(header("ascii", "element v\x03rtex\xc3\xa9 5\n"));
    EXPECT_EQ(e.error, "t.ply: truncated: the header declares 5 v\\x03rtex\\xc3\\xa9 rows, the "
                       "file ends after 0");
}

// ---------------------------------------------------------------- PCD ----

// One PCD field as its header spells it: FIELDS name, TYPE, SIZE, COUNT.

const char *const kPcdData[] = {"ascii", "binary"};

// x, y, z of every TYPE and SIZE, with fields around them in any order, of
// any COUNT (x, y, z are the first value of theirs), and the colour packed
// into rgb as a float or a U4, or into rgba (its alpha ignored): the values
// land exactly, the colour as its bytes.
TEST(ViewerPcd, FieldTypesOrdersAndCountsInAsciiAndBinary) {
    const std::pair<char, int> kPositionTypes[] = {{'I', 1}, {'I', 2}, {'I', 4}, {'I', 8},
                                                   {'U', 1}, {'U', 2}, {'U', 4}, {'U', 8},
                                                   {'F', 4}, {'F', 8}};
    // 0x00ff3300 packed three ways: red 1, green 0.2, blue 0.
    const struct {
        PcdField field;
        double value;
    } kColours[] = {{{"rgb", 'F', 4, 1}, packed_float(0x00ff3300)},
                    {{"rgb", 'U', 4, 1}, 0x00ff3300},
                    {{"rgba", 'U', 4, 1}, 0x80ff3300}};
    int k = 0;
    for (const char *data : kPcdData)
        for (const auto &[type, size] : kPositionTypes) {
            const auto &colour = kColours[k % std::size(kColours)];
            const PcdField x{"x", type, size, 1}, y{"y", type, size, 1}, z{"z", type, size, 1};
            const PcdField normal{"normal", 'F', 4, 3}, label{"label", 'U', 1, 1},
                extra{"descriptor", 'I', 2, 5};
            // Each layout's values for a point: the fields in their order.
            using Values = std::vector<double> (*)(const std::array<double, 3> &, double);
            const std::vector<std::pair<std::vector<PcdField>, Values>> layouts = {
                {{x, y, z, colour.field},
                 [](const std::array<double, 3> &p, double c) {
                     return std::vector<double>{p[0], p[1], p[2], c};
                 }},
                {{normal, z, colour.field, y, label, x},
                 [](const std::array<double, 3> &p, double c) {
                     return std::vector<double>{-1, 0.5, 2, p[2], c, p[1], 7, p[0]};
                 }},
                {{colour.field, extra, x, {"x", 'F', 4, 1}, y, z, normal},
                 [](const std::array<double, 3> &p, double c) {
                     return std::vector<double>{c, 1, -2, 3, -4, 5, p[0], 99, p[1], p[2], 0, 0, 1};
                 }}};
            const auto &[fields, values] = layouts[k++ % layouts.size()];
            std::vector<std::vector<double>> rows;
            for (const std::array<double, 3> &p :
                 {std::array<double, 3>{0, 0, 0}, {100, 50, 20}, {50, 25, 10}})
                rows.push_back(values(p, colour.value));
            SCOPED_TRACE(std::string(data) + ", positions " + type + std::to_string(size) +
                         ", colour " + colour.field.name + " " + colour.field.type + ", layout " +
                         std::to_string((k - 1) % layouts.size()));
            const Loaded r = read_pcd(pcd_file(data, fields, rows));
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_EQ(r.cloud.count, 3u);
            expect_node(r.cloud.nodes[0], -0.5f, -0.25f, -0.1f, 1, 0.2f, 0);
            expect_node(r.cloud.nodes[1], 0.5f, 0.25f, 0.1f, 1, 0.2f, 0);
            expect_node(r.cloud.nodes[2], 0, 0, 0, 1, 0.2f, 0);
        }
}

// Every other field of one value is kept as a field named as it is, each
// value beside its point, in ascii and binary; the NaN point takes no value.
// x, y, z, the packed colour, fields of several values and the padding "_"
// are no fields.
TEST(ViewerPcd, FieldsOfOneValueBecomeScalarFieldsBesideTheirPoints) {
    const double nan = std::nan("");
    const std::vector<PcdField> fields = {
        {"intensity", 'F', 4, 1}, {"x", 'F', 4, 1}, {"y", 'F', 4, 1},
        {"normal", 'F', 4, 3},    {"z", 'F', 8, 1}, {"rgb", 'F', 4, 1},
        {"label", 'U', 4, 1},     {"_", 'U', 1, 1}, {"curvature", 'F', 8, 1}};
    const double c = packed_float(0x00ff3300);
    const std::vector<std::vector<double>> rows = {{0.5, 0, 0, 1, 0, 0, 0, c, 7, 0, 1e-3},
                                                   {9, nan, nan, 0, 1, 0, nan, c, 8, 0, 2},
                                                   {-3, 2, 4, 0, 0, 1, 8, c, 4000000000, 0, nan}};
    for (const char *data : kPcdData) {
        SCOPED_TRACE(data);
        const Loaded r = read_pcd(pcd_file(data, fields, rows));
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.cloud.count, 2u);
        expect_node(r.cloud.nodes[1], 0.125f, 0.25f, 0.5f, 1, 0.2f, 0);
        expect_fields(r.cloud, {{"intensity", {0.5f, -3}},
                                {"label", {7, 4000000000.0f}},
                                {"curvature", {1e-3f, nan}}});
        const Loaded plain = read_pcd(
            pcd_file(data, {{"x", 'F', 4, 1}, {"y", 'F', 4, 1}, {"z", 'F', 4, 1}}, {{1, 2, 3}}));
        ASSERT_TRUE(plain.ok) << plain.error;
        EXPECT_TRUE(plain.cloud.fields.empty());
    }
}

// Only a 4-byte rgb or rgba holds a packed colour; any other leaves the
// height ramp to colour the points.
TEST(ViewerPcd, ColourFieldsOfOtherSizesAreNotColours) {
    for (const PcdField &colour : {PcdField{"rgb", 'U', 2, 1}, PcdField{"rgba", 'F', 8, 1}})
        for (const char *data : kPcdData) {
            SCOPED_TRACE(std::string(data) + ", " + colour.name + " " + colour.type +
                         std::to_string(colour.size));
            const Loaded r = read_pcd(
                pcd_file(data, {{"x", 'F', 4, 1}, {"y", 'F', 4, 1}, {"z", 'F', 4, 1}, colour},
                         {{0, 0, 0, 4000}, {1, 2, 3, 255}}));
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_EQ(r.cloud.count, 2u);
            EXPECT_EQ(r.cloud.nodes[0].r, vv::kNoColour);
            EXPECT_EQ(r.cloud.nodes[1].g, vv::kNoColour);
        }
}

// PCL writes NaN for the holes of an organised cloud (HEIGHT > 1): they take
// no voxel and are counted; without an rgb field the height ramp colours.
// load_cloud sends .pcd in any case here, and a PCD file under another name
// too, told by its first line or its VERSION line.
TEST(ViewerPcd, NanPointsOfOrganisedCloudsAreSkippedAndCounted) {
    const double nan = std::nan("");
    const std::vector<PcdField> fields = {{"x", 'F', 4, 1}, {"y", 'F', 4, 1}, {"z", 'F', 8, 1}};
    const std::vector<std::vector<double>> rows = {{0, 0, 0},   {nan, nan, nan}, {2, 4, 8},
                                                   {1, nan, 1}, {1, 2, 4},       {2, 0, 0}};
    for (const char *data : kPcdData) {
        SCOPED_TRACE(data);
        const Loaded r = read_pcd(pcd_file(data, fields, rows, 2));
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.cloud.count, 4u);
        EXPECT_EQ(r.cloud.capacity, 4u);
        EXPECT_EQ(r.cloud.skipped, 2u);
        // Bounds 0..2 x 0..4 x 0..8 of the four finite points, in file order.
        const float none = vv::kNoColour;
        expect_node(r.cloud.nodes[1], 0.125f, 0.25f, 0.5f, none, none, none);
        expect_node(r.cloud.nodes[3], 0.125f, -0.25f, -0.5f, none, none, none);
    }
    const std::string file = pcd_file("ascii", fields, rows, 3);
    const std::string version_first = file.substr(file.find('\n') + 1);
    for (const auto &[suffix, bytes] : {std::pair<const char *, std::string>{".PCD", file},
                                        {".dat", file},
                                        {".dat", "# written by hand\n\n" + version_first}}) {
        SCOPED_TRACE(suffix + bytes.substr(0, 20));
        const std::string path = temp_file(suffix, bytes);
        const vv::Cloud c = load_ok(path);
        EXPECT_EQ(c.count, 4u);
        EXPECT_EQ(c.skipped, 2u);
        std::remove(path.c_str());
    }
}

// Each malformed file gets one line of plain ASCII naming the problem (with
// its line for the header and ascii rows); POINTS far beyond the file
// allocate nothing, and binary_compressed is refused by name.
TEST(ViewerPcd, MalformedFilesGetAOneLineMessage) {
    const auto head = [](const std::string &lines) {
        return "VERSION 0.7\nFIELDS x y z\n" + lines;
    };
    const std::string xyz = "SIZE 4 4 4\nTYPE F F F\n";
    const std::string floats(12, '\0');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {head(xyz + "WIDTH 2\nPOINTS 2\nDATA binary_compressed\n") + floats,
         "PCD binary_compressed (LZF) is not supported; save it as binary or ascii"},
        {head(xyz + "POINTS 1\nDATA lzma\n"), "line 6: unknown DATA 'lzma'"},
        {head(xyz + "POINTS 1\n"), "the header has no DATA line"},
        {head("SIZE 4 4\n"), "line 3: 'SIZE' has 2 values for 3 fields"},
        {"VERSION 0.7\nTYPE F F F\n", "line 2: 'TYPE' before FIELDS"},
        {head(xyz + "FIELDS 4\n"), "line 5: a second FIELDS line"},
        {head("SIZE 4 3 4\n"), "line 3: SIZE '3' is not 1, 2, 4 or 8"},
        {head("SIZE 4 4 4\nTYPE F D F\n"), "line 4: TYPE 'D' is not I, U or F"},
        {head(xyz + "COUNT 1 0 1\n"), "line 5: COUNT '0' is not a whole number from 1 to 1000000"},
        {head(xyz + "WIDTH -3\n"), "line 5: WIDTH '-3' is not a whole number"},
        {head(xyz + "ORIGIN 0 0 0\n"), "line 5: unknown header line 'ORIGIN'"},
        {head("SIZE 4 4 2\nTYPE F F F\nPOINTS 1\nDATA ascii\n1 2 3\n"),
         "field 'z' has TYPE F of SIZE 2, which is not a number type"},
        {head("SIZE 4 4 4\nPOINTS 1\nDATA ascii\n1 2 3\n"), "the header has no TYPE line"},
        {head(xyz + "DATA ascii\n1 2 3\n"), "the header has neither POINTS nor WIDTH"},
        {head(xyz + "WIDTH 3\nHEIGHT 2\nPOINTS 5\nDATA ascii\n"),
         "POINTS 5 is not WIDTH 3 x HEIGHT 2"},
        {"VERSION 0.7\nFIELDS x y zed\n" + xyz + "POINTS 1\nDATA ascii\n1 2 3\n",
         "the header has no z field"},
        {head(xyz + "POINTS 2\nDATA ascii\n1 2 3\n1 2\n"), "line 8: too few values for a point"},
        {head(xyz + "POINTS 1\nDATA ascii\n1 2 3 4\n"), "line 7: more values than the fields hold"},
        {head(xyz + "POINTS 1\nDATA ascii\n1 2 \x95x\n"), "line 7: '\\x95x' is not a number"},
        {head(xyz + "POINTS 2\nDATA ascii\nnan 0 0\n0 inf 0\n"),
         "no points with finite coordinates (2 skipped: NaN or infinite)"},
        {head(xyz + "POINTS 0\nDATA binary\n"), "no points"},
        {head(xyz + "POINTS 3\nDATA binary\n") + floats + floats + "\1\2",
         "truncated: the header declares 3 points, the file ends after 2"},
        {head(xyz + "POINTS 3\nDATA ascii\n1 2 3\n\n4 5 6\n"),
         "truncated: the header declares 3 points, the file ends after 2"},
        // A trillion points declared: refused from the file's length alone.
        {head(xyz + "WIDTH 1000000000000\nPOINTS 1000000000000\nDATA binary\n") + floats,
         "truncated: the header declares 1000000000000 points, the file ends after 1"},
        {head(xyz + "POINTS 1000000000000\nDATA ascii\n1 2 3\n"),
         "truncated: the header declares 1000000000000 points, the file ends after 1"},
    };
    for (const auto &[bytes, problem] : cases)
        expect_refused(read_pcd(bytes), "t.pcd: " + problem);
}

// Open3D writes x, y, z as floats and the colour packed into an rgb float;
// its binary_compressed file is refused with the message that says so.
TEST(ViewerPcd, FilesWrittenByOpen3dLoadAsWritten) {
    const Open3dFiles files;
    if (files.missing())
        GTEST_SKIP() << kOpen3dMissing;
    files.expect_as_written("/open3d_ascii.pcd", 1e-6f, {"normal_x", "normal_y", "normal_z"});
    files.expect_as_written("/open3d_binary.pcd", 1e-6f, {"normal_x", "normal_y", "normal_z"});
    const std::string path = files.dir + "/open3d_compressed.pcd";
    vv::Cloud c;
    std::string error;
    EXPECT_FALSE(vv::load_cloud(path, c, error));
    EXPECT_EQ(error,
              path + ": PCD binary_compressed (LZF) is not supported; save it as binary or ascii");
    EXPECT_EQ(c.nodes, nullptr);
}

// ------------------------------------------------- block, lists, colours ----

TEST(ViewerCloud, ListsAreBoundedRunsOfTheOneBlock) {
    vv::Cloud c;
    ASSERT_TRUE(vv::allocate(c, 10));
    c.count = 10;
    vv::link_lists(c, 4);
    ASSERT_EQ(c.lists.size(), 3u);
    std::vector<std::size_t> lengths;
    std::size_t index = 0;
    for (std::size_t k = 0; k < c.lists.size(); ++k) {
        EXPECT_EQ(c.lists[k], &c.nodes[4 * k]);
        std::size_t n = 0;
        for (const VoxelNode *v = c.lists[k]; v; v = v->next, ++n, ++index)
            EXPECT_EQ(v, &c.nodes[index]); // storage order is drawing order
        lengths.push_back(n);
    }
    EXPECT_EQ(lengths, (std::vector<std::size_t>{4, 4, 2}));

    c.count = 8; // an exact multiple ends without an empty list
    vv::link_lists(c, 4);
    EXPECT_EQ(c.lists.size(), 2u);
    c.count = 0;
    vv::link_lists(c, 4);
    EXPECT_TRUE(c.lists.empty());
}

TEST(ViewerCloud, ClearReleasesTheBlockAndTheTable) {
    vv::Cloud c;
    ASSERT_TRUE(vv::allocate(c, 10));
    c.count = 10;
    c.skipped = 3;
    vv::link_lists(c, 4);
    vv::clear(c);
    EXPECT_EQ(c.nodes, nullptr);
    EXPECT_EQ(c.capacity, 0u);
    EXPECT_EQ(c.count, 0u);
    EXPECT_EQ(c.skipped, 0u);
    EXPECT_EQ(c.lists.capacity(), 0u);
    // No points, no block.
    ASSERT_TRUE(vv::allocate(c, 0));
    EXPECT_EQ(c.nodes, nullptr);
    EXPECT_EQ(c.capacity, 0u);
}

TEST(ViewerCloud, LoadedFileIsOneExactBlockInListsOfTheDefaultLength) {
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += std::to_string(i) + " " + std::to_string(i % 7) + " 0\n";
    const std::string path = temp_file(".XYZ", text); // extension in any case
    vv::Cloud c;
    std::string error;
    ASSERT_TRUE(vv::load_cloud(path, c, error)) << error;
    std::remove(path.c_str());
    EXPECT_EQ(c.count, 10000u);
    EXPECT_EQ(c.capacity, 10000u);
    ASSERT_EQ(c.lists.size(), (10000 + vv::kListLength - 1) / vv::kListLength);
    std::size_t total = 0;
    for (VoxelNode *head : c.lists)
        for (const VoxelNode *v = head; v; v = v->next) {
            ++total;
            EXPECT_GE(v, &c.nodes[0]);
            EXPECT_LT(v, &c.nodes[0] + c.count);
        }
    EXPECT_EQ(total, 10000u);
    EXPECT_NE(c.nodes[0].r, vv::kNoColour); // load_cloud coloured them
}

TEST(ViewerCloud, HeightRampRunsFromBlueAtTheBottomToRedAtTheTop) {
    vv::Cloud c;
    ASSERT_TRUE(vv::allocate(c, 6));
    c.count = 6;
    const float ys[6] = {-0.2f, 0.0f, 0.2f, 0.1f, -0.1f, 0.5f};
    for (int i = 0; i < 6; ++i)
        c.nodes[i] = {0, ys[i], 0, vv::kNoColour, vv::kNoColour, vv::kNoColour, nullptr};
    // A voxel with its own colour keeps it and does not stretch the ramp.
    c.nodes[5].r = 0.3f;
    c.nodes[5].g = 0.3f;
    c.nodes[5].b = 0.3f;
    vv::colour_by_height(c);
    expect_node(c.nodes[0], 0, -0.2f, 0, 0, 0, 1); // lowest: blue
    expect_node(c.nodes[4], 0, -0.1f, 0, 0, 1, 1); // a quarter: cyan
    expect_node(c.nodes[1], 0, 0.0f, 0, 0, 1, 0);  // half way: green
    expect_node(c.nodes[3], 0, 0.1f, 0, 1, 1, 0);  // three quarters: yellow
    expect_node(c.nodes[2], 0, 0.2f, 0, 1, 0, 0);  // highest: red
    expect_node(c.nodes[5], 0, 0.5f, 0, 0.3f, 0.3f, 0.3f);

    // All at one height: green, never a division by zero.
    for (int i = 0; i < 6; ++i)
        c.nodes[i] = {0, 0.25f, 0, vv::kNoColour, vv::kNoColour, vv::kNoColour, nullptr};
    vv::colour_by_height(c);
    expect_node(c.nodes[3], 0, 0.25f, 0, 0, 1, 0);
}

// ------------------------------------------------------- model files ----

// Every voxel inside the cube, the longest side spanning it, and the lists
// holding each voxel once.
void expect_fitted(const vv::Cloud &c) {
    float lo[3] = {1, 1, 1}, hi[3] = {-1, -1, -1};
    std::size_t listed = 0;
    for (VoxelNode *head : c.lists)
        for (const VoxelNode *v = head; v; v = v->next, ++listed) {
            const float p[3] = {v->x, v->y, v->z};
            for (int i = 0; i < 3; ++i) {
                ASSERT_GE(p[i], -0.5f);
                ASSERT_LE(p[i], 0.5f);
                lo[i] = std::min(lo[i], p[i]);
                hi[i] = std::max(hi[i], p[i]);
            }
            ASSERT_TRUE(v->r >= 0 && v->r <= 1 && v->g >= 0 && v->g <= 1 && v->b >= 0 && v->b <= 1);
        }
    EXPECT_EQ(listed, c.count);
    float longest = 0;
    for (int i = 0; i < 3; ++i) {
        longest = std::max(longest, hi[i] - lo[i]);
        EXPECT_NEAR(lo[i] + hi[i], 0.0f, 1e-5f) << "axis " << i << " not centred";
    }
    EXPECT_NEAR(longest, 1.0f, 1e-5f);
}

// The vertices of Debian's test models, counted from the files themselves
// and not by the importer: a PLY or OFF header's count; for OBJ and STL,
// which repeat a vertex for every face (OBJ groups) or facet (STL) that
// uses it, the number of distinct points listed.
struct ModelFile {
    const char *path; // under VIEWER_MODELS
    std::size_t vertices;
};
std::ostream &operator<<(std::ostream &out, const ModelFile &m) {
    return out << m.path;
}
const ModelFile kModelFiles[] = {
    {"PLY/cube.ply", 8},     {"PLY/cube_binary.ply", 8},    {"PLY/Wuson.ply", 11184},
    {"OBJ/box.obj", 8},      {"OBJ/spider.obj", 722},       {"OFF/Cube.off", 8},
    {"OFF/Wuson.off", 3205}, {"STL/Spider_ascii.stl", 722}, {"STL/Spider_binary.stl", 722},
};
// The vertices pond.0.ply declares; it holds fewer.
constexpr std::size_t kPondDeclared = 70051;

class ViewerModels : public ::testing::TestWithParam<ModelFile> {};

TEST_P(ViewerModels, EveryVertexBecomesOneVoxelInsideTheCube) {
    const std::string path = std::string(VIEWER_MODELS "/") + GetParam().path;
    if (access(path.c_str(), R_OK) != 0)
        GTEST_SKIP() << path << " missing: install assimp-testmodels (bash .ci/test does)";
    const vv::Cloud c = load_ok(path);
    EXPECT_EQ(c.count, GetParam().vertices);
    EXPECT_EQ(c.skipped, 0u);
    expect_fitted(c);
}

INSTANTIATE_TEST_SUITE_P(Files, ViewerModels, ::testing::ValuesIn(kModelFiles));

TEST(ViewerModelColours, FileVertexColoursAreKept) {
    const std::string path = VIEWER_MODELS "/PLY/points.ply";
    if (access(path.c_str(), R_OK) != 0)
        GTEST_SKIP() << "assimp-testmodels missing";
    // The file's own colours: "x y z red green blue nx ny nz", colours as bytes.
    std::istringstream in(slurp(path));
    std::string line;
    while (std::getline(in, line) && line != "end_header") {
    }
    std::vector<std::array<float, 3>> want;
    float x, y, z, r, g, b, nx, ny, nz;
    while (in >> x >> y >> z >> r >> g >> b >> nx >> ny >> nz)
        want.push_back({r / 255, g / 255, b / 255});
    ASSERT_EQ(want.size(), 4u);
    const vv::Cloud c = load_ok(path);
    ASSERT_EQ(c.count, want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(c.nodes[i].r, want[i][0], 1e-6f) << i;
        EXPECT_NEAR(c.nodes[i].g, want[i][1], 1e-6f) << i;
        EXPECT_NEAR(c.nodes[i].b, want[i][2], 1e-6f) << i;
    }
}

TEST(ViewerModelColours, ObjVertexColoursSurviveTheFold) {
    const std::string path = VIEWER_MODELS "/OBJ/cube_with_vertexcolors.obj";
    if (access(path.c_str(), R_OK) != 0)
        GTEST_SKIP() << "assimp-testmodels missing";
    std::set<std::array<float, 3>> want;
    std::istringstream in(slurp(path));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("v ", 0) == 0) {
            std::istringstream l(line.substr(2));
            float x, y, z, r, g, b;
            l >> x >> y >> z >> r >> g >> b;
            want.insert({r, g, b});
        }
    const vv::Cloud c = load_ok(path);
    EXPECT_EQ(c.count, 8u);
    std::set<std::array<float, 3>> got;
    for (std::size_t i = 0; i < c.count; ++i)
        got.insert({c.nodes[i].r, c.nodes[i].g, c.nodes[i].b});
    EXPECT_EQ(got, want);
}

TEST(ViewerModelColours, BinaryScanWithNanPointsSkipsAndCountsThem) {
    // pond.0.ply: binary little-endian, 31 bytes a vertex (x y z nx ny nz as
    // float, three bytes of colour, one float), some NaN positions, and a
    // few bytes short of the vertices its header declares. Loaded as it is,
    // it is refused as truncated (below); cut to its complete vertices,
    // with the header saying so, it loads.
    const std::string path = VIEWER_MODELS "/PLY/pond.0.ply";
    if (access(path.c_str(), R_OK) != 0)
        GTEST_SKIP() << "assimp-testmodels missing";
    const std::string data = slurp(path);
    const std::size_t body = data.find("end_header\n") + 11;
    const std::size_t complete = (data.size() - body) / 31;
    ASSERT_LT(complete, kPondDeclared);
    std::size_t non_finite = 0;
    for (std::size_t i = 0; i < complete; ++i) {
        float p[3];
        std::memcpy(p, data.data() + body + 31 * i, 12);
        non_finite += !(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
    }
    ASSERT_GT(non_finite, 0u);

    std::string header = data.substr(0, body);
    const std::string count = "element vertex " + std::to_string(kPondDeclared);
    header.replace(header.find(count), count.size(), "element vertex " + std::to_string(complete));
    const std::string cut = temp_file(".ply", header + data.substr(body, complete * 31));
    const vv::Cloud c = load_ok(cut);
    EXPECT_EQ(c.skipped, non_finite);
    EXPECT_EQ(c.count + c.skipped, complete);
    EXPECT_EQ(c.capacity, c.count) << "skipped points take no node";
    expect_fitted(c);
    std::remove(cut.c_str());
}

TEST(ViewerLoadErrors, NameTheFileAndTheProblem) {
    const std::string dir = ::testing::TempDir();
    const std::string empty = temp_file(".ply", "");
    const std::string text = temp_file(".txt", "just some words, not a model at all\n");
    const std::string obj =
        temp_file(".obj", "# an OBJ file with a comment and nothing else\no empty\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir + "no_such_file.ply", dir + "no_such_file.ply: no such file"},
        {dir, dir + ": is a directory"},
        {empty, empty + ": empty file"},
        {text, text + ": unknown format (no importer reads this kind of file)"},
        {obj, obj + ": no vertices"},
    };
    for (const auto &[path, message] : cases) {
        vv::Cloud c;
        std::string error;
        EXPECT_FALSE(vv::load_cloud(path, c, error)) << path;
        EXPECT_EQ(error, message);
        EXPECT_EQ(c.count, 0u);
        EXPECT_EQ(c.nodes, nullptr);
        EXPECT_TRUE(c.lists.empty());
    }
    for (const std::string &p : {empty, text, obj})
        std::remove(p.c_str());
}

// The importer fills the rows a short PLY or OFF file lacks with leftover
// data; such a file must be refused, naming what is missing.
TEST(ViewerLoadErrors, FilesShorterThanTheirHeaderSaysAreRefused) {
    std::string points_binary, points_ascii;
    for (int i = 0; i < 1000; ++i) {
        const float p[3] = {i / 1000.0f, (i % 7) / 7.0f, (i % 13) / 13.0f};
        points_binary.append(reinterpret_cast<const char *>(p), sizeof p);
        points_ascii +=
            std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + "\n";
    }
    const auto ply = [](const char *format, const std::string &rows) {
        return std::string("ply\nformat ") + format +
               " 1.0\nelement vertex 1000\nproperty float x\nproperty float y\n"
               "property float z\nend_header\n" +
               rows;
    };
    const std::string cube = slurp(VIEWER_MODELS "/PLY/cube_binary.ply");
    const std::string off = "OFF\n# a comment line\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n"
                            "3 0 1 2\n3 0 2 3\n";
    struct Case {
        std::string suffix, content, problem;
    };
    std::vector<Case> cases = {
        {".ply", ply("binary_little_endian", points_binary.substr(0, 500 * 12 + 7)),
         "the header declares 1000 vertex rows, the file ends after 500"},
        {".ply", ply("ascii", points_ascii.substr(0, points_ascii.size() / 2)),
         "the header declares 1000 vertex rows, the file ends after 500"},
        {".off", off.substr(0, off.find("1 1 0")),
         "the header declares 4 vertices, the file ends after 2"},
        {".off", off.substr(0, off.find("0 1 0")),
         "the header declares 4 vertices, the file ends after 3"},
        {".off", off.substr(0, off.find("3 0 2 3")),
         "the header declares 2 faces, the file ends after 1"},
        // A list whose item count runs past the end of the file.
        {".ply",
         "ply\nformat binary_big_endian 1.0\nelement face 2\nproperty list uint int i\n"
         "end_header\n" +
             std::string("\0\0\0\1\0\0\0\7\xff\xff\xff\xff\0\0\0\1", 16),
         "the header declares 2 face rows, the file ends after 1"},
    };
    if (!cube.empty()) // 12 faces of 13 bytes after the vertices: drop the last
        cases.push_back({".ply", cube.substr(0, cube.size() - 13),
                         "the header declares 12 face rows, the file ends after 11"});
    for (const Case &k : cases) {
        const std::string path = temp_file(k.suffix, k.content);
        vv::Cloud c;
        std::string error;
        EXPECT_FALSE(vv::load_cloud(path, c, error)) << k.problem;
        EXPECT_EQ(error, path + ": truncated: " + k.problem);
        EXPECT_EQ(c.count, 0u);
        std::remove(path.c_str());
    }

    // The same files whole, with CRLF line ends or trailing data, still load.
    std::string crlf = ply("ascii", points_ascii);
    for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
        crlf.insert(at, "\r");
    for (const auto &[suffix, content] : std::vector<std::pair<std::string, std::string>>{
             {".ply", ply("binary_little_endian", points_binary + "extra")},
             {".ply", crlf},
             {".off", off}}) {
        const std::string path = temp_file(suffix, content);
        vv::Cloud c;
        std::string error;
        EXPECT_TRUE(vv::load_cloud(path, c, error)) << error;
        EXPECT_EQ(c.count, suffix == ".off" ? 4u : 1000u);
        std::remove(path.c_str());
    }

    // The real pond.0.ply scan is three vertices short.
    const std::string pond = VIEWER_MODELS "/PLY/pond.0.ply";
    if (access(pond.c_str(), R_OK) == 0) {
        vv::Cloud c;
        std::string error;
        EXPECT_FALSE(vv::load_cloud(pond, c, error));
        EXPECT_EQ(
            error,
            pond + ": truncated: the header declares 70051 vertex rows, the file ends after 70048");
    }
}

// ----------------------------------------------------------- command line ----

std::optional<vv::Options> parse(std::vector<const char *> args, std::string &error) {
    args.insert(args.begin(), "vorlix-view");
    return vv::parse_options(static_cast<int>(args.size()), args.data(), error);
}

TEST(ViewerOptions, ReadsEveryOption) {
    std::string error;
    auto o = parse({"cloud.ply", "--screenshot", "out.png", "--size", "320x240", "--yaw", "-30.5",
                    "--pitch", "12"},
                   error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->file, "cloud.ply");
    EXPECT_EQ(o->screenshot, "out.png");
    EXPECT_EQ(o->width, 320);
    EXPECT_EQ(o->height, 240);
    EXPECT_FLOAT_EQ(o->yaw, -30.5f);
    EXPECT_FLOAT_EQ(o->pitch, 12.0f);
    EXPECT_FALSE(o->help);

    auto plain = parse({"cloud.xyz"}, error);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->screenshot.empty());
    EXPECT_EQ(plain->width, 640);
    EXPECT_EQ(plain->height, 640);

    auto help = parse({"--help"}, error);
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->help);
    EXPECT_EQ(std::strchr(vv::kUsage, '\n'), nullptr) << "the help is one line";
}

TEST(ViewerOptions, RejectsWhatItCannotUse) {
    const std::vector<std::pair<std::vector<const char *>, std::string>> cases = {
        {{}, "no file given"},
        {{"a.ply", "b.ply"}, "more than one file: a.ply, b.ply"},
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
        {{"a.ply", "--screenshot", ""}, "--screenshot needs a file name"},
    };
    for (const auto &[args, message] : cases) {
        std::string error;
        EXPECT_FALSE(parse(args, error));
        EXPECT_EQ(error, message);
    }
}

// ------------------------------------------------------------------ view ----

// Where the view's matrix takes a point (column-major, as OpenGL applies it).
std::array<float, 3> turn(const vv::View &v, float x, float y, float z) {
    float m[16];
    v.matrix(m);
    return {m[0] * x + m[4] * y + m[8] * z, m[1] * x + m[5] * y + m[9] * z,
            m[2] * x + m[6] * y + m[10] * z};
}

void expect_point(std::array<float, 3> p, float x, float y, float z) {
    EXPECT_NEAR(p[0], x, 1e-6f);
    EXPECT_NEAR(p[1], y, 1e-6f);
    EXPECT_NEAR(p[2], z, 1e-6f);
}

TEST(ViewerView, OrbitTurnsByTheDraggedAngle) {
    vv::View v;
    expect_point(turn(v, 0.1f, 0.2f, 0.3f), 0.1f, 0.2f, 0.3f);
    // 180 px to the right at half a degree a pixel: a quarter turn that
    // brings the front (+z, towards the eye) to the right.
    v.drag(180, 0);
    EXPECT_FLOAT_EQ(v.yaw, 90.0f);
    expect_point(turn(v, 0, 0, 0.5f), 0.5f, 0, 0);
    expect_point(turn(v, 0.5f, 0, 0), 0, 0, -0.5f);
    expect_point(turn(v, 0, 0.5f, 0), 0, 0.5f, 0);
    // Then down: the pitch turns about the screen's horizontal axis, after
    // the yaw, so what faces right stays right and the far point comes up.
    v.drag(0, 180);
    expect_point(turn(v, 0, 0, 0.5f), 0.5f, 0, 0);
    expect_point(turn(v, 0.5f, 0, 0), 0, 0.5f, 0);
    // Pitch alone tips the front downwards.
    vv::View p;
    p.drag(0, 180);
    expect_point(turn(p, 0, 0, 0.5f), 0, -0.5f, 0);
    // Long drags wrap instead of growing without end.
    p.drag(720 * 10 + 20, 0);
    EXPECT_FLOAT_EQ(p.yaw, 10.0f);
}

TEST(ViewerView, KeysChangeTheSettingsTheLibraryGets) {
    using A = vv::View::Action;
    vv::View v(30, -10);
    EXPECT_EQ(v.key(27), A::Quit);
    EXPECT_EQ(v.key('s'), A::Save);
    EXPECT_EQ(v.key('x'), A::None);
    EXPECT_EQ(v.mode, SCREEN_MODE_POINTS);
    EXPECT_EQ(v.key(']'), A::Redraw);
    EXPECT_EQ(v.isize, 3);
    for (int i = 0; i < 10; ++i)
        v.key('[');
    EXPECT_EQ(v.isize, 1) << "a point never shrinks to nothing";
    EXPECT_FLOAT_EQ(v.fsize, 0.01f) << "[ ] act on the mode shown";
    v.key('C');
    EXPECT_EQ(v.mode, SCREEN_MODE_CUBES);
    v.key(']');
    EXPECT_FLOAT_EQ(v.fsize, 0.0125f);
    EXPECT_EQ(v.isize, 1);
    v.key('p');
    EXPECT_EQ(v.mode, SCREEN_MODE_POINTS);
    EXPECT_TRUE(v.bounding_cube);
    v.key('b');
    EXPECT_FALSE(v.bounding_cube);
    v.key('B');
    EXPECT_TRUE(v.bounding_cube);

    EXPECT_FLOAT_EQ(v.distance, vv::kHomeDistance);
    EXPECT_NEAR(v.depth(), 2.2f - vv::kHomeDistance, 1e-6f);
    v.key('+');
    EXPECT_NEAR(v.distance, vv::kHomeDistance / 1.1f, 1e-5f);
    v.key('-');
    v.key('-');
    EXPECT_NEAR(v.distance, vv::kHomeDistance * 1.1f, 1e-5f);
    for (int i = 0; i < 100; ++i)
        v.zoom_steps(1);
    EXPECT_GE(v.distance, 0.3f) << "never through the near plane";
    v.drag(40, 40);
    v.pan_by(40, 40, 500);
    EXPECT_EQ(v.key('r'), A::Redraw);
    EXPECT_FLOAT_EQ(v.yaw, 30.0f); // back to the view the command line asked for
    EXPECT_FLOAT_EQ(v.pitch, -10.0f);
    EXPECT_FLOAT_EQ(v.distance, vv::kHomeDistance);
    EXPECT_EQ(v.pan[0], 0.0f);
    EXPECT_EQ(v.pan[1], 0.0f);
}

// The cloud's centre follows the pointer by the dragged pixels, at any zoom
// and window height (GLUT's y grows downwards, the window's upwards).
TEST(ViewerView, PanMovesTheCentreWithThePointer) {
    for (const auto &[dx, dy, height, zoom] :
         {std::array<int, 4>{100, 0, 500, 0}, {-30, 45, 300, 3}, {7, -60, 640, -5}}) {
        vv::View v;
        v.zoom_steps(zoom);
        v.pan_by(dx / 2, dy / 2, height);
        v.pan_by(dx - dx / 2, dy - dy / 2, height);
        const vt::Win c = vt::eye_to_window(v.pan[0], v.pan[1], -v.distance, height, height);
        EXPECT_NEAR(c.x, height / 2.0 + dx, 1e-3) << dx << "," << dy;
        EXPECT_NEAR(c.y, height / 2.0 - dy, 1e-3) << dx << "," << dy;
    }
}

// ------------------------------------------------------------------- PNG ----

TEST(ViewerPng, WritesTopRowFirstAndLeavesNothingOnFailure) {
    // 2 x 3 pixels, bottom-up as OpenGL reads them: row 0 red, 1 green, 2 blue.
    std::vector<unsigned char> rgb;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            rgb.insert(rgb.end(), {static_cast<unsigned char>(y == 0 ? 255 : 0),
                                   static_cast<unsigned char>(y == 1 ? 255 : 0),
                                   static_cast<unsigned char>(y == 2 ? 255 : x)});
    const std::string path = ::testing::TempDir() + "viewer_core_png.png";
    std::string error;
    ASSERT_TRUE(vv::write_png(path, 2, 3, rgb.data(), error)) << error;

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> back(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(image.width, 2u);
    EXPECT_EQ(image.height, 3u);
    // First row of the file: the top of the picture, OpenGL's last row.
    EXPECT_EQ(std::vector<unsigned char>(back.begin(), back.begin() + 6),
              (std::vector<unsigned char>{0, 0, 255, 0, 0, 255}));
    EXPECT_EQ(std::vector<unsigned char>(back.end() - 6, back.end()),
              (std::vector<unsigned char>{255, 0, 0, 255, 0, 1}));
    std::remove(path.c_str());

    const std::string bad = ::testing::TempDir() + "no_such_dir/shot.png";
    EXPECT_FALSE(vv::write_png(bad, 2, 3, rgb.data(), error));
    EXPECT_EQ(error, bad + ": cannot be written (No such file or directory)");
    EXPECT_NE(access((bad + ".tmp").c_str(), F_OK), 0);

    // Encoded, but the rename onto a directory fails: the temporary goes too.
    const std::string dir = ::testing::TempDir() + "viewer_core_png_dir";
    rmdir(dir.c_str());
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    EXPECT_FALSE(vv::write_png(dir, 2, 3, rgb.data(), error));
    EXPECT_EQ(error, dir + ": cannot be written (Is a directory)");
    EXPECT_NE(access((dir + ".tmp").c_str(), F_OK), 0);
    rmdir(dir.c_str());
}

} // namespace
