// A frame's atoms keyed by their ids, for comparing frames of one run read
// from files that split or order its atoms differently (a file per rank
// holds the atoms its rank owned at that step, in its own order).
#ifndef VORLIX_TESTS_FRAME_ATOMS_H
#define VORLIX_TESTS_FRAME_ATOMS_H

#include "viewer/trajectory/frame.h"

#include <array>
#include <cstdint>
#include <map>
#include <utility>

namespace vt {

// id -> (type, x, y, z as read); empty for a frame without ids or types.
using AtomsById = std::map<std::int64_t, std::pair<std::int32_t, std::array<float, 3>>>;

inline AtomsById atoms_by_id(const vv::Frame &frame) {
    AtomsById atoms;
    if (frame.id.size() != frame.atoms || frame.type.size() != frame.atoms)
        return atoms;
    for (std::size_t i = 0; i < frame.atoms; ++i)
        atoms[frame.id[i]] = {
            frame.type[i],
            {frame.position[3 * i], frame.position[3 * i + 1], frame.position[3 * i + 2]}};
    return atoms;
}

} // namespace vt

#endif
