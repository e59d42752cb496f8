// The command line: every option read, and what it refuses.
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

} // namespace
