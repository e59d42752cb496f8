// kelvora: shows tamsil's particle fountains through vorlix, one particle step
// per frame, until Escape. Up goes full screen, Down back to 500 x 500. The
// command line goes to GLUT; the program prints nothing.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cstdlib>

#include "tamsil.h"
#include "vorlix.h"

namespace {

// The view never turns: every frame passes the identity.
const float identity_matrix[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                                   0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

void demo_init() {
    init_transformation(); // needs the window's context: sends the lights
    set_screen_mode(SCREEN_MODE_POINTS);
    set_isize(1);
    vorlix_init_particles(); // registers the particles' voxel lists
}

// Display and idle callback alike: every frame drawn is one particle step.
void demo_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    vorlix_update_particles();
    vorlix_render(identity_matrix);
}

void demo_keyboard(unsigned char key, int, int) {
    if (key == 27)
        std::exit(0);
}

void demo_special(int key, int, int) {
    if (key == GLUT_KEY_UP)
        glutFullScreen();
    else if (key == GLUT_KEY_DOWN)
        glutReshapeWindow(500, 500);
}

} // namespace

int main(int argc, char **argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(500, 500);
    glutCreateWindow("kelvora");
    demo_init();
    glutDisplayFunc(demo_frame);
    // The library's reshape is the callback itself: no demo code on a resize.
    glutReshapeFunc(vorlix_reshape);
    glutKeyboardFunc(demo_keyboard);
    glutSpecialFunc(demo_special);
    glutIdleFunc(demo_frame);
    glutMainLoop();
    return 0;
}
