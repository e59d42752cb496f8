// The view vorlix-view's window shows, and what each input does to it.
// Nothing here calls OpenGL: apply() hands the settings to the library.
#ifndef VORLIX_VIEWER_VIEW_H
#define VORLIX_VIEWER_VIEW_H

#include "vorlix.h"

namespace vv {

constexpr float kDegreesPerPixel = 0.5f;
// Near enough that the bounding cube's front face (0.5 nearer than its
// centre, 1 across) spans 0.5 / (0.4 * (2.05 - 0.5)) = 81% of the window's
// height in the library's field of view (half-angle atan 0.4) at yaw and
// pitch 0: the box fills the frame, as a picture of it should. Turned, its
// corners may leave the frame; the gizmo sits at a fixed place of its own.
constexpr float kHomeDistance = 2.05f;
// --zoom's limits: the distances the wheel keeps to (0.3 .. 25).
constexpr float kMinZoom = 0.1f, kMaxZoom = 6.0f;

// How the voxels are drawn: the library's points, spheres (the library's
// points under vorlix-view's sphere program, output/style.h) or the
// library's cubes, lit.
enum class Style { Points, Spheres, Cubes };

struct View {
    // Moved: the view moved (zoom), so a redraw that may draw the subsample
    // until input pauses; Redraw: a settings change, drawn in full at once.
    enum class Action { None, Redraw, Moved, Save, Quit, NextColouring };

    float initial_yaw = 0, initial_pitch = 0;
    float yaw = 0, pitch = 0; // degrees
    // Eye to cloud centre. The library places the cloud 2.2 in front of the
    // eye plus the depth total, so zoom() gets 2.2 - distance.
    float distance = kHomeDistance;
    float home = kHomeDistance; // the first view's distance (--zoom)
    // The cloud's offset in the screen plane (right, up), in cube units.
    float pan[2] = {0, 0};
    int mode = SCREEN_MODE_POINTS; // the library's, from the style
    Style style = Style::Points;
    int isize = 2;
    // A sphere's radius in cube units; a cube's edge is its diameter.
    float radius = 0.005f;
    float fsize = 0.01f;
    bool bounding_cube = true;
    // The picture's width over its height. The library's field of view is
    // fixed in height, so a picture taller than wide is framed by its width:
    // the eye stands back until the box's front face (0.5 nearer than its
    // centre) spans as much of the width as it would of a square's side.
    float aspect = 1;

    View() = default;
    // zoom: 1 at kHomeDistance, 2 at half of it (twice the apparent size).
    View(float yaw0, float pitch0, float zoom = 1)
        : initial_yaw(yaw0), initial_pitch(pitch0), yaw(yaw0), pitch(pitch0),
          distance(kHomeDistance / zoom), home(kHomeDistance / zoom) {}

    // Esc quits, S saves, F asks for the next colouring; P/O/C points,
    // spheres, cubes, [ ] size of the style shown (pixels for points, the
    // radius by 1.25 for spheres and cubes), B the bounding cube, R reset ask
    // for a redraw; + = - _ zoom and say the view moved; other keys do
    // nothing.
    Action key(unsigned char key);
    // Left-drag by (dx, dy) pixels, y growing downwards as GLUT reports it.
    void drag(int dx, int dy);
    // Middle-drag or shift-drag by (dx, dy) pixels of a window `height`
    // pixels high: moves the cloud in the screen plane so that the point at
    // its centre follows the pointer.
    void pan_by(int dx, int dy, int height);
    // Wheel or +/-: positive steps come closer.
    void zoom_steps(int steps);
    void set_style(Style s);
    // The sphere radius in cube units (the cube edge twice that).
    void set_radius(float r);
    // Back to the first view's angles and distance, without pan.
    void reset();
    // For a picture of w by h pixels (the window's, or one saved).
    void frame(int w, int h) { aspect = w > 0 && h > 0 ? static_cast<float>(w) / h : 1; }
    // Eye to cloud centre as drawn: distance, or more in a tall picture.
    float eye_distance() const {
        return aspect < 1 && distance > 0.5f ? 0.5f + (distance - 0.5f) / aspect : distance;
    }
    float depth() const { return 2.2f - eye_distance(); }
    // The orientation for vorlix_render, column-major: turn by yaw about
    // the vertical axis, then by pitch about the screen's horizontal axis.
    void matrix(float out[16]) const;
    // Sends the settings to the library (no OpenGL call). The pan goes
    // through the library's translation totals, which move the cloud and
    // not the gizmo; they start at 0 (init_transformation) and only this
    // view moves them.
    void apply() const;

    // What output/style.cpp keeps between frames in the window's OpenGL
    // context: its program (0: none yet or none to be had) and what it has
    // said once.
    struct StyleCache {
        // The sphere and cube programs of the one context (the window's;
        // pictures are drawn into a framebuffer of it).
        unsigned int program = 0, cube_program = 0;
        bool tried = false, warned_size = false, warned_program = false;
        bool active = false; // between begin_style and end_style
    };
    mutable StyleCache style_cache;

  private:
    mutable float sent_pan[2] = {0, 0}; // what the library's totals hold
};

} // namespace vv

#endif
