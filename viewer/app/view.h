// The view vorlix-view's window shows, and what each input does to it.
// Nothing here calls OpenGL: apply() hands the settings to the library.
#ifndef VORLIX_VIEWER_VIEW_H
#define VORLIX_VIEWER_VIEW_H

#include "vorlix.h"

namespace vv {

constexpr float kDegreesPerPixel = 0.5f;
// Far enough that the whole bounding cube (corners 0.87 from its centre)
// stays inside the library's field of view (half-angle atan 0.4) at every
// orientation.
constexpr float kHomeDistance = 2.6f;

struct View {
    // Moved: the view moved (zoom), so a redraw that may draw the subsample
    // until input pauses; Redraw: a settings change, drawn in full at once.
    enum class Action { None, Redraw, Moved, Save, Quit, NextColouring };

    float initial_yaw = 0, initial_pitch = 0;
    float yaw = 0, pitch = 0; // degrees
    // Eye to cloud centre. The library places the cloud 2.2 in front of the
    // eye plus the depth total, so zoom() gets 2.2 - distance.
    float distance = kHomeDistance;
    // The cloud's offset in the screen plane (right, up), in cube units.
    float pan[2] = {0, 0};
    int mode = SCREEN_MODE_POINTS;
    int isize = 2;
    float fsize = 0.01f;
    bool bounding_cube = true;

    View() = default;
    View(float yaw0, float pitch0)
        : initial_yaw(yaw0), initial_pitch(pitch0), yaw(yaw0), pitch(pitch0) {}

    // Esc quits, S saves, F asks for the next colouring; P/C points/cubes, [ ] size of the mode
    // shown, B the bounding cube, R reset ask for a redraw; + = - _ zoom and
    // say the view moved; other keys do nothing.
    Action key(unsigned char key);
    // Left-drag by (dx, dy) pixels, y growing downwards as GLUT reports it.
    void drag(int dx, int dy);
    // Middle-drag or shift-drag by (dx, dy) pixels of a window `height`
    // pixels high: moves the cloud in the screen plane so that the point at
    // its centre follows the pointer.
    void pan_by(int dx, int dy, int height);
    // Wheel or +/-: positive steps come closer.
    void zoom_steps(int steps);
    // Back to the first view's angles and distance, without pan.
    void reset();
    float depth() const { return 2.2f - distance; }
    // The orientation for vorlix_render, column-major: turn by yaw about
    // the vertical axis, then by pitch about the screen's horizontal axis.
    void matrix(float out[16]) const;
    // Sends the settings to the library (no OpenGL call). The pan goes
    // through the library's translation totals, which move the cloud and
    // not the gizmo; they start at 0 (init_transformation) and only this
    // view moves them.
    void apply() const;

  private:
    mutable float sent_pan[2] = {0, 0}; // what the library's totals hold
};

} // namespace vv

#endif
