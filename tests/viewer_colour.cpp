// vorlix-view's colourings: the shared colour map, and recolouring a cloud
// by height, by its file's colours and by its scalar fields.
#include "viewer/cloud/colour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// CIE L* of an sRGB colour: what "perceptually uniform" is measured in.
double lightness(const float rgb[3]) {
    auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double y = 0.2126 * linear(rgb[0]) + 0.7152 * linear(rgb[1]) + 0.0722 * linear(rgb[2]);
    return y > 216.0 / 24389 ? 116 * std::cbrt(y) - 16 : 24389.0 / 27 * y;
}

void expect_colour(const VoxelNode &n, const float rgb[3]) {
    EXPECT_FLOAT_EQ(n.r, rgb[0]);
    EXPECT_FLOAT_EQ(n.g, rgb[1]);
    EXPECT_FLOAT_EQ(n.b, rgb[2]);
}

TEST(ViewerColourMap, IsViridisWithEvenlyRisingLightness) {
    // Entries 0, 128 and 255 of the published table.
    const struct {
        float t, rgb[3];
    } kTable[] = {{0, {0.267004f, 0.004874f, 0.329415f}},
                  {128 / 255.0f, {0.127568f, 0.566949f, 0.550556f}},
                  {1, {0.993248f, 0.906157f, 0.143936f}}};
    for (const auto &e : kTable) {
        float rgb[3];
        vv::colour_map(e.t, rgb);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(rgb[k], e.rgb[k], 0.015f) << "t " << e.t << " channel " << k;
    }
    // Equal steps of value, nearly equal steps of lightness, always upwards:
    // a rainbow map fails this where it turns from yellow to red.
    constexpr int kSteps = 20;
    float first[3], last[3];
    vv::colour_map(0, first);
    vv::colour_map(1, last);
    const double mean = (lightness(last) - lightness(first)) / kSteps;
    for (int i = 0; i < kSteps; ++i) {
        float a[3], b[3];
        vv::colour_map(static_cast<float>(i) / kSteps, a);
        vv::colour_map(static_cast<float>(i + 1) / kSteps, b);
        const double step = lightness(b) - lightness(a);
        EXPECT_GT(step, 0.7 * mean) << "step " << i;
        EXPECT_LT(step, 1.3 * mean) << "step " << i;
    }
    float below[3], above[3];
    vv::colour_map(-3, below);
    vv::colour_map(7, above);
    expect_colour({0, 0, 0, below[0], below[1], below[2], nullptr}, first);
    expect_colour({0, 0, 0, above[0], above[1], above[2], nullptr}, last);
}

// Four points, lowest first, with the colours a file gave them and two fields.
struct Fixture {
    vv::Cloud cloud;
    Fixture() {
        EXPECT_TRUE(vv::allocate(cloud, 4));
        cloud.count = 4;
        const float y[4] = {-0.5f, -0.2f, 0.1f, 0.5f};
        for (int i = 0; i < 4; ++i)
            cloud.nodes[i] = {0, y[i], 0, i / 255.0f, (100 + i) / 255.0f, 1, nullptr};
        vv::colour_by_height(cloud); // what a load does: sees the file's colours
        vv::add_field(cloud, "intensity", 4)->values = {10, NAN, 30, 20};
        vv::add_field(cloud, "flat", 4)->values = {5, 5, 5, 5};
    }
};

TEST(ViewerColouring, FieldsSpanTheMapOverTheirFiniteRange) {
    Fixture f;
    vv::Cloud &c = f.cloud;
    EXPECT_EQ(vv::colourings(c), (std::vector<std::string>{"height", "file", "intensity", "flat"}));
    std::string error;
    ASSERT_TRUE(vv::colour_by(c, "intensity", error)) << error;
    float low[3], mid[3], high[3];
    vv::colour_map(0, low);
    vv::colour_map(0.5f, mid);
    vv::colour_map(1, high);
    expect_colour(c.nodes[0], low);
    expect_colour(c.nodes[2], high);
    expect_colour(c.nodes[3], mid);
    const float grey[3] = {vv::kMissingGrey, vv::kMissingGrey, vv::kMissingGrey};
    expect_colour(c.nodes[1], grey);
    EXPECT_EQ(vv::describe_colouring(c, "intensity"), "intensity 10 .. 30");

    ASSERT_TRUE(vv::colour_by(c, "flat", error)) << error;
    for (int i = 0; i < 4; ++i)
        expect_colour(c.nodes[i], mid);

    // The key's cycle, round to the start.
    std::string name = "height";
    std::vector<std::string> seen;
    for (int i = 0; i < 5; ++i)
        seen.push_back(name = vv::next_colouring(c, name));
    EXPECT_EQ(seen, (std::vector<std::string>{"file", "intensity", "flat", "height", "file"}));
}

TEST(ViewerColouring, FileColoursComeBackAndUnknownNamesChangeNothing) {
    Fixture f;
    vv::Cloud &c = f.cloud;
    std::string error;
    for (const char *via : {"intensity", "height"})
        ASSERT_TRUE(vv::colour_by(c, via, error)) << error;
    // The ramp runs blue at the lowest point to red at the highest.
    const float blue[3] = {0, 0, 1}, red[3] = {1, 0, 0};
    expect_colour(c.nodes[0], blue);
    expect_colour(c.nodes[3], red);
    ASSERT_TRUE(vv::colour_by(c, "file", error)) << error;
    for (int i = 0; i < 4; ++i) {
        const float rgb[3] = {i / 255.0f, (100 + i) / 255.0f, 1};
        expect_colour(c.nodes[i], rgb);
    }

    EXPECT_FALSE(vv::colour_by(c, "density", error));
    EXPECT_EQ(error, "no quantity 'density' to colour by (height, file, intensity, flat)");
    EXPECT_FLOAT_EQ(c.nodes[3].r, 3 / 255.0f);

    // Without file colours there is nothing to go back to.
    vv::Cloud plain;
    ASSERT_TRUE(vv::allocate(plain, 1));
    plain.count = 1;
    plain.nodes[0] = {0, 0, 0, vv::kNoColour, 0, 0, nullptr};
    vv::colour_by_height(plain);
    EXPECT_EQ(vv::colourings(plain), std::vector<std::string>{"height"});
    EXPECT_FALSE(vv::colour_by(plain, "file", error));
    EXPECT_EQ(error, "no quantity 'file' to colour by (height)");
}

} // namespace
