#include "gl.h"
#include "internal.h"

namespace {

// Walks the registered lists in drawing order: list 0 head to tail, then
// list 1, and so on. The table pointer is read once per pass; a null table
// (whatever the count) and null heads are empty. Nodes are only read.
template <typename Visit> void for_each_voxel(Visit visit) {
    VoxelNode *const *table = vorlix_state.liste_voxels;
    const unsigned int count = vorlix_state.liste_count;
    if (table == nullptr)
        return;
    for (unsigned int i = 0; i < count; ++i)
        for (const VoxelNode *n = table[i]; n != nullptr; n = n->next)
            visit(*n);
}

} // namespace

void draw_voxels_points() {
    glPointSize(static_cast<float>(vorlix_state.isize));
    glBegin(GL_POINTS);
    for_each_voxel([](const VoxelNode &n) {
        glColor3f(n.r, n.g, n.b);
        glVertex3f(n.x, n.y, n.z);
    });
    glEnd();
}

void draw_voxels_cubes(float edge) {
    for_each_voxel(
        [edge](const VoxelNode &n) { draw_voxel_cube(n.x, n.y, n.z, edge, n.r, n.g, n.b); });
}

void draw_voxel_cube(float x, float y, float z, float edge, float r, float g, float b) {
    const float h = edge / 2;
    const float x0 = x - h, x1 = x + h;
    const float y0 = y - h, y1 = y + h;
    const float z0 = z - h, z1 = z + h;

    glEnable(GL_NORMALIZE);
    glBegin(GL_QUADS);

    glColor3f(r, g, b); // +Z
    glNormal3f(0.0f, 0.0f, 1.0f);
    glVertex3f(x0, y0, z1);
    glVertex3f(x1, y0, z1);
    glVertex3f(x1, y1, z1);
    glVertex3f(x0, y1, z1);

    glColor3f(r, g, b); // -Z
    glNormal3f(0.0f, 0.0f, -1.0f);
    glVertex3f(x0, y0, z0);
    glVertex3f(x1, y0, z0);
    glVertex3f(x1, y1, z0);
    glVertex3f(x0, y1, z0);

    glColor3f(r, g, b); // +Y
    glNormal3f(0.0f, 1.0f, 0.0f);
    glVertex3f(x0, y1, z1);
    glVertex3f(x1, y1, z1);
    glVertex3f(x1, y1, z0);
    glVertex3f(x0, y1, z0);

    glColor3f(r, g, b); // -Y
    glNormal3f(0.0f, -1.0f, 0.0f);
    glVertex3f(x0, y0, z1);
    glVertex3f(x1, y0, z1);
    glVertex3f(x1, y0, z0);
    glVertex3f(x0, y0, z0);

    glColor3f(r, g, b); // +X
    glNormal3f(1.0f, 0.0f, 0.0f);
    glVertex3f(x1, y0, z1);
    glVertex3f(x1, y0, z0);
    glVertex3f(x1, y1, z0);
    glVertex3f(x1, y1, z1);

    glColor3f(r, g, b); // -X
    glNormal3f(-1.0f, 0.0f, 0.0f);
    glVertex3f(x0, y0, z1);
    glVertex3f(x0, y0, z0);
    glVertex3f(x0, y1, z0);
    glVertex3f(x0, y1, z1);

    glEnd();
}
