/*
 * vorlix: draws a cloud of coloured voxels with the fixed-function OpenGL
 * pipeline, as points or as small flat-coloured cubes, with a bounding cube
 * and an axes gizmo for reference.
 *
 * How a client drives it (GLUT program, one thread):
 *   1. create the window so that its OpenGL context is current;
 *   2. call init_transformation();
 *   3. change whatever settings differ from the defaults (set_*);
 *   4. register its voxel list table with set_liste_voxels();
 *   5. let vorlix_reshape() run with the window size (register it directly
 *      as the GLUT reshape callback);
 *   6. call vorlix_render() once per frame; it clears, draws and swaps.
 *
 * Ownership: the library keeps one process-wide state block and allocates
 * nothing. The voxel list table, its nodes and the matrix passed to
 * vorlix_render() belong to the client; the library only reads them and
 * never writes, copies or frees them. The table and its nodes must stay valid
 * for as long as they are registered; the matrix only during the call.
 *
 * Nothing is validated and nothing is reported: values are stored as given
 * and passed on to OpenGL unchanged. The plain setters, the rotation and
 * translation operations and zoom() make no OpenGL call and may run before
 * any window exists. vorlix_render, vorlix_reshape, set_focale and
 * init_transformation need a current GLUT window.
 */
#ifndef VORLIX_H
#define VORLIX_H

#ifdef VORLIX_BUILDING
#define VORLIX_API __attribute__((visibility("default")))
#else
#define VORLIX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One voxel: its centre, its colour (0..1) and the next voxel of its list. */
typedef struct VoxelNode {
    float x;
    float y;
    float z;
    float r;
    float g;
    float b;
    struct VoxelNode *next;
} VoxelNode;

#define SCREEN_MODE_POINTS 0
#define SCREEN_MODE_CUBES 1

/* Draws one frame under the client's matrix (16 floats, column-major as
 * glMultMatrixf takes them) and swaps the buffers. */
VORLIX_API void vorlix_render(const float *matrix);
/* Viewport and perspective frustum for a window of this size; usable as a
 * GLUT reshape callback as it stands. */
VORLIX_API void vorlix_reshape(int width, int height);
/* Focal factor: near plane 0.1*f, far plane 30/f; re-applies the projection. */
VORLIX_API void set_focale(float focale);

/* Sends the light and material settings to OpenGL and resets the angles,
 * translation totals and pending steps. */
VORLIX_API void init_transformation(void);
VORLIX_API void set_delta_rotation(float degrees);
VORLIX_API void rotation_x(void);
VORLIX_API void rotation_y(void);
VORLIX_API void rotation_z(void);
/* One-shot step, consumed by the next translation_x/y/z (Z subtracts it). */
VORLIX_API void set_delta_translation(float step);
VORLIX_API void translation_x(void);
VORLIX_API void translation_y(void);
VORLIX_API void translation_z(void);
/* Replaces the depth total. */
VORLIX_API void zoom(float depth);

VORLIX_API void set_scale_x(float factor);
VORLIX_API void set_scale_y(float factor);
VORLIX_API void set_scale_z(float factor);
/* Point size in pixels (default 2). */
VORLIX_API void set_isize(int size);
/* Cube edge length (default 0.01). */
VORLIX_API void set_fsize(float edge);
/* SCREEN_MODE_POINTS, SCREEN_MODE_CUBES; any other value draws no voxels. */
VORLIX_API void set_screen_mode(int mode);
/* The bounding cube is drawn when the value is 48 ('0'), hidden otherwise. */
VORLIX_API void set_cube_englobant(int value);
/* Registers count list heads; a null head is an empty list, a null table
 * counts as empty. Replaces any earlier registration. */
VORLIX_API void set_liste_voxels(VoxelNode *const *liste, unsigned int count);

#ifdef __cplusplus
}
#endif

#endif /* VORLIX_H */
