// The PCD reader: field types, orders and counts in ascii and binary, scalar
// fields, organised clouds with NaN points, files Open3D writes, malformed files.
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
    files.expect_both_as_written("pcd", 1e-6f, 1e-6f, {"normal_x", "normal_y", "normal_z"});
    const std::string path = files.dir + "/open3d_compressed.pcd";
    vv::Cloud c;
    std::string error;
    EXPECT_FALSE(vv::load_cloud(path, c, error));
    EXPECT_EQ(error,
              path + ": PCD binary_compressed (LZF) is not supported; save it as binary or ascii");
    EXPECT_EQ(c.nodes, nullptr);
}

} // namespace
