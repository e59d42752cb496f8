/*
 * A plain C99 client of libvorlix.so. It reaches every one of the 21
 * operations through function pointers of the exact C types (a double
 * parameter or a missing const would not compile here under -Werror), calls
 * the setters and the transformation operations before GLUT is initialised
 * (freeglut ends the process if one of them calls it), then draws two frames
 * in feedback mode and checks that the voxels it registered come back in
 * list order with their own colours: proof that C and the library agree on
 * VoxelNode.
 */
#include "vorlix.h"

#include <GL/freeglut.h>
#include <stddef.h>
#include <stdio.h>

static int failures = 0;

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

/* The seven fields, in order, and nothing after next. */
typedef char node_fields_in_order
    [(offsetof(VoxelNode, x) == 0 && offsetof(VoxelNode, y) == sizeof(float) &&
      offsetof(VoxelNode, z) == 2 * sizeof(float) && offsetof(VoxelNode, r) == 3 * sizeof(float) &&
      offsetof(VoxelNode, g) == 4 * sizeof(float) && offsetof(VoxelNode, b) == 5 * sizeof(float) &&
      offsetof(VoxelNode, next) >= 6 * sizeof(float) &&
      sizeof(VoxelNode) == offsetof(VoxelNode, next) + sizeof(VoxelNode *))
         ? 1
         : -1];

static void (*const op_render)(const float *) = vorlix_render;
static void (*const op_reshape)(int, int) = vorlix_reshape;
static void (*const op_init)(void) = init_transformation;
static void (*const op_liste)(VoxelNode *const *, unsigned int) = set_liste_voxels;
static void (*const float_ops[])(float) = {set_focale,  set_delta_rotation, set_delta_translation,
                                           zoom,        set_scale_x,        set_scale_y,
                                           set_scale_z, set_fsize};
static void (*const int_ops[])(int) = {set_isize, set_screen_mode, set_cube_englobant};
static void (*const step_ops[])(void) = {rotation_x,    rotation_y,    rotation_z,
                                         translation_x, translation_y, translation_z};

/* Three voxels in lists 0 and 2; list 1 is empty. All lie well inside the
 * view at the frame's depth. */
static VoxelNode v_last = {0.2f, -0.2f, 0.0f, 0.0f, 0.0f, 1.0f, NULL};
static VoxelNode v_second = {-0.2f, 0.2f, 0.1f, 0.0f, 1.0f, 0.0f, NULL};
static VoxelNode v_first = {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, &v_second};

static const VoxelNode *const expected[3] = {&v_first, &v_second, &v_last};

/* Index in expected of the voxel whose colour this feedback vertex has, or -1. */
static int voxel_of(const GLfloat *vertex) {
    int i;
    for (i = 0; i < 3; ++i)
        if (vertex[3] == expected[i]->r && vertex[4] == expected[i]->g &&
            vertex[5] == expected[i]->b)
            return i;
    return -1;
}

#define FEEDBACK_SIZE 65536
static GLfloat feedback[FEEDBACK_SIZE];

/* Draws one frame in feedback mode; fills order[] with the voxel index of
 * each point (points != 0) or of each run of same-coloured polygons. Returns
 * the number of entries, or -1 when something unexpected was captured. */
static int frame_voxels(const float *matrix, int points, int order[], int max) {
    GLint n, i = 0;
    int count = 0;
    glFeedbackBuffer(FEEDBACK_SIZE, GL_3D_COLOR, feedback);
    glRenderMode(GL_FEEDBACK);
    op_render(matrix);
    n = glRenderMode(GL_RENDER);
    if (n < 0)
        return -1;
    while (i < n) {
        const int token = (int)feedback[i++];
        int which;
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            i += 14; /* the overlays */
            continue;
        }
        if (token == GL_PASS_THROUGH_TOKEN) {
            ++i;
            continue;
        }
        if (token == GL_POINT_TOKEN && points) {
            which = voxel_of(&feedback[i]);
            i += 7;
        } else if (token == GL_POLYGON_TOKEN && !points) {
            const int corners = (int)feedback[i++];
            which = voxel_of(&feedback[i]);
            i += 7 * corners;
            if (count > 0 && order[count - 1] == which)
                continue;
        } else {
            fprintf(stderr, "unexpected feedback token %d\n", token);
            return -1;
        }
        if (which < 0 || count == max)
            return -1;
        order[count++] = which;
    }
    return count;
}

/* Frames are drawn by main itself; GLUT only needs a display callback. */
static void on_display(void) {}

int main(int argc, char **argv) {
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    VoxelNode *table[3];
    int order[16];
    size_t k;
    int n;

    table[0] = &v_first;
    table[1] = NULL;
    table[2] = &v_last;

    /* No GLUT yet: these only store values. */
    float_ops[1](15.0f);
    for (k = 0; k < sizeof step_ops / sizeof step_ops[0]; ++k)
        step_ops[k]();
    float_ops[2](0.25f); /* set_delta_translation */
    step_ops[3]();       /* translation_x */
    float_ops[3](0.0f);  /* zoom */
    float_ops[4](1.0f);
    float_ops[5](1.0f);
    float_ops[6](1.0f);
    float_ops[7](0.2f); /* set_fsize */
    int_ops[0](4);      /* set_isize */
    int_ops[1](SCREEN_MODE_POINTS);
    int_ops[2](0); /* no bounding cube */
    op_liste(table, 3);

    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(500, 500);
    glutCreateWindow("vorlix C client");
    glutDisplayFunc(on_display);
    glutMainLoopEvent();

    op_init();
    op_reshape(500, 500);
    float_ops[0](1.0f); /* set_focale re-applies the projection */

    n = frame_voxels(identity, 1, order, 16);
    CHECK(n == 3);
    CHECK(n >= 3 && order[0] == 0 && order[1] == 1 && order[2] == 2);

    int_ops[1](SCREEN_MODE_CUBES);
    int_ops[2](48);
    n = frame_voxels(identity, 0, order, 16);
    CHECK(n == 3);
    CHECK(n >= 3 && order[0] == 0 && order[1] == 1 && order[2] == 2);

    if (failures != 0)
        fprintf(stderr, "%d check(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
