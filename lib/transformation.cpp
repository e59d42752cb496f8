#include <cmath>

#include "internal.h"

void init_transformation() {
    RendererState &s = vorlix_state;
    init_lighting();
    s.model_matrix = Matrix4();
    s.delta_rotation = 0.0f;
    s.angle_y = 0.0f;
    s.angle_x = 0.0f;
    s.angle_z = 0.0f;
    s.delta_translation = 0.0f;
    s.trans_x = 0.0f;
    s.trans_y = 0.0f;
    s.trans_z = 0.0f;
    // The four transformation matrices are left as they are on purpose: each
    // is rebuilt only by its own operation.
}

namespace {

// Advances an angle by the standing step and writes cos, -sin, sin, cos into
// the four given elements of its matrix, in that order. Angles are never
// wrapped; sin and cos see the unrounded double radian value.
void rotate(float &angle, Matrix4 &m, int cos1, int minus_sin, int plus_sin, int cos2) {
    angle = angle + vorlix_state.delta_rotation;
    const double a = deg_to_rad(angle);
    const double c = std::cos(a);
    const double s = std::sin(a);
    m.elements[cos1] = static_cast<float>(c);
    m.elements[minus_sin] = static_cast<float>(-s);
    m.elements[plus_sin] = static_cast<float>(s);
    m.elements[cos2] = static_cast<float>(c);
}

// Consumes the pending step and copies the total into the matrix's offset.
void translate(float &total, float step, int element) {
    total = total + step;
    vorlix_state.delta_translation = 0.0f;
    vorlix_state.translation_matrix.elements[element] = total;
}

} // namespace

void rotation_x() {
    rotate(vorlix_state.angle_x, vorlix_state.rotation_x_matrix, 5, 6, 9, 10);
}

void rotation_y() {
    // -sin above the diagonal for Y too (element 2), +sin below (element 8).
    rotate(vorlix_state.angle_y, vorlix_state.rotation_y_matrix, 0, 2, 8, 10);
}

void rotation_z() {
    rotate(vorlix_state.angle_z, vorlix_state.rotation_z_matrix, 0, 1, 4, 5);
}

void translation_x() {
    translate(vorlix_state.trans_x, vorlix_state.delta_translation, 3);
}

void translation_y() {
    translate(vorlix_state.trans_y, vorlix_state.delta_translation, 7);
}

void translation_z() {
    // Z subtracts the step: a positive step moves the cloud away from the eye.
    translate(vorlix_state.trans_z, -vorlix_state.delta_translation, 11);
}

// T * Rz * Ry * Rx * T, rebuilt from the identity so nothing accumulates.
void compose_model_matrix() {
    RendererState &s = vorlix_state;
    s.model_matrix = Matrix4();
    s.model_matrix.multiply(s.translation_matrix);
    s.model_matrix.multiply(s.rotation_z_matrix);
    s.model_matrix.multiply(s.rotation_y_matrix);
    s.model_matrix.multiply(s.rotation_x_matrix);
    s.model_matrix.multiply(s.translation_matrix);
    s.model_matrix.divide_by_w();
}
