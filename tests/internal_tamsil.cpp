// The particle library seen through the voxel table it registers: linked
// with the renderer's objects, so set_liste_voxels lands in vorlix_state.
#include "internal.h"
#include "particles.h"
#include "tamsil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace {

// All voxels in drawing order: list 0 head to tail, then list 1, ...
std::vector<const VoxelNode *> voxels() {
    std::vector<const VoxelNode *> out;
    for (unsigned i = 0; i < vorlix_state.liste_count; ++i)
        for (const VoxelNode *n = vorlix_state.liste_voxels[i]; n != nullptr; n = n->next)
            out.push_back(n);
    return out;
}

struct Voxel {
    float x, y, z, r, g, b;
    bool operator==(const Voxel &o) const {
        return x == o.x && y == o.y && z == o.z && r == o.r && g == o.g && b == o.b;
    }
};

std::vector<Voxel> snapshot() {
    std::vector<Voxel> out;
    for (const VoxelNode *n : voxels())
        out.push_back({n->x, n->y, n->z, n->r, n->g, n->b});
    return out;
}

void steps(int k) {
    for (int i = 0; i < k; ++i)
        vorlix_update_particles();
}

// Each test runs in a fresh process, so this one sees the library before any
// init (it is also first in the file for a run of the whole binary).
TEST(Tamsil, UpdateBeforeInitDoesNothing) {
    steps(100);
    EXPECT_EQ(vorlix_state.liste_voxels, nullptr);
    EXPECT_EQ(vorlix_state.liste_count, 0u);
}

TEST(Tamsil, InitRegistersOneListPerFountainCoveringEveryParticle) {
    vorlix_init_particles();
    ASSERT_NE(vorlix_state.liste_voxels, nullptr);
    ASSERT_EQ(vorlix_state.liste_count, tamsil::fountain_count);

    std::set<const VoxelNode *> seen;
    const unsigned shortest = tamsil::particle_count / tamsil::fountain_count;
    for (unsigned i = 0; i < vorlix_state.liste_count; ++i) {
        unsigned length = 0;
        for (const VoxelNode *n = vorlix_state.liste_voxels[i]; n != nullptr; n = n->next) {
            EXPECT_TRUE(seen.insert(n).second) << "node shared between lists, or a cycle";
            if (++length > tamsil::particle_count)
                break;
        }
        // The particles are shared out evenly.
        EXPECT_GE(length, shortest) << "list " << i;
        EXPECT_LE(length, shortest + 1) << "list " << i;
    }
    EXPECT_EQ(seen.size(), tamsil::particle_count);
}

TEST(Tamsil, TwoInitsGiveTheSameMotionOnTheSameStorage) {
    vorlix_init_particles();
    VoxelNode *const *table = vorlix_state.liste_voxels;
    const std::vector<const VoxelNode *> nodes = voxels();
    const std::vector<Voxel> start = snapshot();
    steps(500);
    const std::vector<Voxel> later = snapshot();
    ASSERT_FALSE(later == start);

    // A second init starts over: same table and nodes (nothing leaked or
    // reallocated), same first frame, same motion.
    vorlix_init_particles();
    EXPECT_EQ(vorlix_state.liste_voxels, table);
    EXPECT_EQ(voxels(), nodes);
    EXPECT_TRUE(snapshot() == start);
    steps(500);
    EXPECT_TRUE(snapshot() == later);
}

TEST(Tamsil, ParticlesStayInTheCubeWithValidColoursForTenThousandSteps) {
    vorlix_init_particles();
    const std::vector<const VoxelNode *> nodes = voxels();
    ASSERT_EQ(nodes.size(), tamsil::particle_count);
    long outside = 0, bad_colour = 0;
    for (int s = 0; s < 10000; ++s) {
        vorlix_update_particles();
        for (const VoxelNode *n : nodes) {
            outside += n->x < -0.5f || n->x > 0.5f || n->y < -0.5f || n->y > 0.5f || n->z < -0.5f ||
                       n->z > 0.5f;
            bad_colour += !(n->r >= 0.0f && n->r <= 1.0f && n->g >= 0.0f && n->g <= 1.0f &&
                            n->b >= 0.0f && n->b <= 1.0f);
        }
        if (outside + bad_colour > 0) {
            ADD_FAILURE() << "step " << s << ": " << outside << " outside the cube, " << bad_colour
                          << " colours outside 0..1";
            break;
        }
    }
}

TEST(Tamsil, EveryParticleMovesOnEveryStep) {
    vorlix_init_particles();
    std::vector<Voxel> before = snapshot();
    for (int s = 0; s < 300; ++s) {
        vorlix_update_particles();
        const std::vector<Voxel> after = snapshot();
        ASSERT_EQ(after.size(), before.size());
        size_t still = 0;
        for (size_t i = 0; i < after.size(); ++i)
            still +=
                after[i].x == before[i].x && after[i].y == before[i].y && after[i].z == before[i].z;
        ASSERT_EQ(still, 0u) << "step " << s;
        before = after;
    }
}

// The cloud fills the cube rather than collapsing: over a few lifetimes the
// particles reach well up and out to all four walls.
TEST(Tamsil, FountainsSpreadThroughTheCube) {
    vorlix_init_particles();
    float top = -1, left = 1, right = -1, front = -1, back = 1;
    for (int s = 0; s < 600; ++s) {
        vorlix_update_particles();
        for (const VoxelNode *n : voxels()) {
            top = std::max(top, n->y);
            left = std::min(left, n->x);
            right = std::max(right, n->x);
            back = std::min(back, n->z);
            front = std::max(front, n->z);
        }
    }
    EXPECT_GT(top, 0.0f);
    EXPECT_LT(left, -0.4f);
    EXPECT_GT(right, 0.4f);
    EXPECT_LT(back, -0.4f);
    EXPECT_GT(front, 0.4f);
}

// Colour tells the source: each list's mean colour differs from every other
// list's by a clearly visible amount.
TEST(Tamsil, EachFountainHasItsOwnColour) {
    vorlix_init_particles();
    steps(60);
    std::vector<Voxel> mean;
    for (unsigned i = 0; i < vorlix_state.liste_count; ++i) {
        Voxel m{0, 0, 0, 0, 0, 0};
        int count = 0;
        for (const VoxelNode *n = vorlix_state.liste_voxels[i]; n != nullptr; n = n->next) {
            m.r += n->r;
            m.g += n->g;
            m.b += n->b;
            ++count;
        }
        ASSERT_GT(count, 0);
        mean.push_back({0, 0, 0, m.r / count, m.g / count, m.b / count});
    }
    for (size_t i = 0; i < mean.size(); ++i)
        for (size_t j = i + 1; j < mean.size(); ++j) {
            const float d = std::abs(mean[i].r - mean[j].r) + std::abs(mean[i].g - mean[j].g) +
                            std::abs(mean[i].b - mean[j].b);
            EXPECT_GT(d, 0.15f) << "lists " << i << " and " << j;
        }
}

} // namespace
