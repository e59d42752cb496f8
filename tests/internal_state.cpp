// The state block: its load-time values, the plain setters (bits stored as
// given, nothing else touched, no OpenGL or GLUT call), the 48 switch, and
// settings made before any window exists.
#include "float_bits.h"
#include "fresh_state.h"
#include "geometry.h"
#include "gl_harness.h"
#include "image.h"
#include "internal.h"
#include "trace.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using vt::bits;
using vt::from_bits;

const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void expect_vec4(const float (&got)[4], float a, float b, float c, float d, const char *name) {
    const float want[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(got[i], want[i]) << name << "[" << i << "]";
}

// Byte range of a field inside vorlix_state.
struct Range {
    size_t begin, end;
};
template <typename T> Range range_of(const T &field) {
    const auto base = reinterpret_cast<const unsigned char *>(&vorlix_state);
    const auto at = reinterpret_cast<const unsigned char *>(&field);
    return {static_cast<size_t>(at - base), static_cast<size_t>(at - base) + sizeof(T)};
}

// Runs op and checks that no byte of the state block outside the allowed
// ranges changed.
void expect_only_changes(const std::function<void()> &op, std::vector<Range> allowed,
                         const std::string &what) {
    unsigned char before[sizeof(RendererState)];
    std::memcpy(before, &vorlix_state, sizeof before);
    op();
    const auto after = reinterpret_cast<const unsigned char *>(&vorlix_state);
    for (size_t i = 0; i < sizeof before; ++i) {
        bool inside = false;
        for (const Range &r : allowed)
            inside = inside || (i >= r.begin && i < r.end);
        if (!inside && before[i] != after[i]) {
            ADD_FAILURE() << what << " changed byte " << i << " of the state block";
            return;
        }
    }
}

VoxelNode *const *junk_table() {
    // Any read through this address faults: a table that must never be read.
    return reinterpret_cast<VoxelNode *const *>(static_cast<std::uintptr_t>(0x10));
}

} // namespace

TEST(State, LoadTimeDefaults) {
    const RendererState &s = vorlix_state;
    EXPECT_EQ(s.isize, 2);
    EXPECT_EQ(s.fsize, 0.01f);
    EXPECT_TRUE(s.cube_englobant);
    EXPECT_EQ(s.focale, 1.0f);
    EXPECT_EQ(s.axes_scale, 1.0f);
    EXPECT_EQ(s.scale_x, 1.0f);
    EXPECT_EQ(s.scale_y, 1.0f);
    EXPECT_EQ(s.scale_z, 1.0f);
    EXPECT_EQ(s.screen_mode, SCREEN_MODE_POINTS);
    EXPECT_EQ(s.screen_mode, 0);
    EXPECT_EQ(s.liste_voxels, nullptr);
    EXPECT_EQ(s.liste_count, 0u);

    EXPECT_TRUE(vt::motion_is_zero(s));
    EXPECT_TRUE(vt::matrix_bits(s.translation_matrix.elements, identity)) << "translation_matrix";
    EXPECT_TRUE(vt::matrix_bits(s.rotation_x_matrix.elements, identity)) << "rotation_x_matrix";
    EXPECT_TRUE(vt::matrix_bits(s.rotation_y_matrix.elements, identity)) << "rotation_y_matrix";
    EXPECT_TRUE(vt::matrix_bits(s.rotation_z_matrix.elements, identity)) << "rotation_z_matrix";
    EXPECT_TRUE(vt::matrix_bits(s.model_matrix.elements, identity)) << "model_matrix";

    expect_vec4(s.light_ambient, 0.1f, 0.1f, 0.3f, 1.0f, "light_ambient");
    expect_vec4(s.light_diffuse, 0.0f, 0.0f, 0.0f, 1.0f, "light_diffuse");
    expect_vec4(s.light_specular, 1.0f, 1.0f, 1.0f, 1.0f, "light_specular");
    expect_vec4(s.light_position, 1.0f, 1.0f, 1.0f, 1.0f, "light_position");
    expect_vec4(s.material_ambient, 1.0f, 0.75f, 0.75f, 1.0f, "material_ambient");
    expect_vec4(s.material_diffuse, 1.0f, 1.0f, 1.0f, 1.0f, "material_diffuse");
    expect_vec4(s.material_specular, 1.0f, 1.0f, 1.0f, 1.0f, "material_specular");
    expect_vec4(s.material_emission, 0.0f, 0.0f, 0.0f, 0.0f, "material_emission");
    EXPECT_EQ(s.material_shininess, 128);

    EXPECT_EQ(s.aspect, 0.0f);
    EXPECT_EQ(s.window_width, 0);
    EXPECT_EQ(s.window_height, 0);
}

