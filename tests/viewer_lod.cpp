// vorlix-view's level of detail: the subsample drawn while the view moves
// keeps within its budget, covers the whole cloud even when the file has a
// regular layout, follows a recolouring of the full block, and is what the
// library draws once its table is registered; --lod on the command line.
#include "gl_harness.h"
#include "viewer/lod.h"
#include "viewer/options.h"
#include "viewer/view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// An organised scan of `rows` x `cols` points, row after row, filling the
// square -0.5..0.5 of the plane z = 0, all grey.
vv::Cloud grid(std::size_t rows, std::size_t cols) {
    vv::Cloud c;
    EXPECT_TRUE(vv::allocate(c, rows * cols));
    c.count = rows * cols;
    for (std::size_t i = 0; i < c.count; ++i)
        c.nodes[i] = {static_cast<float>(i % cols) / static_cast<float>(cols - 1) - 0.5f,
                      static_cast<float>(i / cols) / static_cast<float>(rows - 1) - 0.5f,
                      0,
                      0.5f,
                      0.5f,
                      0.5f,
                      nullptr};
    vv::link_lists(c);
    return c;
}

// The nodes of a table in drawing order.
std::vector<const VoxelNode *> walk(const vv::Cloud &c) {
    std::vector<const VoxelNode *> out;
    for (const VoxelNode *head : c.lists) {
        std::size_t length = 0;
        for (const VoxelNode *n = head; n; n = n->next, ++length)
            out.push_back(n);
        EXPECT_LE(length, vv::kListLength);
    }
    return out;
}

TEST(ViewerLod, SubsampleKeepsTheBudgetAndCoversARegularScan) {
    // 200 columns and a budget that is a divisor of the point count: a
    // stride of 100 would take only columns 0 and 100.
    const std::size_t rows = 500, cols = 200;
    const vv::Cloud full = grid(rows, cols);
    vv::Cloud sample;
    ASSERT_TRUE(vv::build_subsample(full, 1000, sample));
    const std::vector<const VoxelNode *> nodes = walk(sample);
    ASSERT_EQ(nodes.size(), 1000u);
    EXPECT_EQ(sample.count, 1000u);
    std::set<long> taken, columns;
    float lo[2] = {1, 1}, hi[2] = {-1, -1};
    for (const VoxelNode *n : nodes) {
        ASSERT_TRUE(n >= &sample.nodes[0] && n < &sample.nodes[0] + sample.count)
            << "a node of the subsample's own block";
        const long col = std::lround((n->x + 0.5f) * (cols - 1));
        const long row = std::lround((n->y + 0.5f) * (rows - 1));
        EXPECT_TRUE(taken.insert(row * static_cast<long>(cols) + col).second) << "taken twice";
        columns.insert(col);
        lo[0] = std::min(lo[0], n->x), hi[0] = std::max(hi[0], n->x);
        lo[1] = std::min(lo[1], n->y), hi[1] = std::max(hi[1], n->y);
    }
    EXPECT_GT(columns.size(), 150u) << "columns of the scan with a point in the subsample";
    for (int axis = 0; axis < 2; ++axis) {
        EXPECT_LT(lo[axis], -0.48f) << "axis " << axis;
        EXPECT_GT(hi[axis], 0.48f) << "axis " << axis;
    }

    // Three lists: the first alone (what a moving frame draws of cubes)
    // still reaches every row and nearly every column of the scan, where the
    // first third of the runs would stop a third of the way up.
    ASSERT_TRUE(vv::build_subsample(full, 3 * vv::kListLength, sample));
    for (const auto &c :
         {std::pair<std::size_t, std::size_t>{0, 1}, {8191, 1}, {8192, 2}, {1 << 20, 3}})
        EXPECT_EQ(vv::leading_lists(sample, c.first), c.second) << c.first;
    std::set<long> rows_seen;
    columns.clear();
    for (const VoxelNode *n = sample.lists[0]; n; n = n->next) {
        rows_seen.insert(std::lround((n->y + 0.5f) * (rows - 1)));
        columns.insert(std::lround((n->x + 0.5f) * (cols - 1)));
    }
    EXPECT_EQ(rows_seen.size(), rows);
    EXPECT_GT(columns.size(), 190u);

    // Within budget, or level of detail off: no subsample, the full table.
    for (const std::size_t budget : {rows * cols, rows * cols + 1, std::size_t{0}}) {
        EXPECT_TRUE(vv::build_subsample(full, budget, sample));
        EXPECT_EQ(sample.count, 0u) << budget;
        EXPECT_TRUE(sample.lists.empty()) << budget;
    }
    EXPECT_EQ(vv::leading_lists(sample, 1000), 0u);
}

