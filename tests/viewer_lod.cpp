// vorlix-view's level of detail: the subsample drawn while the view moves
// keeps within its budget, covers the whole cloud even when the file has a
// regular layout, follows a recolouring of the full block, and is what the
// library draws once its table is registered (--lod's parse:
// viewer_options.cpp).
#include "gl_harness.h"
#include "viewer/app/view.h"
#include "viewer/cloud/subsample.h"

#include <gtest/gtest.h>

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

// The scan's rows and columns (of `rows` x `cols`) that the first `lists`
// lists of a table reach, and how many points they hold.
struct Reach {
    std::set<long> rows, cols;
    std::size_t points = 0;
};
Reach reach(const vv::Cloud &c, std::size_t lists, std::size_t rows, std::size_t cols) {
    Reach r;
    for (std::size_t i = 0; i < lists; ++i)
        for (const VoxelNode *n = c.lists[i]; n; n = n->next, ++r.points) {
            r.rows.insert(std::lround((n->y + 0.5f) * static_cast<float>(rows - 1)));
            r.cols.insert(std::lround((n->x + 0.5f) * static_cast<float>(cols - 1)));
        }
    return r;
}

TEST(ViewerLod, SubsampleKeepsTheBudgetAndCoversARegularScan) {
    // 200 columns and a budget that divides the point count: a stride of 100
    // would take only columns 0 and 100.
    const std::size_t rows = 500, cols = 200;
    const vv::Cloud full = grid(rows, cols);
    vv::Cloud sample;
    ASSERT_TRUE(vv::build_subsample(full, 1000, sample));
    Reach r = reach(sample, sample.lists.size(), rows, cols);
    EXPECT_EQ(r.points, 1000u);
    EXPECT_GT(r.cols.size(), 150u) << "columns with a point in the subsample";
    // Its bounds are the scan's, within 2 %.
    EXPECT_LE(*r.rows.begin(), 10);
    EXPECT_GE(*r.rows.rbegin(), 489);
    EXPECT_LE(*r.cols.begin(), 4);
    EXPECT_GE(*r.cols.rbegin(), 195);

    // Three lists: the first alone (what a moving frame draws of cubes)
    // still reaches every row, where the first third of the runs in storage
    // order would stop a third of the way up.
    ASSERT_TRUE(vv::build_subsample(full, 3 * vv::kListLength, sample));
    for (const auto &c :
         {std::pair<std::size_t, std::size_t>{0, 1}, {8191, 1}, {8192, 2}, {1 << 20, 3}})
        EXPECT_EQ(vv::leading_lists(sample, c.first), c.second) << c.first;
    r = reach(sample, 1, rows, cols);
    EXPECT_EQ(r.points, vv::kListLength);
    EXPECT_EQ(r.rows.size(), rows);
    EXPECT_GT(r.cols.size(), 190u);

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

    // Recoloured in the full block (it was grey): the subsample, refreshed
    // in place, draws the new colours, each from its own point.
    recolour(full);
    vv::refresh_subsample(full, sample);
    EXPECT_EQ(&sample.nodes[0], block) << "refreshed in place";
    for (std::size_t i = 0; i < sample.count; ++i) {
        const VoxelNode &n = sample.nodes[i];
        ASSERT_TRUE(n.r == n.x + 0.5f && n.g == 1 && n.b == n.y + 0.5f) << n.x << "," << n.y;
    }
    const std::vector<vt::FbVertex> points = drawn_points(sample);
    EXPECT_EQ(points.size(), 700u);
    for (const vt::FbVertex &v : points)
        ASSERT_NEAR(v.g, 1.0f, 0.01f);

    EXPECT_EQ(drawn_points(full).size(), 20000u);
    set_liste_voxels(nullptr, 0);
}

} // namespace
