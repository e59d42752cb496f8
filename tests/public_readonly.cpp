// The voxel table, its nodes and the caller's matrix belong to the client and
// the library only reads them. Here they live in pages the kernel makes
// read-only, each ending right before an inaccessible guard page, so a write
// anywhere in them or a read past their end kills the process instead of
// passing unnoticed. Frames are drawn in both modes with every operation in
// play, and the pixels show that the protected data was really used.
#include "gl_harness.h"
#include "image.h"
#include "vorlix.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace {

// A read-only page for each of the three objects, each followed by a guard
// page; every object ends at the end of its page.
class ProtectedScene {
  public:
    static constexpr unsigned list_count = 3;
    static constexpr unsigned node_count = 5;

    ProtectedScene() {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        size_ = 6 * page_;
        void *p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        base_ = static_cast<unsigned char *>(p);
        nodes = reinterpret_cast<VoxelNode *>(end_of_page(0) - node_count * sizeof(VoxelNode));
        table = reinterpret_cast<VoxelNode **>(end_of_page(2) - list_count * sizeof(VoxelNode *));
        matrix = reinterpret_cast<float *>(end_of_page(4) - 16 * sizeof(float));
    }
    ~ProtectedScene() {
        if (base_ != nullptr)
            munmap(base_, size_);
    }
    ProtectedScene(const ProtectedScene &) = delete;
    ProtectedScene &operator=(const ProtectedScene &) = delete;

    bool mapped() const { return base_ != nullptr; }

    // Data pages become read-only, guard pages inaccessible.
    bool protect() {
        for (int i = 0; i < 6; ++i)
            if (mprotect(base_ + i * page_, page_, i % 2 == 0 ? PROT_READ : PROT_NONE) != 0)
                return false;
        return true;
    }

    VoxelNode *nodes = nullptr;
    VoxelNode **table = nullptr;
    float *matrix = nullptr;

  private:
    unsigned char *end_of_page(int i) { return base_ + (i + 1) * page_; }

    size_t page_ = 0;
    size_t size_ = 0;
    unsigned char *base_ = nullptr;
};

// The voxel drawn at the origin, where it lands in the middle of the window
// under an identity matrix; the other voxels sit well away from it.
const vt::Rgb origin_rgb = {255, 128, 0};

// Three lists: two voxels, an empty list, then three voxels, the last of
// which is at the origin. Then the caller's matrix: identity, or a
// translation by tx along x in elements 12..14.
void fill(ProtectedScene &s, float tx) {
    const VoxelNode values[ProtectedScene::node_count] = {
        {-0.3f, 0.3f, 0.0f, 0.0f, 0.0f, 1.0f, nullptr},
        {0.3f, 0.3f, 0.1f, 0.0f, 1.0f, 1.0f, nullptr},
        {-0.3f, -0.3f, -0.1f, 1.0f, 0.0f, 1.0f, nullptr},
        {0.3f, -0.3f, 0.2f, 1.0f, 1.0f, 1.0f, nullptr},
        {0.0f, 0.0f, 0.0f, 1.0f, 128.0f / 255.0f, 0.0f, nullptr},
    };
    std::memcpy(s.nodes, values, sizeof values);
    s.nodes[0].next = &s.nodes[1];
    s.nodes[2].next = &s.nodes[3];
    s.nodes[3].next = &s.nodes[4];
    s.table[0] = &s.nodes[0];
    s.table[1] = nullptr;
    s.table[2] = &s.nodes[2];
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, tx, 0, 0, 1};
    std::memcpy(s.matrix, m, sizeof m);
}

// Runs every operation of the interface at least once, with the readers of
// the protected data (the frame) in between, then goes back to plain
// settings so the last frame can be checked.
void exercise_all_operations(const float *matrix) {
    set_delta_rotation(30.0f);
    rotation_x();
    rotation_y();
    rotation_z();
    vorlix_render(matrix);
    set_delta_translation(0.1f);
    translation_x();
    set_delta_translation(0.1f);
    translation_y();
    set_delta_translation(0.1f);
    translation_z();
    zoom(-0.5f);
    set_scale_x(2.0f);
    set_scale_y(0.5f);
    set_scale_z(3.0f);
    set_fsize(0.3f);
    set_cube_englobant(0);
    set_focale(2.0f);
    vorlix_render(matrix);
    set_cube_englobant(48);
    vorlix_render(matrix);

    init_transformation();
    set_scale_x(1.0f);
    set_scale_y(1.0f);
    set_scale_z(1.0f);
    set_focale(1.0f);
}

class ReadOnlyClientData : public vt::GlTest {
  protected:
    void SetUp() override {
        vt::GlTest::SetUp();
        ASSERT_TRUE(scene.mapped());
    }
    // The scene with its cloud moved `dx` along x, made read-only, and given
    // to the library, which then draws at 500 x 500 with 9-pixel points.
    void hand_over(float dx) {
        fill(scene, dx);
        ASSERT_TRUE(scene.protect());
        init_transformation();
        set_liste_voxels(scene.table, ProtectedScene::list_count);
        vorlix_reshape(500, 500);
        set_isize(9);
    }
    ProtectedScene scene;
};

TEST_F(ReadOnlyClientData, FramesInBothModesDrawFromProtectedPages) {
    ASSERT_NO_FATAL_FAILURE(hand_over(0.0f));
    for (int mode : {SCREEN_MODE_POINTS, SCREEN_MODE_CUBES}) {
        SCOPED_TRACE(mode == SCREEN_MODE_POINTS ? "points" : "cubes");
        set_screen_mode(mode);
        exercise_all_operations(scene.matrix);
        set_fsize(0.05f);
        vorlix_render(scene.matrix);
        const vt::Image shown = vt::Image::back_buffer();
        EXPECT_TRUE(shown.near(250, 250, origin_rgb, 2));
        // The voxel at (-0.3, 0.3, 0) is in the upper left quarter.
        EXPECT_TRUE(shown.near(165, 335, vt::kBlue, 3));
    }
}

TEST_F(ReadOnlyClientData, ProtectedMatrixPlacesTheCloud) {
    // A translation by 0.3 along x puts the origin voxel 0.3 to the right at
    // depth 2.2: x = 250 + 250 * (0.1 / 0.04) * 0.3 / 2.2, about 335.
    ASSERT_NO_FATAL_FAILURE(hand_over(0.3f));
    set_screen_mode(SCREEN_MODE_POINTS);
    vorlix_render(scene.matrix);
    const vt::Image shown = vt::Image::back_buffer();
    EXPECT_TRUE(shown.near(335, 250, origin_rgb, 2));
    EXPECT_FALSE(shown.near(250, 250, origin_rgb, 2));
}

// Without this the tests above would pass just as well on writable pages.
TEST(ReadOnlyClientDataDeathTest, ProtectionIsInForce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ProtectedScene scene;
    ASSERT_TRUE(scene.mapped());
    fill(scene, 0.0f);
    ASSERT_TRUE(scene.protect());
    volatile float *x = &scene.nodes[4].x;
    VoxelNode *volatile *head = &scene.table[0];
    volatile float *m = &scene.matrix[0];
    EXPECT_DEATH(*x = 1.0f, "");
    EXPECT_DEATH(*head = nullptr, "");
    EXPECT_DEATH(*m = 2.0f, "");
    // Reading one element past the end of the table hits the guard page.
    EXPECT_DEATH((void)*(head + ProtectedScene::list_count), "");
}

} // namespace
