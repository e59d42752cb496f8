#include "gl.h"
#include "internal.h"

void vorlix_reshape(int width, int height) {
    RendererState &s = vorlix_state;
    // A zero height (minimised window, or set_focale before the first
    // reshape) would divide by zero: keep the previous ratio instead. Nothing
    // shows through a zero-height viewport, and the next real size replaces it.
    if (height != 0)
        s.aspect = static_cast<float>(static_cast<double>(width) / height);
    glViewport(0, 0, width, height);
    s.window_width = width;
    s.window_height = height;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double aspect = s.aspect;
    const double focale = s.focale;
    // A zero focale makes the near plane 0, so OpenGL rejects the frustum
    // anyway; pass a far plane of 0 rather than an infinite one.
    const double far_plane = focale != 0.0 ? 30.0 / focale : 0.0;
    glFrustum(-0.04 * aspect, 0.04 * aspect, -0.04, 0.04, 0.1 * focale, far_plane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glutPostRedisplay();
}

void set_focale(float focale) {
    vorlix_state.focale = focale;
    vorlix_reshape(vorlix_state.window_width, vorlix_state.window_height);
}
