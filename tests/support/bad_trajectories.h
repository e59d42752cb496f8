// The tables of bad trajectory files that each trajectory reader's tests
// share: the bytes, where the reader must stop them, and what it must say.
#ifndef VORLIX_TESTS_BAD_TRAJECTORIES_H
#define VORLIX_TESTS_BAD_TRAJECTORIES_H

#include "lammps_run.h"
#include "viewer/trajectory/trajectory.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>

namespace vt {

// Where a bad file is stopped: its index scan refuses it (kIndex), or keeps
// the frames before a cut last one with a warning (kWarning); reading one
// frame refuses it (kRead) or reads it with atoms skipped (kReadOk); kChanged
// is a good file indexed, then these bytes written over it before the read.
enum Stage { kIndex, kWarning, kRead, kReadOk, kChanged };

struct BadTrajectory {
    std::string bytes;
    Stage stage;
    std::size_t frames, read; // frames indexed, the frame read (from 1)
    std::string message;      // after "PATH: "; for kChanged, its start
};

// The index scan's outcome for case c of the file at path: `frames` frames
// and no error but, for kWarning, the warning "PATH: message"; for kIndex,
// the error "PATH: message". Whether the case goes on to a read.
inline bool indexed_as_told(const BadTrajectory &c, const std::string &path, std::size_t frames,
                            const std::string &error, const std::string &warning) {
    EXPECT_EQ(frames, c.frames);
    if (c.stage == kIndex) {
        EXPECT_EQ(error, path + ": " + c.message);
        return false;
    }
    EXPECT_EQ(warning, c.stage == kWarning ? path + ": " + c.message : "");
    return true;
}

// Case c end to end on the file at path: written, indexed (indexed_as_told),
// then frame c.read read. A refused read says "PATH: message" on one line
// (for kChanged, begins so) and leaves no atoms; a frame that reads is handed
// to read_ok for the format's own checks. For kChanged, `good` is what is
// indexed before c.bytes go over it. Wrap calls in ASSERT_NO_FATAL_FAILURE.
inline void check_bad_trajectory(const BadTrajectory &c, const std::string &path,
                                 const std::string &good,
                                 const std::function<void(const vv::Frame &)> &read_ok) {
    spill(path, c.stage == kChanged ? good : c.bytes);
    vv::FrameIndex index;
    std::string error;
    ASSERT_EQ(vv::open_trajectory(path, index, error), c.stage != kIndex) << error;
    if (!indexed_as_told(c, path, index.frames.size(), error, index.warning))
        return;
    if (c.stage == kChanged)
        spill(path, c.bytes);
    vv::Frame frame;
    const bool read = vv::read_frame(index, c.read - 1, frame, error);
    const bool refused = c.stage == kRead || c.stage == kChanged;
    EXPECT_EQ(read, !refused) << error;
    if (!refused) {
        read_ok(frame);
        return;
    }
    const std::string told = path + ": " + c.message;
    EXPECT_EQ(c.stage == kChanged ? error.substr(0, told.size()) : error, told);
    EXPECT_EQ(frame.atoms, 0u);
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

} // namespace vt

#endif
