#include "viewer/app/view.h"

#include <algorithm>
#include <cmath>

namespace vv {

View::Action View::key(unsigned char k) {
    switch (k) {
    case 27:
        return Action::Quit;
    case 's':
    case 'S':
        return Action::Save;
    case 'f':
    case 'F':
        return Action::NextColouring;
    case 'p':
    case 'P':
        set_style(Style::Points);
        break;
    case 'o':
    case 'O':
        set_style(Style::Spheres);
        break;
    case 'c':
    case 'C':
        set_style(Style::Cubes);
        break;
    case '[':
    case ']': {
        const bool up = k == ']';
        if (style == Style::Points) {
            isize = std::clamp(isize + (up ? 1 : -1), 1, 32);
        } else {
            // A radius --radius made larger or smaller than the keys' range
            // stays reachable from where it is.
            const float r = up ? radius * 1.25f : radius / 1.25f;
            set_radius(std::clamp(r, std::min(0.0005f, radius), std::max(0.125f, radius)));
        }
        break;
    }
    case 'b':
    case 'B':
        bounding_cube = !bounding_cube;
        break;
    case 'r':
    case 'R':
        reset();
        break;
    case '+':
    case '=':
        zoom_steps(1);
        return Action::Moved;
    case '-':
    case '_':
        zoom_steps(-1);
        return Action::Moved;
    default:
        return Action::None;
    }
    return Action::Redraw;
}

namespace {
// Keeps an angle in -180..180 so that long drags never lose precision.
float wrap(float degrees) {
    const float w = std::remainder(degrees, 360.0f);
    return w == 180.0f ? -180.0f : w;
}
} // namespace

void View::drag(int dx, int dy) {
    // Dragging right turns the front of the cloud to the right, dragging
    // down tips it towards the viewer's feet.
    yaw = wrap(yaw + static_cast<float>(dx) * kDegreesPerPixel);
    pitch = wrap(pitch + static_cast<float>(dy) * kDegreesPerPixel);
}

void View::pan_by(int dx, int dy, int height) {
    // The view spans 0.8 * distance from bottom to top at the cloud's depth
    // (near plane 0.1, half-height 0.04 there); y grows downwards in GLUT.
    const float per_pixel = 0.8f * eye_distance() / static_cast<float>(std::max(height, 1));
    pan[0] += static_cast<float>(dx) * per_pixel;
    pan[1] -= static_cast<float>(dy) * per_pixel;
}

void View::zoom_steps(int steps) {
    // Multiplicative, so each step feels the same near and far. The near
    // limit stays clear of the near plane (0.1); far keeps the cloud visible.
    distance = std::clamp(distance * std::pow(1.1f, static_cast<float>(-steps)), 0.3f, 25.0f);
}

void View::set_style(Style s) {
    style = s;
    mode = s == Style::Cubes ? SCREEN_MODE_CUBES : SCREEN_MODE_POINTS;
}

void View::set_radius(float r) {
    radius = r;
    fsize = 2 * r;
}

void View::reset() {
    yaw = initial_yaw;
    pitch = initial_pitch;
    distance = home;
    pan[0] = pan[1] = 0;
}

void View::matrix(float m[16]) const {
    const double a = yaw * M_PI / 180.0, b = pitch * M_PI / 180.0;
    const double cy = std::cos(a), sy = std::sin(a), cp = std::cos(b), sp = std::sin(b);
    // Rx(pitch) * Ry(yaw), written column by column (m[4 * column + row]).
    const double r[16] = {cy, sp * sy,  -cp * sy, 0, //
                          0,  cp,       sp,       0, //
                          sy, -sp * cy, cp * cy,  0, //
                          0,  0,        0,        1};
    for (int i = 0; i < 16; ++i)
        m[i] = static_cast<float>(r[i]);
}

void View::apply() const {
    set_screen_mode(mode);
    set_isize(isize);
    set_fsize(fsize);
    set_cube_englobant(bounding_cube ? 48 : 0);
    zoom(depth());
    // The library only adds steps to its totals: send the difference.
    void (*const translate[2])() = {translation_x, translation_y};
    for (int i = 0; i < 2; ++i)
        if (pan[i] != sent_pan[i]) {
            set_delta_translation(pan[i] - sent_pan[i]);
            translate[i]();
            sent_pan[i] = pan[i];
        }
}

} // namespace vv
