// A number per point or per atom, kept beside the positions for colouring:
// shared by the point-cloud readers and the trajectory readers, so that one
// colouring serves both.
#ifndef VORLIX_VIEWER_FIELD_H
#define VORLIX_VIEWER_FIELD_H

#include <string>
#include <vector>

namespace vv {

// values[i] belongs to point (or atom) i; one without a value holds NaN.
struct Field {
    std::string name;
    std::vector<float> values;
};

} // namespace vv

#endif
