// The tables of bad trajectory files that each trajectory reader's tests
// share: the bytes, where the reader must stop them, and what it must say.
#ifndef VORLIX_TESTS_BAD_TRAJECTORIES_H
#define VORLIX_TESTS_BAD_TRAJECTORIES_H

#include <gtest/gtest.h>

#include <cstddef>
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

} // namespace vt

#endif