// The colour every point gets in the recolouring below: from its position,
// so that a node copied from the wrong point shows.
void recolour(vv::Cloud &c) {
    for (std::size_t i = 0; i < c.count; ++i) {
        VoxelNode &n = c.nodes[i];
        n.r = n.x + 0.5f, n.g = 1, n.b = n.y + 0.5f;
    }
}

// The points the library draws with the cloud's table registered, through
// feedback mode, at the viewer's first view.
std::vector<vt::FbVertex> drawn_points(const vv::Cloud &c) {
    set_liste_voxels(c.lists.data(), static_cast<unsigned int>(c.lists.size()));
    float m[16];
    vv::View().matrix(m);
    std::vector<vt::FbVertex> points;
    for (const vt::FbPrimitive &p : vt::capture_feedback([&m] { vorlix_render(m); }))
        if (p.kind == vt::FbPrimitive::Point)
            points.push_back(p.vertices[0]);
    return points;
}

class ViewerLodGl : public vt::GlTest {};

TEST_F(ViewerLodGl, TheLibraryDrawsTheSubsampleAloneAndItsRefreshedColours) {
    init_transformation();
    vorlix_reshape(500, 500);
    vv::View().apply();
    vv::Cloud full = grid(100, 200), sample;
    ASSERT_TRUE(vv::build_subsample(full, 700, sample));
    const VoxelNode *const block = &sample.nodes[0];

    std::vector<vt::FbVertex> points = drawn_points(sample);
    EXPECT_EQ(points.size(), 700u);
    for (const vt::FbVertex &v : points)
        ASSERT_NEAR(v.g, 0.5f, 0.01f) << "grey before the recolouring";

    // Recoloured in the full block: the registered subsample is refreshed in
    // place and draws the new colours.
    recolour(full);
    vv::refresh_subsample(full, sample);
    EXPECT_EQ(&sample.nodes[0], block) << "refreshed in place";
    for (const VoxelNode *n : walk(sample))
        ASSERT_TRUE(n->r == n->x + 0.5f && n->g == 1 && n->b == n->y + 0.5f)
            << "copied from another point: " << n->x << "," << n->y;
    points = drawn_points(sample);
    EXPECT_EQ(points.size(), 700u);
    for (const vt::FbVertex &v : points)
        ASSERT_NEAR(v.g, 1.0f, 0.01f);

    EXPECT_EQ(drawn_points(full).size(), 20000u);
    set_liste_voxels(nullptr, 0);
}

TEST(ViewerLod, LodOption) {
    std::string error;
    const char *plain[] = {"vorlix-view", "a.ply"};
    auto parsed = vv::parse_options(2, plain, error);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->lod, vv::kDefaultLodBudget);
    const struct {
        const char *value;
        std::size_t lod;
    } good[] = {{"0", 0}, {"250000", 250000}, {"1000000000", 1000000000}};
    for (const auto &c : good) {
        const char *argv[] = {"vorlix-view", "a.ply", "--lod", c.value};
        parsed = vv::parse_options(4, argv, error);
        ASSERT_TRUE(parsed) << c.value << ": " << error;
        EXPECT_EQ(parsed->lod, c.lod);
    }
    for (const char *bad :
         {"-1", "", "x", "1e5", "12k", " 5", "+5", "1000000001", "99999999999999999999999"}) {
        const char *argv[] = {"vorlix-view", "a.ply", "--lod", bad};
        EXPECT_FALSE(vv::parse_options(4, argv, error)) << bad;
        EXPECT_EQ(error, std::string("--lod '") + bad +
                             "': expected a number of points from 0 (off) to 1000000000");
    }
    const char *missing[] = {"vorlix-view", "a.ply", "--lod"};
    EXPECT_FALSE(vv::parse_options(3, missing, error));
    EXPECT_EQ(error, "--lod needs a value");
}

} // namespace
