#include "viewer/play/box_fit.h"

namespace vv {

void BoxFit::add(const Box &box) {
    // Edge vectors as LAMMPS defines them: a = (lx, 0, 0), b = (xy, ly, 0),
    // c = (xz, yz, lz); an orthogonal box has no tilts.
    const double lx = box.hi[0] - box.lo[0], ly = box.hi[1] - box.lo[1], lz = box.hi[2] - box.lo[2];
    const double xy = box.triclinic ? box.xy : 0, xz = box.triclinic ? box.xz : 0,
                 yz = box.triclinic ? box.yz : 0;
    for (int corner = 0; corner < 8; ++corner) {
        const double a = corner & 1, b = (corner >> 1) & 1, c = (corner >> 2) & 1;
        bounds.add(box.lo[0] + a * lx + b * xy + c * xz, box.lo[1] + b * ly + c * yz,
                   box.lo[2] + c * lz);
    }
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
