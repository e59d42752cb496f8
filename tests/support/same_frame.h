// Whether two trajectory frames hold the same atoms, naming the first
// difference: for readers checked against read_frame itself; and a whole
// trajectory read, for files of one run compared frame by frame.
#ifndef VORLIX_TEST_SAME_FRAME_H
#define VORLIX_TEST_SAME_FRAME_H

#include "viewer/trajectory/frame.h"
#include "viewer/trajectory/trajectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vt {

inline // Whether two frames hold the same atoms, naming the first difference.
    ::testing::AssertionResult
    same(const vv::Frame &got, const vv::Frame &want) {
    auto differ = [&](const char *what) {
        return ::testing::AssertionFailure()
               << what << " differ: got the frame at timestep " << got.timestep << " (" << got.atoms
               << " atoms), want timestep " << want.timestep << " (" << want.atoms << " atoms)";
    };
    if (got.timestep != want.timestep || got.declared != want.declared || got.atoms != want.atoms)
        return differ("headers");
    if (got.columns != want.columns || got.position_columns != want.position_columns)
        return differ("columns");
    if (got.id != want.id || got.type != want.type)
        return differ("ids or types");
    if (got.position != want.position)
        return differ("positions");
    if (got.fields.size() != want.fields.size())
        return differ("field counts");
    for (std::size_t i = 0; i < got.fields.size(); ++i)
        if (got.fields[i].name != want.fields[i].name ||
            got.fields[i].values != want.fields[i].values)
            return differ("fields");
    return ::testing::AssertionSuccess();
}

// A trajectory indexed and every frame read, failing the test on any
// refusal or warning.
struct Read {
    vv::FrameIndex index;
    std::vector<vv::Frame> frames;
};

inline Read read_all(const std::string &path) {
    Read r;
    std::string error;
    EXPECT_TRUE(vv::open_trajectory(path, r.index, error)) << error;
    EXPECT_EQ(r.index.warning, "");
    r.frames.resize(r.index.frames.size());
    for (std::size_t k = 0; k < r.frames.size(); ++k)
        EXPECT_TRUE(vv::read_frame(r.index, k, r.frames[k], error)) << error;
    return r;
}

} // namespace vt

#endif
