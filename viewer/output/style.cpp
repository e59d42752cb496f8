// Spheres are the library's GL_POINTS drawn as point sprites under a small
// GLSL program: the vertex shader sizes each point from the radius and the
// projection (GL_VERTEX_PROGRAM_POINT_SIZE), which
// GL_POINT_DISTANCE_ATTENUATION only approximates by a quadratic in the
// distance, and the fragment shader shades the sprite as a ball lit from the
// upper left with a specular spot, discarding what lies outside its disc.
// GLSL 1.20 is there in every context we meet, Mesa's llvmpipe included;
// where it is not (or a program does not build) spheres fall back to round
// smoothed points sized at the cloud's centre, and cubes to OpenGL's own
// lighting, and we say so once.
//
// Chosen by measurement on llvmpipe (docs/performance.md, "Drawing styles"),
// where spheres cost what their fragments cost:
// - The program is used in the sphere and cube styles only, and each style
//   has its own: a shader that has to serve points, lines and faces alike
//   pays for every case at every fragment (llvmpipe runs both sides of a
//   branch), which made spheres cost half as much again.
// - The one program still sees the bounding cube's and the gizmo's lines.
//   With GL_COORD_REPLACE only points get their texture coordinates
//   replaced by the sprite's (s, t, 0, 1); the lines carry the current
//   coordinate, which we set to (0.5, 0.5, 1, 1) before the frame, so r
//   tells a line (1) from a sphere (0) with no derivatives and no branch: a
//   line is a sphere's centre that keeps its colour.
// - Shading worked out per fragment (a square root and a few multiply-adds,
//   the spot's power by squarings) costs less than reading it from a table
//   in a texture.
// - No gl_FragDepth: writing depth turns llvmpipe's early depth test off, so
//   every fragment of every sphere behind others is shaded, and even a
//   linear depth per fragment cost half as much again. Each sphere is drawn
//   at its centre's depth, so a near atom hides a far one whatever the row
//   order. Spheres that do not cut each other (the default radius is half
//   the nearest-neighbour distance, so neighbours touch) look the same
//   either way: along any line of sight two disjoint balls come in the order
//   of their centres. Only spheres enlarged with ] until they overlap show
//   the nearer one whole where a true surface would show the curve they
//   meet on.
//
// Cubes are lit by their own program, which tells faces (whose eye position
// spans a plane) from lines by the derivatives of the eye position and
// lights a face by that plane's normal; lines keep the library's colours.
// Fixed-function lighting cannot do it: the gizmo's lines come after the
// cubes and carry the last face's normal, so they would be lit too.
//
// The light is ours, not the library's light 0: that one has no diffuse part
// (only a blue ambient and a pinpoint specular glint at shininess 128), so
// lit by it alone every face of a cube would look the same dark colour.
#define GL_GLEXT_PROTOTYPES 1
#include "viewer/output/style.h"

#include <GL/freeglut.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vv {

namespace {

// Both programs light with one light, from the upper left and in front.
#define VV_LIGHT                                                                                   \
    "const vec3 light = vec3(-0.45, 0.55, 0.70) / length(vec3(-0.45, 0.55, 0.70));\n"              \
    "const vec3 halfway = (light + vec3(0.0, 0.0, 1.0)) / length(light + vec3(0.0, 0.0, 1.0));\n"

const char *const kSphereVertex = R"(#version 120
uniform float radius;      // cube units
uniform float half_height; // of the viewport, pixels
uniform float largest;     // the driver's largest point
void main() {
    vec4 e = gl_ModelViewMatrix * gl_Vertex;
    float r = radius * length(gl_ModelViewMatrix[0].xyz);
    float across = 2.0 * r * gl_ProjectionMatrix[1][1] * half_height / max(-e.z, 1e-6);
    gl_PointSize = clamp(across, 1.0, largest);
    gl_Position = gl_ProjectionMatrix * e;
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
)";

// gl_TexCoord[0]: the sprite's (s, t, 0, 1), t growing downwards, for a
// point; (0.5, 0.5, 1, 1) for a line, which keeps its colour.
const char *const kSphereFragment = "#version 120\n" VV_LIGHT R"(
void main() {
    vec2 p = gl_TexCoord[0].xy * 2.0 - 1.0;
    float q = dot(p, p);
    if (q > 1.0)
        discard;
    vec3 n = vec3(p.x, -p.y, sqrt(1.0 - q));
    float diffuse = max(dot(n, light), 0.0);
    float s = max(dot(n, halfway), 0.0);
    s *= s;
    s *= s;
    s *= s;
    float s8 = s;
    s *= s;
    s *= s;
    s *= s8; // the 40th power
    vec3 lit = gl_Color.rgb * (0.25 + 0.75 * diffuse) + vec3(0.35 * s);
    gl_FragColor = vec4(mix(lit, gl_Color.rgb, gl_TexCoord[0].z), 1.0);
}
)";

