#include "library_calls.h"

namespace vt {

Calls bounding_cube_calls() {
    const float h = 0.5f;
    auto v = [](float x, float y, float z) { return xyz("glVertex3f", x, y, z); };
    // clang-format off
    return {
        "glBegin(mode = GL_LINES)",
        colour(h, -h, -h), v(-h, -h, -h), v(h, -h, -h),
        colour(-h, h, -h), v(-h, -h, -h), v(-h, h, -h),
        colour(-h, -h, h), v(-h, -h, -h), v(-h, -h, h),
        colour(h, h, h),   v(h, h, h),    v(h, h, -h),
                           v(h, h, h),    v(-h, h, h),
                           v(h, h, h),    v(h, -h, h),
                           v(h, -h, h),   v(h, -h, -h),
                           v(h, -h, h),   v(-h, -h, h),
                           v(-h, h, -h),  v(-h, h, h),
                           v(-h, h, -h),  v(h, h, -h),
                           v(-h, -h, h),  v(-h, h, h),
                           v(h, h, -h),   v(h, -h, -h),
        "glEnd()",
    };
    // clang-format on
}

Calls axes_calls(float sx, float sy, float sz) {
    auto v = [](float x, float y, float z) { return xyz("glVertex3f", x, y, z); };
    return {
        "glPushMatrix()",
        xyz("glScalef", sx, sy, sz),
        "glBegin(mode = GL_LINES)",
        colour(1, 0, 0),
        v(0.8f, 0.05f, 0), // the mark first, crossing at (0.9, 0.15)
        v(1, 0.25f, 0),
        v(0.8f, 0.25f, 0),
        v(1, 0.05f, 0),
        v(0, 0, 0), // then the X axis
        v(1, 0, 0),
        colour(0, 1, 0),
        v(0, 0, 0),
        v(0, 1, 0),
        colour(0, 0, 1),
        v(0, 0, 0),
        v(0, 0, 1),
        "glEnd()",
        "glPopMatrix()",
    };
}

Calls points_calls(const std::vector<Voxel> &voxels, float size) {
    Calls out{call("glPointSize", {{"size", size}}), "glBegin(mode = GL_POINTS)"};
    for (const Voxel &v : voxels) {
        out.push_back(colour(v.r, v.g, v.b));
        out.push_back(xyz("glVertex3f", v.x, v.y, v.z));
    }
    out.push_back("glEnd()");
    return out;
}

Calls voxel_cube_calls(const Voxel &v, float edge) {
    // Normal, then the sign of the half edge on each axis for corners 1 to 4.
    struct Face {
        float n[3];
        int corner[4][3];
    };
    static const Face faces[6] = {
        {{0, 0, 1}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}},
        {{0, 0, -1}, {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}}},
        {{0, 1, 0}, {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}},
        {{0, -1, 0}, {{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}}},
        {{1, 0, 0}, {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}}},
        {{-1, 0, 0}, {{-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}}},
    };
    const float h = edge / 2;
    auto at = [h](float c, int sign) { return sign > 0 ? c + h : c - h; };
    Calls out{"glEnable(cap = GL_NORMALIZE)", "glBegin(mode = GL_QUADS)"};
    for (const Face &f : faces) {
        out.push_back(colour(v.r, v.g, v.b));
        out.push_back(call("glNormal3f", {{"nx", f.n[0]}, {"ny", f.n[1]}, {"nz", f.n[2]}}));
        for (const auto &c : f.corner)
            out.push_back(xyz("glVertex3f", at(v.x, c[0]), at(v.y, c[1]), at(v.z, c[2])));
    }
    out.push_back("glEnd()");
    return out;
}

} // namespace vt
