#include "matrix.h"

void Matrix4::load(const float *values) {
    for (int i = 0; i < 16; ++i)
        elements[i] = values[i];
}

void Matrix4::multiply(const Matrix4 &other) {
    // Work into a temporary so that other may alias this.
    float result[16];
    const float *e = elements;
    const float *o = other.elements;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = static_cast<double>(e[4 * r]) * o[c];
            sum += static_cast<double>(e[4 * r + 1]) * o[4 + c];
            sum += static_cast<double>(e[4 * r + 2]) * o[8 + c];
            sum += static_cast<double>(e[4 * r + 3]) * o[12 + c];
            result[4 * r + c] = static_cast<float>(sum);
        }
    }
    load(result);
}

void Matrix4::divide_by_w() {
    // Element 15 is read afresh each time; being last, it divides itself last.
    for (int i = 0; i < 16; ++i)
        elements[i] = static_cast<float>(static_cast<double>(elements[i]) / elements[15]);
}

double deg_to_rad(float degrees) {
    constexpr double pi = 3.14159265358979323846;
    return static_cast<double>(degrees) * pi / 180.0;
}
