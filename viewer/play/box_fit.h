// Where a trajectory's atoms go in the cube -0.5..0.5: its simulation box,
// or the union of its frames' boxes, centred and scaled by one factor on
// every axis, the same for every frame, so that atoms move on screen only
// when they move in the box. A frame without a box (plain XYZ) stands in
// with its atoms' bounds.
#ifndef VORLIX_VIEWER_BOX_FIT_H
#define VORLIX_VIEWER_BOX_FIT_H

#include "viewer/cloud/cloud.h"
#include "viewer/trajectory/frame.h"

namespace vv {

struct BoxFit {
    Bounds bounds; // of every box added

    // Takes in the box's 8 corners: for a triclinic box, those of the
    // parallelepiped its tilts make, not of the dump's bounding box.
    void add(const Box &box);
    // The frame's box, or its atoms' bounds when it has no box (has_size).
    void add(const Frame &frame);
    // Bounds found elsewhere (a trajectory index's union of boxes).
    void add(const double lo[3], const double hi[3]);

    // Fixes the mapping from the bounds so far; apply() uses it.
    void finish();

    // Position x, y, z (3 floats) into the node. Unlike Normaliser::apply
    // there is no clamp: an atom outside the box (an unwrapped coordinate, a
    // shrink-wrapped boundary) is drawn where it is, beyond the cube.
    void apply(const float *xyz, VoxelNode &out) const;

    // Cube units per simulation length unit (0 for a box of no size).
    double scale() const { return scale_; }

  private:
    double centre_[3] = {0, 0, 0};
    double scale_ = 0; // 1 / longest side; 0 for a box of no size
};

} // namespace vv

#endif
