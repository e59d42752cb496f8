// The voxel block and its lists, a cloud loaded again, and the height ramp.
#include "viewer/app/options.h"
#include "viewer/app/view.h"
#include "viewer/cloud/cloud.h"
#include "viewer/cloud/colour.h"
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
#include <malloc.h>
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

// Everything a cloud holds, its lists as offsets into its own block: a
// list that points anywhere else (a freed block) fails.
void expect_same_cloud(const vv::Cloud &got, const vv::Cloud &want) {
    ASSERT_EQ(got.count, want.count);
    EXPECT_EQ(got.capacity, want.capacity);
    EXPECT_EQ(got.skipped, want.skipped);
    EXPECT_EQ(got.file_colours, want.file_colours);
    EXPECT_EQ(got.file_rgb, want.file_rgb);
    ASSERT_EQ(got.fields.size(), want.fields.size());
    for (std::size_t f = 0; f < got.fields.size(); ++f) {
        EXPECT_EQ(got.fields[f].name, want.fields[f].name);
        EXPECT_EQ(got.fields[f].values, want.fields[f].values) << got.fields[f].name;
    }
    for (std::size_t i = 0; i < got.count; ++i) {
        const VoxelNode &w = want.nodes[i];
        expect_node(got.nodes[i], w.x, w.y, w.z, w.r, w.g, w.b);
    }
    const auto offsets = [](const vv::Cloud &c) {
        std::vector<std::vector<std::ptrdiff_t>> lists;
        for (const VoxelNode *head : c.lists) {
            lists.emplace_back();
            for (const VoxelNode *v = head; v; v = v->next) {
                const bool inside = v >= c.nodes.get() && v < c.nodes.get() + c.count;
                EXPECT_TRUE(inside) << "a list leaves the block";
                if (!inside)
                    break;
                lists.back().push_back(v - c.nodes.get());
            }
        }
        return lists;
    };
    EXPECT_EQ(offsets(got), offsets(want));
}

// A cloud that held a file (its colours put aside by a recolouring, a
// field, lists) and then another gives exactly what a fresh cloud gives:
// nothing of the first file is left to colour, list or count the second.
TEST(ViewerCloud, ALoadIntoAUsedCloudIsAFreshLoad) {
    const std::vector<std::string> props = {"float x",        "float y",     "float z",
                                            "uchar red",      "uchar green", "uchar blue",
                                            "float intensity"};
    const std::string first = temp_file(".ply", ply_file("ascii", {{"vertex",
                                                                    props,
                                                                    {{0, 0, 0, 255, 0, 0, 1},
                                                                     {1, 0, 0, 0, 255, 0, 2},
                                                                     {0, 1, 0, 0, 0, 255, 3},
                                                                     {0, 0, 1, 9, 9, 9, 4},
                                                                     {1, 1, 1, 200, 100, 50, 5},
                                                                     {2, 2, 2, 10, 20, 30, 6}}}}));
    const std::string second = temp_file(
        ".ply",
        ply_file("binary_little_endian",
                 {{"vertex",
                   {"float x", "float y", "float z", "uchar red", "uchar green", "uchar blue"},
                   {{5, 5, 5, 1, 2, 3}, {6, 5, 5, 40, 50, 60}, {5, 7, 5, 70, 80, 90}}}}));
    // Load, recolour by height and back to the file's colours, relist.
    const auto use = [](vv::Cloud &c, const std::string &path) {
        std::string error;
        ASSERT_TRUE(vv::load_cloud(path, c, error)) << error;
        ASSERT_TRUE(vv::colour_by(c, "height", error)) << error;
        ASSERT_TRUE(vv::colour_by(c, "file", error)) << error;
        vv::link_lists(c, 2);
    };
    vv::Cloud used, fresh;
    use(used, first);
    ASSERT_FALSE(used.file_rgb.empty());
    use(used, second);
    use(fresh, second);
    std::remove(first.c_str());
    std::remove(second.c_str());
    expect_same_cloud(used, fresh);
    EXPECT_NEAR(used.nodes[1].r, 40 / 255.0f, 1e-6f) << "the second file's own colours";

    vv::clear(used);
    expect_same_cloud(used, vv::Cloud());
    EXPECT_EQ(used.nodes, nullptr);
    EXPECT_EQ(used.lists.capacity(), 0u);
    ASSERT_TRUE(vv::allocate(used, 0)); // no points, no block
    EXPECT_EQ(used.nodes, nullptr);
}

// clear() hands the block back to the allocator, not just its pointer.
// (The sanitizers' allocator keeps freed memory in quarantine: no figure.)
TEST(ViewerCloud, ClearGivesTheBlockBack) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "freed memory is quarantined under AddressSanitizer";
#endif
    const std::size_t n = std::size_t(1) << 20;
    const auto in_use = [] {
        const struct mallinfo2 m = mallinfo2();
        return m.uordblks + m.hblkhd;
    };
    vv::Cloud c;
    const std::size_t before = in_use();
    ASSERT_TRUE(vv::allocate(c, n));
    c.count = n;
    vv::link_lists(c);
    ASSERT_GE(in_use(), before + n * sizeof(VoxelNode));
    vv::clear(c);
    EXPECT_LT(in_use(), before + 4096) << "of " << n * sizeof(VoxelNode) << " bytes";
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
