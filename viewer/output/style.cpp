// Spheres are the library's GL_POINTS under a small GLSL program rather than
// textured point sprites: the program writes each fragment's depth on the
// sphere's surface (gl_FragDepth), so spheres that overlap cut each other
// where they meet, as solid balls do, where sprites would stack as flat
// discs; and it sizes each point from the radius and the projection
// (GL_VERTEX_PROGRAM_POINT_SIZE), which GL_POINT_DISTANCE_ATTENUATION only
// approximates by a quadratic in the distance. GLSL 1.20 is there in every
// context we meet, Mesa's llvmpipe included; where it is not (or the program
// does not build) spheres fall back to round smoothed points sized at the
// cloud's centre, and cubes to fixed-function lighting, and we say so once.
//
// Points are shaded from a small table of the lit sphere (a texture looked
// up by gl_PointCoord, with the normal's z for the depth), which on
// llvmpipe costs less than working the shading out per fragment.
//
// The program sees every primitive of the library's frame: the points (or
// cubes) and the lines of the bounding cube and the gizmo. It tells them
// apart by the derivatives of the eye-space position, which the shader has
// anyway: constant over a point, changing along one direction only over a
// line, spanning a plane over a face. Points become shaded spheres, faces
// are lit by their own plane's normal (flat, as a cube's faces should be),
// lines keep the library's colours unlit, so the box and gizmo stay crisp.
//
// The light is ours, not the library's light 0: that one has no diffuse part
// (only a blue ambient and a pinpoint specular glint at shininess 128), so
// lit by it alone every face of a cube would look the same dark colour. A
// light from the upper left and in front, with a broad specular spot, is
// what makes spheres read as spheres.
#define GL_GLEXT_PROTOTYPES 1
#include "viewer/output/style.h"

#include <GL/freeglut.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace vv {

namespace {

const char *const kVertex = R"(#version 120
uniform float radius;      // cube units
uniform float half_height; // of the viewport, pixels
uniform float largest;     // the driver's largest point
varying vec3 eye;
varying float r_eye;
void main() {
    vec4 e = gl_ModelViewMatrix * gl_Vertex;
    eye = e.xyz;
    float r = radius * length(gl_ModelViewMatrix[0].xyz);
    float across = 2.0 * r * gl_ProjectionMatrix[1][1] * half_height / max(-e.z, 1e-6);
    float drawn = clamp(across, 1.0, largest);
    r_eye = r * drawn / across; // a clamped point is a smaller sphere
    gl_PointSize = drawn;
    gl_Position = gl_ProjectionMatrix * e;
    gl_FrontColor = gl_Color;
}
)";

// The sphere's shading depends only on where a fragment lies in its point:
// a table of it (kSphereTable texels a side) looked up by gl_PointCoord,
// cheaper than working it out per fragment on llvmpipe
// (docs/performance.md). r: the diffuse factor, g: the specular spot, b: the
// normal's z (for the depth), a: inside the disc.
const char *const kFragment = R"(#version 120
uniform sampler2D sphere;
varying vec3 eye;
varying float r_eye;
const vec3 light = vec3(-0.45, 0.55, 0.70) / length(vec3(-0.45, 0.55, 0.70));
const vec3 halfway = (light + vec3(0.0, 0.0, 1.0)) / length(light + vec3(0.0, 0.0, 1.0));
void main() {
    vec3 dx = dFdx(eye), dy = dFdy(eye);
    if (dx == vec3(0.0) && dy == vec3(0.0)) {
        vec4 t = texture2D(sphere, gl_PointCoord);
        if (t.a < 0.5)
            discard;
        // Perspective depth depends on z alone.
        float z = eye.z + r_eye * t.b;
        float ndc = (gl_ProjectionMatrix[2][2] * z + gl_ProjectionMatrix[3][2]) / -z;
        gl_FragDepth = 0.5 * (gl_DepthRange.diff * ndc + gl_DepthRange.near + gl_DepthRange.far);
        gl_FragColor = vec4(gl_Color.rgb * t.r + t.g, 1.0);
        return;
    }
    gl_FragDepth = gl_FragCoord.z;
    vec3 f = cross(dx, dy);
    if (length(f) > 1e-3 * length(dx) * length(dy)) {
        vec3 n = normalize(f);
        float diffuse = max(dot(n, light), 0.0);
        float spot = pow(max(dot(n, halfway), 0.0), 40.0);
        gl_FragColor = vec4(gl_Color.rgb * (0.25 + 0.75 * diffuse) + vec3(0.35 * spot), 1.0);
    } else {
        gl_FragColor = gl_Color;
    }
}
)";

constexpr int kSphereTable = 64;

