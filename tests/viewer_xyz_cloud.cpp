// The XYZ point-cloud reader: the fit into the unit cube, colours, spellings
// of the same data, malformed and non-finite rows.
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

} // namespace