// No window, no glutInit in this process: a setter that called GLUT would
// make freeglut end the process, and the values must come back bit for bit.
TEST(State, PlainSettersStoreBitsUnchangedAndNothingElse) {
    RendererState &s = vorlix_state;
    struct FloatSetter {
        const char *name;
        void (*set)(float);
        float *field;
    };
    const FloatSetter float_setters[] = {
        {"set_delta_rotation", set_delta_rotation, &s.delta_rotation},
        {"set_delta_translation", set_delta_translation, &s.delta_translation},
        {"zoom", zoom, &s.trans_z},
        {"set_scale_x", set_scale_x, &s.scale_x},
        {"set_scale_y", set_scale_y, &s.scale_y},
        {"set_scale_z", set_scale_z, &s.scale_z},
        {"set_fsize", set_fsize, &s.fsize},
    };
    // Quiet NaN with payload, negative signalling NaN, -0, the largest
    // finite, a negative, the smallest subnormal, -infinity.
    const std::uint32_t patterns[] = {0x7fc12345u, 0xffa00001u, 0x80000000u, 0x7f7fffffu,
                                      0xc2c80000u, 0x00000001u, 0xff800000u};
    for (const auto &setter : float_setters) {
        for (std::uint32_t p : patterns) {
            expect_only_changes([&] { setter.set(from_bits(p)); }, {range_of(*setter.field)},
                                setter.name);
            EXPECT_EQ(bits(*setter.field), p) << setter.name;
        }
    }

    struct IntSetter {
        const char *name;
        void (*set)(int);
        int *field;
    };
    const IntSetter int_setters[] = {{"set_isize", set_isize, &s.isize},
                                     {"set_screen_mode", set_screen_mode, &s.screen_mode}};
    for (const auto &setter : int_setters) {
        for (int v : {INT_MIN, INT_MAX, -1, 0, 7}) {
            expect_only_changes([&] { setter.set(v); }, {range_of(*setter.field)}, setter.name);
            EXPECT_EQ(*setter.field, v) << setter.name;
        }
    }

    // A second registration replaces the first.
    VoxelNode node{0, 0, 0, 1, 1, 1, nullptr};
    VoxelNode *const first[] = {&node, nullptr};
    VoxelNode *const second[] = {nullptr, &node, nullptr};
    const std::vector<Range> table_fields = {range_of(s.liste_voxels), range_of(s.liste_count)};
    expect_only_changes([&] { set_liste_voxels(first, 2); }, table_fields, "set_liste_voxels");
    expect_only_changes([&] { set_liste_voxels(second, 3); }, table_fields, "set_liste_voxels");
    EXPECT_EQ(s.liste_voxels, second);
    EXPECT_EQ(s.liste_count, 3u);
    // Stored as given, junk and all: nothing reads the table until a drawing pass.
    set_liste_voxels(junk_table(), UINT_MAX);
    EXPECT_EQ(s.liste_voxels, junk_table());
    EXPECT_EQ(s.liste_count, UINT_MAX);
    set_liste_voxels(nullptr, 0);
    EXPECT_EQ(s.liste_voxels, nullptr);
    EXPECT_EQ(s.liste_count, 0u);
}

TEST(State, BoundingCubeIsOnOnlyFor48) {
    ASSERT_TRUE(vorlix_state.cube_englobant);
    for (int off : {0, 1, 49, 47, -48, '0' + 1, 48 + 256, INT_MIN}) {
        set_cube_englobant(48);
        EXPECT_TRUE(vorlix_state.cube_englobant) << "48 after " << off;
        expect_only_changes([&] { set_cube_englobant(off); },
                            {range_of(vorlix_state.cube_englobant)}, "set_cube_englobant");
        EXPECT_FALSE(vorlix_state.cube_englobant) << off;
    }
    set_cube_englobant('0');
    EXPECT_TRUE(vorlix_state.cube_englobant);
    set_cube_englobant(48);
    EXPECT_TRUE(vorlix_state.cube_englobant);
}

// With a window: the plain setters and the 48 switch issue no OpenGL call.
TEST(State, SettersIssueNoGlCall) {
    if (vt::in_traced_child()) {
        vt::open_window();
        static VoxelNode node{0, 0, 0, 1, 1, 1, nullptr};
        static VoxelNode *const table[] = {&node};
        vt::trace_begin();
        set_delta_rotation(5.0f);
        set_delta_translation(0.5f);
        zoom(-1.0f);
        set_scale_x(2.0f);
        set_scale_y(3.0f);
        set_scale_z(4.0f);
        set_isize(7);
        set_fsize(0.5f);
        set_screen_mode(SCREEN_MODE_CUBES);
        set_cube_englobant(0);
        set_cube_englobant(48);
        set_liste_voxels(table, 1);
        vt::trace_end();
        return;
    }
    EXPECT_TRUE(vt::same_calls({}, vt::trace_this_test()));
}

// Settings made before the window exists are what the first drawing uses.
TEST(State, SettersBeforeAnyWindowTakeEffectOnceItExists) {
    static VoxelNode green{-0.5f, 0.25f, 0.0f, 0.0f, 1.0f, 0.0f, nullptr};
    static VoxelNode red{0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, &green};
    static VoxelNode *const table[] = {&red};
    set_isize(5);
    set_liste_voxels(junk_table(), 1000); // replaced below, never read
    set_liste_voxels(table, 1);

    vt::open_window();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_voxels_points();
    GLfloat size = 0;
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 5.0f);

    // Each voxel is a 5 x 5 square of its colour: red around the centre,
    // green at window (125, 312.5).
    const vt::Image shown = vt::Image::back_buffer();
    EXPECT_EQ(shown.count(vt::kRed, 2, 250, 250, 8), 25);
    EXPECT_EQ(shown.count(vt::kGreen, 2, 125, 312, 8), 25);

    const auto points = vt::capture_feedback(draw_voxels_points);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].vertices[0].r, 1.0f);
    EXPECT_EQ(points[1].vertices[0].g, 1.0f);
}
