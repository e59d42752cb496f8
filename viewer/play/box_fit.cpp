#include "viewer/play/box_fit.h"

namespace vv {

void BoxFit::add(const Box &box) {
    double corner[8][3];
    box_corners(box, corner);
    for (const auto &c : corner)
        bounds.add(c[0], c[1], c[2]);
}

void BoxFit::add(const Frame &frame) {
    if (has_size(frame.box)) {
        add(frame.box);
        return;
    }
    const float *p = frame.position.data();
    for (std::size_t i = 0; i < frame.atoms; ++i, p += 3)
        bounds.add(p[0], p[1], p[2]);
}

void BoxFit::add(const double lo[3], const double hi[3]) {
    bounds.add(lo[0], lo[1], lo[2]);
    bounds.add(hi[0], hi[1], hi[2]);
}

void BoxFit::finish() {
    // The Normaliser's centre and size, which halve before they add, so
    // that huge boxes cannot overflow.
    const Normaliser n(bounds);
    for (int i = 0; i < 3; ++i)
        centre_[i] = n.centre[i];
    scale_ = n.half > 0 ? 0.5 / n.half : 0;
}

void BoxFit::apply(const float *xyz, VoxelNode &out) const {
    out.x = static_cast<float>((xyz[0] - centre_[0]) * scale_);
    out.y = static_cast<float>((xyz[1] - centre_[1]) * scale_);
    out.z = static_cast<float>((xyz[2] - centre_[2]) * scale_);
}

} // namespace vv