// The table the fragment shader reads, as it would work it out: gl_PointCoord
// has t growing downwards, the eye looks down -z.
GLuint sphere_table() {
    std::vector<unsigned char> texels(4 * kSphereTable * kSphereTable);
    const double l[3] = {-0.45, 0.55, 0.70};
    const double ll = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
    double h[3] = {l[0] / ll, l[1] / ll, l[2] / ll + 1};
    const double hl = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    for (int row = 0; row < kSphereTable; ++row)
        for (int col = 0; col < kSphereTable; ++col) {
            const double x = (col + 0.5) / kSphereTable * 2 - 1;
            const double y = 1 - (row + 0.5) / kSphereTable * 2;
            const double q = x * x + y * y;
            unsigned char *t = &texels[4 * (row * kSphereTable + col)];
            // Just outside the disc, the rim's values: linear filtering at
            // the edge blends with them, not with black.
            const double s = q > 1 ? 1 / std::sqrt(q) : 1;
            const double nx = x * s, ny = y * s, nz = std::sqrt(std::max(0.0, 1 - q * s * s));
            const double diffuse = std::max(0.0, (nx * l[0] + ny * l[1] + nz * l[2]) / ll);
            const double spot =
                std::pow(std::max(0.0, (nx * h[0] + ny * h[1] + nz * h[2]) / hl), 40.0);
            t[0] = static_cast<unsigned char>(std::lround(255 * (0.25 + 0.75 * diffuse)));
            t[1] = static_cast<unsigned char>(std::lround(255 * 0.35 * spot));
            t[2] = static_cast<unsigned char>(std::lround(255 * nz));
            t[3] = q <= 1 ? 255 : 0;
        }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSphereTable, kSphereTable, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, texels.data());
    return name;
}

GLuint compile(GLenum kind, const char *source, std::string &log) {
    const GLuint s = glCreateShader(kind);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char text[512] = "";
        glGetShaderInfoLog(s, sizeof text, nullptr, text);
        log = text;
        glDeleteShader(s);
        return 0;
    }
    return s;
}

// The program, or 0 with `why` set when this OpenGL cannot give one.
GLuint build_program(std::string &why) {
    const char *version = reinterpret_cast<const char *>(glGetString(GL_SHADING_LANGUAGE_VERSION));
    if (version == nullptr || std::strtod(version, nullptr) < 1.2) {
        why = "no GLSL 1.20";
        return 0;
    }
    const GLuint v = compile(GL_VERTEX_SHADER, kVertex, why);
    const GLuint f = v != 0 ? compile(GL_FRAGMENT_SHADER, kFragment, why) : 0;
    if (f == 0) {
        if (v != 0)
            glDeleteShader(v);
        return 0;
    }
    const GLuint p = glCreateProgram();
    glAttachShader(p, v);
    glAttachShader(p, f);
    glLinkProgram(p);
    glDeleteShader(v);
    glDeleteShader(f);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char text[512] = "";
        glGetProgramInfoLog(p, sizeof text, nullptr, text);
        why = text;
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

float largest_point() {
    GLfloat range[2] = {1, 1};
    glGetFloatv(GL_ALIASED_POINT_SIZE_RANGE, range);
    GLfloat smooth[2] = {1, 1};
    glGetFloatv(GL_POINT_SIZE_RANGE, smooth);
    return std::max(1.0f, std::min(range[1], smooth[1]));
}

} // namespace

double sphere_pixels(double radius, double depth, int height) {
    return radius * height / (0.4 * std::max(depth, 1e-6));
}

void begin_style(const View &view) {
    end_style(view);
    view.style_cache.active = true;
    glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT |
                 GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    if (view.style == Style::Points)
        return;
    View::StyleCache &cache = view.style_cache;
    if (!cache.tried) {
        cache.tried = true;
        std::string why;
        cache.program = build_program(why);
        if (cache.program != 0)
            cache.texture = sphere_table();
        if (cache.program == 0 && !cache.warned_program) {
            cache.warned_program = true;
            std::fprintf(stderr,
                         "vorlix-view: no sphere program (%s): spheres drawn as round points, "
                         "cubes with OpenGL's own lighting\n",
                         why.c_str());
        }
    }
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float largest = largest_point();
    // The nearest an atom in the box can come: its centre less half the
    // cube's diagonal, and no nearer than the near plane.
    const double nearest = std::max(0.1, static_cast<double>(view.distance) - 0.87);
    const double across = sphere_pixels(view.radius, nearest, viewport[3]);
    if (view.style == Style::Spheres && across > largest && !cache.warned_size) {
        cache.warned_size = true;
        std::fprintf(stderr,
                     "vorlix-view: spheres up to %.0f pixels across, larger than this OpenGL's "
                     "largest point (%.0f): drawn at %.0f\n",
                     across, static_cast<double>(largest), static_cast<double>(largest));
    }
    if (cache.program != 0) {
        glUseProgram(cache.program);
        glUniform1f(glGetUniformLocation(cache.program, "radius"), view.radius);
        glUniform1f(glGetUniformLocation(cache.program, "half_height"),
                    static_cast<float>(viewport[3]) / 2);
        glUniform1f(glGetUniformLocation(cache.program, "largest"), largest);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, cache.texture);
        glUniform1i(glGetUniformLocation(cache.program, "sphere"), 0);
        glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
        glEnable(GL_POINT_SPRITE);
        return;
    }
    if (view.style == Style::Spheres) {
        // The library sets glPointSize from its isize: the size at the
        // cloud's centre, rounded by smoothing and an alpha cut.
        const double centre = sphere_pixels(view.radius, view.distance, viewport[3]);
        set_isize(static_cast<int>(std::clamp(std::lround(centre), 1L, std::lround(largest))));
        glEnable(GL_POINT_SMOOTH);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.5f);
    } else {
        glEnable(GL_LIGHTING);
        glEnable(GL_COLOR_MATERIAL);
        glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    }
}

void end_style(const View &view) {
    if (!view.style_cache.active)
        return;
    view.style_cache.active = false;
    glUseProgram(0);
    glPopAttrib();
}

void render_styled(const View &view, const float *matrix) {
    begin_style(view);
    vorlix_render(matrix);
    end_style(view);
}

} // namespace vv
