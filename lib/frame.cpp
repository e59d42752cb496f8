#include "gl.h"
#include "internal.h"

void vorlix_render(const float *matrix) {
    const RendererState &s = vorlix_state;
    compose_model_matrix();

    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(2.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    // The cloud: 2.2 units in front of the eye, moved by the totals, turned by
    // the caller's matrix and stretched by the scale factors.
    glLoadIdentity();
    glTranslatef(s.trans_x, s.trans_y, static_cast<float>(static_cast<double>(s.trans_z) - 2.2));
    glMultMatrixf(matrix);
    glScalef(s.scale_x, s.scale_y, s.scale_z);
    if (s.cube_englobant)
        draw_cube_englobant();
    if (s.screen_mode == SCREEN_MODE_POINTS)
        draw_voxels_points();
    else if (s.screen_mode == SCREEN_MODE_CUBES)
        draw_voxels_cubes(s.fsize);

    // The gizmo: fixed in the lower left, same orientation and stretch.
    glLoadIdentity();
    glTranslatef(-0.8f, -0.5f, -2.5f);
    glMultMatrixf(matrix);
    glScalef(s.scale_x, s.scale_y, s.scale_z);
    const float axes = s.axes_scale / 8.0f;
    draw_axes(axes, axes, axes);

    glutSwapBuffers();
}
