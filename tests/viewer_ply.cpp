// The PLY reader: every property type in every format, extra properties as
// scalar fields, files Open3D writes, malformed files and bad bytes.
#include "viewer/app/options.h"
#include "viewer/app/view.h"
#include "viewer/cloud/cloud.h"
#include "viewer/formats/load.h"
#include "viewer/formats/pcd.h"
#include "viewer/formats/ply.h"
#include "viewer/formats/xyz.h"
#include "viewer/output/png.h"

#include "cloud_files.h"
#include "geometry.h"
#include "open3d_files.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// The colour comes from one naming set, the first complete one of red
// green blue, diffuse_*, r g b; a name of another set (the "b" beside red,
// green and blue, once taken for blue) is a scalar field like any other.
// Full-scale values tell which property was read: ushort red, green, blue
// give 1, 0, 0; uchar diffuse_* and r, g, b would give other colours.
TEST(ViewerPly, TheColourComesFromOneNamingSet) {
    struct Case {
        std::vector<std::string> colours; // after float x, y, z
        std::vector<double> values;
        float want[3];
        Fields fields;
    };
    const float none = vv::kNoColour;
    const Case kCases[] = {
        {{"ushort red", "ushort green", "ushort blue", "ushort b"},
         {65535, 0, 0, 51400},
         {1, 0, 0},
         {{"b", {51400}}}},
        {{"uchar b", "uchar g", "uchar r", "ushort red", "ushort green", "ushort blue"},
         {51, 102, 204, 65535, 0, 0},
         {1, 0, 0},
         {{"b", {51}}, {"g", {102}}, {"r", {204}}}},
        {{"uchar r", "uchar g", "uchar b", "uchar diffuse_red", "uchar diffuse_green",
          "uchar diffuse_blue"},
         {0, 0, 255, 255, 51, 0},
         {1, 0.2f, 0},
         {{"r", {0}}, {"g", {0}}, {"b", {255}}}},
        {{"uchar red", "uchar green", "uchar r", "uchar g", "uchar b"},
         {1, 2, 255, 0, 51},
         {1, 0, 0.2f},
         {{"red", {1}}, {"green", {2}}}},
        {{"uchar red", "uchar g", "uchar blue"},
         {1, 2, 3},
         {none, none, none},
         {{"red", {1}}, {"g", {2}}, {"blue", {3}}}},
    };
    for (const char *format : kPlyFormats)
        for (const Case &c : kCases) {
            std::string trace = format;
            for (const std::string &p : c.colours)
                trace += ", " + p;
            SCOPED_TRACE(trace);
            PlyElement v{"vertex", {"float x", "float y", "float z"}, {{0, 0, 0}}};
            v.properties.insert(v.properties.end(), c.colours.begin(), c.colours.end());
            v.rows[0].insert(v.rows[0].end(), c.values.begin(), c.values.end());
            const Loaded r = read_ply(ply_file(format, {v}));
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_EQ(r.cloud.count, 1u);
            expect_node(r.cloud.nodes[0], 0, 0, 0, c.want[0], c.want[1], c.want[2]);
            expect_fields(r.cloud, c.fields);
        }
}

// A gzip or zstd file loads as the plain one, by its name without ".gz" or
// ".zst" or by its first line; a format only the importer reads is refused
// by name.
TEST(ViewerPly, GzipAndZstdFilesLoadAsThePlainOnes) {
    const std::string bytes = ply_file(
        "binary_big_endian",
        {{"vertex",
          {"float x", "float y", "float z", "uchar red", "uchar green", "uchar blue", "short s"},
          {{0, 0, 0, 255, 0, 0, -3}, {2, 4, 8, 0, 51, 255, 7}}}});
    const std::string plain = temp_file(".ply", bytes);
    const vv::Cloud want = load_ok(plain);
    for (const char *suffix : {".ply.gz", ".data", ".obj.gz", ".ply.zst", ".obj.zst"}) {
        SCOPED_TRACE(suffix);
        const std::string path = temp_file(suffix, "");
        const std::string s = suffix;
        const bool obj = s.find(".obj") == 0,
                   zstd = s.size() > 4 && s.substr(s.size() - 4) == ".zst";
        const std::string content = obj ? "v 0 0 0\nv 1 2 3\n" : bytes;
        if (zstd) { // the zstd tool's output
            const std::string plain_copy = temp_file(".raw", content);
            ASSERT_EQ(std::system(("zstd -q -f -o " + path + " " + plain_copy).c_str()), 0);
            std::remove(plain_copy.c_str());
        } else {
            const gzFile f = gzopen(path.c_str(), "wb");
            ASSERT_EQ(gzwrite(f, content.data(), static_cast<unsigned>(content.size())),
                      static_cast<int>(content.size()));
            gzclose(f);
        }
        vv::Cloud got;
        std::string error;
        if (obj) {
            EXPECT_FALSE(vv::load_cloud(path, got, error));
            EXPECT_EQ(error, path + ": a " + (zstd ? "zstd" : "gzip") +
                                 " file of a format only the model importer reads; "
                                 "decompress it first");
        } else {
            ASSERT_TRUE(vv::load_cloud(path, got, error)) << error;
            ASSERT_EQ(got.count, want.count);
            for (std::size_t i = 0; i < want.count; ++i)
                expect_node(got.nodes[i], want.nodes[i].x, want.nodes[i].y, want.nodes[i].z,
                            want.nodes[i].r, want.nodes[i].g, want.nodes[i].b);
            expect_fields(got, {{"s", {-3, 7}}});
        }
        std::remove(path.c_str());
    }
    std::remove(plain.c_str());
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

// PLY as ascii (6 significant digits) and as binary (doubles).
TEST(ViewerPly, FilesWrittenByOpen3dLoadAsWritten) {
    const Open3dFiles files;
    if (files.missing())
        GTEST_SKIP() << kOpen3dMissing;
    files.expect_both_as_written("ply", 1e-5f, 1e-6f, {"nx", "ny", "nz"});
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

} // namespace
