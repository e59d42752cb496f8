// The library's one state block and its internal operations. Every concern's
// file includes this; nothing here is visible outside libvorlix.so.
#ifndef VORLIX_INTERNAL_H
#define VORLIX_INTERNAL_H

#include "matrix.h"
#include "vorlix.h"

struct RendererState {
    // Drawing settings.
    int isize;
    float fsize;
    bool cube_englobant;
    float focale;
    float axes_scale;
    float scale_x, scale_y, scale_z;
    int screen_mode;
    VoxelNode *const *liste_voxels;
    unsigned int liste_count;

    // Transformation state.
    float delta_rotation;
    float delta_translation;
    float angle_x, angle_y, angle_z;
    float trans_x, trans_y, trans_z;
    Matrix4 translation_matrix;
    Matrix4 rotation_x_matrix, rotation_y_matrix, rotation_z_matrix;
    Matrix4 model_matrix;

    // Light 0 and front material, sent by init_lighting.
    float light_ambient[4];
    float light_diffuse[4];
    float light_specular[4];
    float light_position[4];
    float material_ambient[4];
    float material_diffuse[4];
    float material_specular[4];
    float material_emission[4];
    int material_shininess;

    // Viewport.
    float aspect;
    int window_width, window_height;
};

// Defined once, in state.cpp, with every load-time value as static data.
extern RendererState vorlix_state;

void init_lighting();
void compose_model_matrix();
void draw_voxels_points();
void draw_voxels_cubes(float edge);
void draw_voxel_cube(float x, float y, float z, float edge, float r, float g, float b);
void draw_cube_englobant();
void draw_axes(float sx, float sy, float sz);

#endif
