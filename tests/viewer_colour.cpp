// vorlix-view's colourings: the shared colour map, the one engine that
// points and atoms go through, and recolouring a cloud by height, by its
// file's colours and by its scalar fields.
#include "viewer/cloud/colour.h"
#include "viewer/cloud/elements.h"
#include "viewer/play/player.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <utility>
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

using Rgb = std::array<float, 3>;

Rgb rgb_of(const VoxelNode &n) {
    return {n.r, n.g, n.b};
}

Rgb mapped(float t) {
    Rgb rgb;
    vv::colour_map(t, rgb.data());
    return rgb;
}

const Rgb kGrey = {vv::kMissingGrey, vv::kMissingGrey, vv::kMissingGrey};

// The one loop, exactly: each value against its range, past the values grey.
TEST(ViewerColourEngine, ValuesMeetTheMapOrGrey) {
    const struct {
        float lo, hi, value;
        Rgb rgb;
    } kTable[] = {
        {10, 30, 10, mapped(0)},    {10, 30, 20, mapped(0.5f)}, {10, 30, 40, mapped(1)},
        {10, 30, -5, mapped(0)},    {10, 30, NAN, kGrey},       {10, 30, INFINITY, kGrey},
        {10, 30, -INFINITY, kGrey}, {5, 5, 7, mapped(0.5f)}, // lo == hi: the middle
    };
    for (const auto &e : kTable) {
        VoxelNode node[2] = {};
        vv::paint_values(&e.value, 1, vv::Range{e.lo, e.hi, false}, node, 2);
        EXPECT_EQ(rgb_of(node[0]), e.rgb) << e.value << " in " << e.lo << " .. " << e.hi;
        EXPECT_EQ(rgb_of(node[1]), kGrey) << e.value;
    }
}

TEST(ViewerColourEngine, NamesFindWrapAndRefuseAlike) {
    const std::vector<vv::Field> fields = {{"vx", {1}}, {"q", {2}}};
    EXPECT_EQ(vv::find_field(fields, "q"), &fields[1]);
    EXPECT_EQ(vv::find_field(fields, "qq"), nullptr);
    const std::vector<std::string> names = {"type", "vx", "q"};
    const std::pair<std::string, std::string> kNext[] = {
        {"type", "vx"}, {"vx", "q"}, {"q", "type"}, {"gone", "type"}};
    for (const auto &e : kNext)
        EXPECT_EQ(vv::next_colouring(names, e.first), e.second) << e.first;

    // A trajectory frame refuses a name as a cloud does (FileColoursCome...).
    std::string error;
    vv::Player player;
    vv::Frame &frame = player.frame();
    frame.atoms = 2;
    frame.position = {0, 0, 0, 1, 1, 1};
    frame.type = {1, 2};
    frame.fields = {{"vx", {1, 2}}};
    ASSERT_TRUE(player.open_live(2, error)) << error;
    EXPECT_FALSE(player.colour_by("vz", error));
    EXPECT_EQ(error, "no quantity 'vz' to colour by (type, vx)");
    EXPECT_EQ(player.colouring(), "type");
}

// Atoms reach the type palette, the element colours and their fields
// through the one entry; a cloud's field named "type" stays a field.
TEST(ViewerColourEngine, OneEntryForTypesElementsAndFields) {
    const std::vector<std::int32_t> type = {3};
    const std::vector<std::uint32_t> element = {0, 1, 7};
    const std::vector<std::string> names = {"Fe", "Xx"};
    const std::vector<vv::Field> fields = {{"type", {2, 4, NAN}}};
    const vv::Quantities atoms{&fields, &type, &element, &names}, points{&fields};
    Rgb t3, t1, fe;
    vv::type_colour(3, t3.data());
    vv::type_colour(1, t1.data()); // past the types
    ASSERT_TRUE(vv::element_colour("Fe", fe.data()));
    const Rgb unknown = {vv::kUnknownElementGrey, vv::kUnknownElementGrey, vv::kUnknownElementGrey};
    const vv::Range whole{0, 8, false}; // a whole run's, given
    const struct {
        const vv::Quantities &q;
        const char *name;
        const vv::Range *range;
        Rgb rgb[3];
        float hi; // of the range returned
    } kCases[] = {
        {atoms, "type", nullptr, {t3, t1, t1}, 0},
        {atoms, "element", nullptr, {fe, unknown, kGrey}, 0},
        {points, "type", nullptr, {mapped(0), mapped(1), kGrey}, 4},
        {points, "type", &whole, {mapped(0.25f), mapped(0.5f), kGrey}, 8},
        {points, "vz", &whole, {kGrey, kGrey, kGrey}, 0},
    };
    for (const auto &c : kCases) {
        VoxelNode n[3] = {};
        EXPECT_EQ(vv::paint_quantity(c.q, c.name, c.range, n, 3).hi, c.hi) << c.name;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(rgb_of(n[i]), c.rgb[i]) << c.name << " node " << i;
    }
}

} // namespace
