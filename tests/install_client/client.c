/* A program built against an installed vorlix, the way any client would
 * build: it opens a GLUT window, draws one magenta voxel in the middle of it
 * through the library and checks that it is there. */
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <stdio.h>

#include <vorlix.h>

int main(int argc, char **argv) {
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    static VoxelNode voxel = {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f, NULL};
    static VoxelNode *table[1] = {&voxel};
    unsigned char px[4] = {0, 0, 0, 0};

    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(200, 200);
    glutCreateWindow("vorlix client");
    init_transformation();
    set_isize(9);
    set_liste_voxels(table, 1);
    vorlix_reshape(200, 200);
    vorlix_render(identity);
    glFinish();

    /* The software driver swaps by copying, so the back buffer keeps the frame. */
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(100, 100, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    if (px[0] != 255 || px[1] != 0 || px[2] != 255) {
        fprintf(stderr, "client: expected the magenta voxel at (100, 100), got (%d, %d, %d)\n",
                px[0], px[1], px[2]);
        return 1;
    }
    printf("client: voxel drawn\n");
    return 0;
}