const char *const kCubeVertex = R"(#version 120
varying vec3 eye;
void main() {
    vec4 e = gl_ModelViewMatrix * gl_Vertex;
    eye = e.xyz;
    gl_Position = gl_ProjectionMatrix * e;
    gl_FrontColor = gl_Color;
}
)";

// A face's eye positions span a plane, a line's a direction only.
const char *const kCubeFragment = "#version 120\n" VV_LIGHT R"(
varying vec3 eye;
void main() {
    vec3 dx = dFdx(eye), dy = dFdy(eye);
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
#undef VV_LIGHT

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
GLuint build_program(const char *vertex, const char *fragment, std::string &why) {
    const char *version = reinterpret_cast<const char *>(glGetString(GL_SHADING_LANGUAGE_VERSION));
    if (version == nullptr || std::strtod(version, nullptr) < 1.2) {
        why = "no GLSL 1.20";
        return 0;
    }
    const GLuint v = compile(GL_VERTEX_SHADER, vertex, why);
    const GLuint f = v != 0 ? compile(GL_FRAGMENT_SHADER, fragment, why) : 0;
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
                 GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    if (view.style == Style::Points)
        return;
    View::StyleCache &cache = view.style_cache;
    if (!cache.tried) {
        cache.tried = true;
        std::string why;
        cache.program = build_program(kSphereVertex, kSphereFragment, why);
        if (cache.program != 0 && cache.cube_program == 0)
            cache.cube_program = build_program(kCubeVertex, kCubeFragment, why);
        if (cache.program != 0 && cache.cube_program == 0) {
            glDeleteProgram(cache.program);
            cache.program = 0;
        }
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
    if (view.style == Style::Spheres) {
        // The nearest an atom in the box can come: its centre less half the
        // cube's diagonal, and no nearer than the near plane.
        const double nearest = std::max(0.1, static_cast<double>(view.eye_distance()) - 0.87);
        const double across = sphere_pixels(view.radius, nearest, viewport[3]);
        if (across > largest && !cache.warned_size) {
            cache.warned_size = true;
            std::fprintf(stderr,
                         "vorlix-view: spheres up to %.0f pixels across, larger than this "
                         "OpenGL's largest point (%.0f): drawn at %.0f\n",
                         across, static_cast<double>(largest), static_cast<double>(largest));
        }
    }
    if (cache.program != 0 && view.style == Style::Cubes) {
        glUseProgram(cache.cube_program);
        return;
    }
    if (cache.program != 0) {
        glUseProgram(cache.program);
        glUniform1f(glGetUniformLocation(cache.program, "radius"), view.radius);
        glUniform1f(glGetUniformLocation(cache.program, "half_height"),
                    static_cast<float>(viewport[3]) / 2);
        glUniform1f(glGetUniformLocation(cache.program, "largest"), largest);
        glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
        glEnable(GL_POINT_SPRITE);
        glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);
        // What the lines (which no sprite replaces) carry: a sphere's centre
        // that keeps its colour (kSphereFragment).
        glMultiTexCoord4f(GL_TEXTURE0, 0.5f, 0.5f, 1.0f, 1.0f);
        return;
    }
    if (view.style == Style::Spheres) {
        // The library sets glPointSize from its isize: the size at the
        // cloud's centre, rounded by smoothing and an alpha cut.
        const double centre = sphere_pixels(view.radius, view.eye_distance(), viewport[3]);
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
