#include "scene.h"

#include "glut_window.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <chrono>
#include <cstdint>

namespace bench {

namespace {
// The settings the bench gives the library; the bare frame uses the same.
constexpr int point_size = 1;      // the demo's
constexpr float cube_edge = 0.01f; // the library's default
} // namespace

const float identity_matrix[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                                   0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

const char *mode_name(Mode mode) {
    return mode == Mode::points ? "points" : "cubes";
}

Scene make_scene(unsigned count, unsigned lists) {
    Scene s;
    s.nodes.resize(count);
    s.heads.assign(lists, nullptr);
    std::uint32_t rng = 0x2545f491u;
    auto unit = [&rng] { // xorshift32, uniform in [0, 1)
        rng ^= rng << 13;
        rng ^= rng >> 17;
        rng ^= rng << 5;
        return static_cast<float>(rng >> 8) * (1.0f / 16777216.0f);
    };
    for (VoxelNode &n : s.nodes) {
        n.x = unit() - 0.5f;
        n.y = unit() - 0.5f;
        n.z = unit() - 0.5f;
        n.r = 0.2f + 0.8f * unit();
        n.g = 0.2f + 0.8f * unit();
        n.b = 0.2f + 0.8f * unit();
    }
    for (unsigned k = 0; k < lists; ++k) {
        const unsigned begin =
            static_cast<unsigned>(static_cast<unsigned long long>(count) * k / lists);
        const unsigned end =
            static_cast<unsigned>(static_cast<unsigned long long>(count) * (k + 1) / lists);
        for (unsigned i = begin; i < end; ++i)
            s.nodes[i].next = i + 1 < end ? &s.nodes[i + 1] : nullptr;
        s.heads[k] = begin < end ? &s.nodes[begin] : nullptr;
    }
    return s;
}

void open_window() {
    static bool open = false;
    if (open)
        return;
    open = true;
    open_glut_window("vorlix-bench", "vorlix bench", 500, 500);
    glutDisplayFunc([] {});
    init_transformation();
    set_screen_mode(SCREEN_MODE_POINTS);
    set_isize(point_size);
    set_fsize(cube_edge);
    vorlix_reshape(500, 500);
    for (int i = 0; i < 10; ++i)
        glutMainLoopEvent();
}

void use_scene(const Scene &scene, Mode mode) {
    set_liste_voxels(scene.heads.data(), static_cast<unsigned>(scene.heads.size()));
    set_screen_mode(mode == Mode::points ? SCREEN_MODE_POINTS : SCREEN_MODE_CUBES);
}

void library_frame() {
    vorlix_render(identity_matrix);
}

namespace {

void bare_cube(float x, float y, float z, float h, float r, float g, float b) {
    const float x0 = x - h, x1 = x + h;
    const float y0 = y - h, y1 = y + h;
    const float z0 = z - h, z1 = z + h;
    glEnable(GL_NORMALIZE);
    glBegin(GL_QUADS);
    glColor3f(r, g, b);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glVertex3f(x0, y0, z1);
    glVertex3f(x1, y0, z1);
    glVertex3f(x1, y1, z1);
    glVertex3f(x0, y1, z1);
    glColor3f(r, g, b);
    glNormal3f(0.0f, 0.0f, -1.0f);
    glVertex3f(x0, y0, z0);
    glVertex3f(x1, y0, z0);
    glVertex3f(x1, y1, z0);
    glVertex3f(x0, y1, z0);
    glColor3f(r, g, b);
    glNormal3f(0.0f, 1.0f, 0.0f);
    glVertex3f(x0, y1, z1);
    glVertex3f(x1, y1, z1);
    glVertex3f(x1, y1, z0);
    glVertex3f(x0, y1, z0);
    glColor3f(r, g, b);
    glNormal3f(0.0f, -1.0f, 0.0f);
    glVertex3f(x0, y0, z1);
    glVertex3f(x1, y0, z1);
    glVertex3f(x1, y0, z0);
    glVertex3f(x0, y0, z0);
    glColor3f(r, g, b);
    glNormal3f(1.0f, 0.0f, 0.0f);
    glVertex3f(x1, y0, z1);
    glVertex3f(x1, y0, z0);
    glVertex3f(x1, y1, z0);
    glVertex3f(x1, y1, z1);
    glColor3f(r, g, b);
    glNormal3f(-1.0f, 0.0f, 0.0f);
    glVertex3f(x0, y0, z1);
    glVertex3f(x0, y0, z0);
    glVertex3f(x0, y1, z0);
    glVertex3f(x0, y1, z1);
    glEnd();
}

} // namespace

const char *const segment_names[seg_count] = {
    "clear, state, matrices",        "bounding cube",
    "voxel calls up to glEnd",       "glEnd of the voxels",
    "gizmo (draws buffered voxels)", "swap"};

void bare_frame(const Scene &scene, Mode mode, void (*mark)(Segment)) {
    if (mark)
        mark(seg_setup);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(2.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -2.2f);
    glMultMatrixf(identity_matrix);
    glScalef(1.0f, 1.0f, 1.0f);

    // Bounding cube.
    if (mark)
        mark(seg_bounding_cube);
    glBegin(GL_LINES);
    glColor3f(0.5f, -0.5f, -0.5f);
    glVertex3f(-0.5f, -0.5f, -0.5f);
    glVertex3f(0.5f, -0.5f, -0.5f);
    glColor3f(-0.5f, 0.5f, -0.5f);
    glVertex3f(-0.5f, -0.5f, -0.5f);
    glVertex3f(-0.5f, 0.5f, -0.5f);
    glColor3f(-0.5f, -0.5f, 0.5f);
    glVertex3f(-0.5f, -0.5f, -0.5f);
    glVertex3f(-0.5f, -0.5f, 0.5f);
    glColor3f(0.5f, 0.5f, 0.5f);
    glVertex3f(0.5f, 0.5f, 0.5f);
    glVertex3f(0.5f, 0.5f, -0.5f);
    glVertex3f(0.5f, 0.5f, 0.5f);
    glVertex3f(-0.5f, 0.5f, 0.5f);
    glVertex3f(0.5f, 0.5f, 0.5f);
    glVertex3f(0.5f, -0.5f, 0.5f);
    glVertex3f(0.5f, -0.5f, 0.5f);
    glVertex3f(0.5f, -0.5f, -0.5f);
    glVertex3f(0.5f, -0.5f, 0.5f);
    glVertex3f(-0.5f, -0.5f, 0.5f);
    glVertex3f(-0.5f, 0.5f, -0.5f);
    glVertex3f(-0.5f, 0.5f, 0.5f);
    glVertex3f(-0.5f, 0.5f, -0.5f);
    glVertex3f(0.5f, 0.5f, -0.5f);
    glVertex3f(-0.5f, -0.5f, 0.5f);
    glVertex3f(-0.5f, 0.5f, 0.5f);
    glVertex3f(0.5f, 0.5f, -0.5f);
    glVertex3f(0.5f, -0.5f, -0.5f);
    glEnd();

    if (mark)
        mark(seg_voxel_calls);
    if (mode == Mode::points) {
        glPointSize(static_cast<float>(point_size));
        glBegin(GL_POINTS);
        for (const VoxelNode *head : scene.heads)
            for (const VoxelNode *n = head; n != nullptr; n = n->next) {
                glColor3f(n->r, n->g, n->b);
                glVertex3f(n->x, n->y, n->z);
            }
        if (mark)
            mark(seg_voxel_end);
        glEnd();
    } else {
        // Every cube has its own glEnd; they all count as voxel calls.
        const float h = cube_edge / 2;
        for (const VoxelNode *head : scene.heads)
            for (const VoxelNode *n = head; n != nullptr; n = n->next)
                bare_cube(n->x, n->y, n->z, h, n->r, n->g, n->b);
    }

    // Axes gizmo.
    if (mark)
        mark(seg_gizmo);
    glLoadIdentity();
    glTranslatef(-0.8f, -0.5f, -2.5f);
    glMultMatrixf(identity_matrix);
    glScalef(1.0f, 1.0f, 1.0f);
    glPushMatrix();
    glScalef(0.125f, 0.125f, 0.125f);
    glBegin(GL_LINES);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex3f(0.8f, 0.05f, 0.0f);
    glVertex3f(1.0f, 0.25f, 0.0f);
    glVertex3f(0.8f, 0.25f, 0.0f);
    glVertex3f(1.0f, 0.05f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(1.0f, 0.0f, 0.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 1.0f, 0.0f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 1.0f);
    glEnd();
    glPopMatrix();

    if (mark)
        mark(seg_swap);
    glutSwapBuffers();
}

double now() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

} // namespace bench
