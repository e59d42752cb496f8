// The voxel block and its lists, and the height ramp.
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

} // namespace
