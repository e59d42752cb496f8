#include "internal.h"

// All of the library's mutable data. It is constant-initialised (no code runs
// at load); any other mutable global in lib/ is a bug. One line per field
// group, named, so the table reads against the struct.
// clang-format off
RendererState vorlix_state = {
    /* isize */ 2,
    /* fsize */ 0.01f,
    /* cube_englobant */ true,
    /* focale */ 1.0f,
    /* axes_scale */ 1.0f,
    /* scale_x, scale_y, scale_z */ 1.0f, 1.0f, 1.0f,
    /* screen_mode */ SCREEN_MODE_POINTS,
    /* liste_voxels */ nullptr,
    /* liste_count */ 0u,
    /* delta_rotation */ 0.0f,
    /* delta_translation */ 0.0f,
    /* angle_x, angle_y, angle_z */ 0.0f, 0.0f, 0.0f,
    /* trans_x, trans_y, trans_z */ 0.0f, 0.0f, 0.0f,
    /* translation_matrix */ Matrix4(),
    /* rotation_x/y/z_matrix */ Matrix4(), Matrix4(), Matrix4(),
    /* model_matrix */ Matrix4(),
    /* light_ambient */ {0.1f, 0.1f, 0.3f, 1.0f},
    /* light_diffuse */ {0.0f, 0.0f, 0.0f, 1.0f},
    /* light_specular */ {1.0f, 1.0f, 1.0f, 1.0f},
    /* light_position */ {1.0f, 1.0f, 1.0f, 1.0f},
    /* material_ambient */ {1.0f, 0.75f, 0.75f, 1.0f},
    /* material_diffuse */ {1.0f, 1.0f, 1.0f, 1.0f},
    /* material_specular */ {1.0f, 1.0f, 1.0f, 1.0f},
    /* material_emission */ {0.0f, 0.0f, 0.0f, 0.0f},
    /* material_shininess */ 128,
    /* aspect */ 0.0f,
    /* window_width, window_height */ 0, 0,
};
// clang-format on

// Plain setters: store the argument as given, nothing more. A new value takes
// effect at the next operation that reads it. One line each, so the whole
// set is seen at once.
// clang-format off

void set_delta_rotation(float degrees) { vorlix_state.delta_rotation = degrees; }
void set_delta_translation(float step) { vorlix_state.delta_translation = step; }
void zoom(float depth) { vorlix_state.trans_z = depth; }
void set_scale_x(float factor) { vorlix_state.scale_x = factor; }
void set_scale_y(float factor) { vorlix_state.scale_y = factor; }
void set_scale_z(float factor) { vorlix_state.scale_z = factor; }
void set_isize(int size) { vorlix_state.isize = size; }
void set_fsize(float edge) { vorlix_state.fsize = edge; }
void set_screen_mode(int mode) { vorlix_state.screen_mode = mode; }
// clang-format on

// 48 is the character '0': the one value that turns the bounding cube on.
void set_cube_englobant(int value) {
    vorlix_state.cube_englobant = (value == 48);
}

void set_liste_voxels(VoxelNode *const *liste, unsigned int count) {
    vorlix_state.liste_voxels = liste;
    vorlix_state.liste_count = count;
}
