// 4x4 matrix kit of the library. Element index is 4*row + column and points
// are column vectors (p' = M p), so translations sit in elements 3, 7, 11:
// the transpose of OpenGL's storage order. Never handed to OpenGL.
#ifndef VORLIX_MATRIX_H
#define VORLIX_MATRIX_H

struct Matrix4 {
    float elements[16];

    // constexpr so that the state block's matrices are constant-initialised.
    constexpr Matrix4()
        : elements{1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                   0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f} {}

    void load(const float *values);
    // this = this * other; other may be *this.
    void multiply(const Matrix4 &other);
    void divide_by_w();
};

// Degrees to radians, kept in double so that sin/cos see the unrounded value.
double deg_to_rad(float degrees);

#endif
