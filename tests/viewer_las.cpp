// vorlix-view's LAS reader on files made from the format's field table:
// point formats, coordinates, colours, fields, refusals and the dispatch.
#include "viewer/formats/las.h"
#include "viewer/formats/load.h"

#include "cloud_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace vt;

// Three points spanning x 9..11, y 20..20.5, z 29.75..30.25 at scale 0.001,
// offset (10, 20, 30): fitted, x is the longest side.
const std::vector<LasPoint> kPoints = {{-1000, 0, 0, 7, 0x85, 0, 128, 255},
                                       {1000, 500, -250, 65535, 2, 255, 0, 64},
                                       {0, 250, 250, 0, 0xff, 17, 34, 51}};
// Fitted, then turned so that Z is up: (x, Z, -Y).
const float kFitted[3][3] = {{-0.5f, 0, 0.125f}, {0.5f, -0.125f, -0.125f}, {0, 0.125f, 0}};

LasFile three_points(int format, int minor, int extra = 0, std::uint16_t colour_scale = 1) {
    LasFile f;
    f.format = format;
    f.minor = minor;
    f.extra = extra;
    for (int k = 0; k < 3; ++k) {
        f.scale[k] = 0.001;
        f.offset[k] = 10.0 * (k + 1);
    }
    f.points = kPoints;
    for (LasPoint &p : f.points)
        for (std::uint16_t *c : {&p.r, &p.g, &p.b})
            *c = static_cast<std::uint16_t>(*c * colour_scale);
    return f;
}

// Colours are the same 8-bit values as written, or written times 257 as
// 16-bit ones (a value above 255 tells); 1.4 files give only the 64-bit
// count.
TEST(ViewerLas, PointFormatsGiveCoordinatesColoursAndFields) {
    const struct {
        int format, minor, extra;
        std::uint16_t colour_scale; // 0: no colours
    } kCases[] = {{0, 0, 0, 0},   {1, 1, 3, 0}, {2, 2, 0, 1},
                  {3, 3, 5, 257}, {6, 4, 0, 0}, {7, 4, 2, 1}};
    for (const auto &c : kCases) {
        SCOPED_TRACE("format " + std::to_string(c.format));
        const Loaded r =
            read_las(las_file(three_points(c.format, c.minor, c.extra, c.colour_scale)));
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.cloud.count, 3u);
        ASSERT_EQ(r.cloud.fields.size(), 2u);
        EXPECT_EQ(r.cloud.fields[0].name, "intensity");
        EXPECT_EQ(r.cloud.fields[1].name, "classification");
        for (std::size_t i = 0; i < 3; ++i) {
            const LasPoint &p = kPoints[i];
            const float *xyz = kFitted[i], no = vv::kNoColour;
            const bool rgb = c.colour_scale != 0;
            expect_node(r.cloud.nodes[i], xyz[0], xyz[1], xyz[2], rgb ? p.r / 255.0f : no,
                        rgb ? p.g / 255.0f : no, rgb ? p.b / 255.0f : no);
            EXPECT_EQ(r.cloud.fields[0].values[i], p.intensity);
            // Formats 0 to 5 keep flags in the top 3 bits of the byte.
            EXPECT_EQ(r.cloud.fields[1].values[i],
                      c.format < 6 ? p.classification & 0x1f : p.classification);
        }
    }
}

// Offsets of a projected grid and 1 mm steps across a 1 m cloud: the steps
// stay 0.001 apart after the fit (a float holds 5.2e6 only to 0.5 m). A
// negative y scale turns the cloud over.
TEST(ViewerLas, GeoreferencedMillimetresSurviveTheFit) {
    LasFile f;
    f.scale[0] = f.scale[2] = 0.001;
    f.scale[1] = -0.001;
    f.offset[0] = 450000;
    f.offset[1] = 5200000;
    f.offset[2] = 1000000;
    const std::int32_t steps[] = {0, 1, 2, 1000};
    for (const std::int32_t v : steps)
        f.points.push_back({v, v, v, 0, 0, 0, 0, 0});
    const Loaded r = read_las(las_file(f));
    ASSERT_TRUE(r.ok) << r.error;
    for (std::size_t i = 0; i < 4; ++i) {
        const float d = static_cast<float>(steps[i]) / 1000, no = vv::kNoColour;
        expect_node(r.cloud.nodes[i], -0.5f + d, -0.5f + d, -0.5f + d, no, no, no);
    }
    for (std::size_t i = 1; i < 3; ++i)
        EXPECT_NEAR(r.cloud.nodes[i].x - r.cloud.nodes[i - 1].x, 0.001f, 2e-7f);
}

// A valid file with bytes put over it at an offset.
template <typename T> std::string patched(std::string bytes, std::size_t at, T value) {
    std::memcpy(&bytes[at], &value, sizeof value);
    return bytes;
}

TEST(ViewerLas, BadHeadersAndShortFilesAreRefused) {
    const std::string good = las_file(three_points(2, 2));
    LasFile huge = three_points(7, 4);
    huge.declared = 1e12;
    const std::string laz = "LAZ (compressed LAS) is not supported; decompress it to .las first";
    const struct {
        std::string bytes, message;
    } kCases[] = {
        {patched(good, 0, 'X'), "not a LAS file (it does not start with \"LASF\")"},
        {good.substr(0, 100), "the header ends after 100 bytes; a LAS header has 227"},
        {patched(good, 24, '\2'), "LAS version 2.2 is not supported (1.0 to 1.4 are)"},
        {patched(good, 94, std::uint16_t{200}),
         "header size 200 is less than the 227 bytes of a LAS header"},
        {patched(good, 96, std::uint32_t{100}),
         "the point data offset 100 is inside the header (227 bytes)"},
        {patched(good, 104, '\x0b'), "unknown point data format 11"},
        {patched(good, 104, '\x82'), laz},
        {patched(good, 104, '\x42'), laz},
        {patched(good, 105, std::uint16_t{25}),
         "the point data record length 25 is less than the 26 bytes of point data format 2"},
        {patched(good, 139, std::numeric_limits<double>::quiet_NaN()),
         "the y scale or offset is not finite"},
        {patched(good, 131, 1e308), "x coordinates beyond the range of a double"},
        {patched(good, 107, std::uint32_t{4}),
         "truncated: the header declares 4 points, the file ends after 3"},
        {good.substr(0, good.size() - 1),
         "truncated: the header declares 3 points, the file ends after 2"},
        {las_file(huge),
         "truncated: the header declares 1000000000000 points, the file ends after 3"},
        {patched(good, 107, std::uint32_t{0}), "no points"},
    };
    for (const auto &c : kCases)
        expect_refused(read_las(c.bytes), "t.las: " + c.message);
}

// By name: .las in any case, .laz refused whatever it holds; by content: a
// LAS file under another name still reaches the reader.
TEST(ViewerLas, LoadPicksTheReaderByNameOrSignature) {
    const std::string bytes = las_file(three_points(3, 2));
    for (const char *suffix : {".las", ".LAS", ".dat"})
        EXPECT_TRUE(load_ok(temp_file(suffix, bytes)).file_colours) << suffix;
    const std::string path = temp_file(".laz", bytes);
    vv::Cloud c;
    std::string error;
    EXPECT_FALSE(vv::load_cloud(path, c, error));
    EXPECT_EQ(error, path + ": LAZ (compressed LAS) is not supported; decompress it to .las first");
}

} // namespace
