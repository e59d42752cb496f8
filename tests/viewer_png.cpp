// PNG output: rows top first, nothing left behind on failure.
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

TEST(ViewerPng, WritesTopRowFirstAndLeavesNothingOnFailure) {
    // 2 x 3 pixels, bottom-up as OpenGL reads them: row 0 red, 1 green, 2 blue.
    std::vector<unsigned char> rgb;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            rgb.insert(rgb.end(), {static_cast<unsigned char>(y == 0 ? 255 : 0),
                                   static_cast<unsigned char>(y == 1 ? 255 : 0),
                                   static_cast<unsigned char>(y == 2 ? 255 : x)});
    const std::string path = ::testing::TempDir() + "viewer_png.png";
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
    const std::string dir = ::testing::TempDir() + "viewer_png_dir";
    rmdir(dir.c_str());
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    EXPECT_FALSE(vv::write_png(dir, 2, 3, rgb.data(), error));
    EXPECT_EQ(error, dir + ": cannot be written (Is a directory)");
    EXPECT_NE(access((dir + ".tmp").c_str(), F_OK), 0);
    rmdir(dir.c_str());
}

} // namespace
