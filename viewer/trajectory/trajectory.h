// A trajectory of any kind vorlix-view plays: which reader reads it, its
// frame index, and one call to read a frame whatever the file's format, so
// that playback knows nothing of formats.
#ifndef VORLIX_VIEWER_TRAJECTORY_TRAJECTORY_H
#define VORLIX_VIEWER_TRAJECTORY_TRAJECTORY_H

#include "viewer/trajectory/dump.h"
#include "viewer/trajectory/xyz.h"

#include <cstddef>
#include <string>

namespace vv {

enum class TrajectoryFormat { LammpsDump, Xyz };

struct Trajectory {
    TrajectoryFormat format = TrajectoryFormat::LammpsDump;
    // Every complete frame's offset, timestep and atom count, and the
    // warning about a cut last frame, if any.
    DumpIndex index;
};

// Whether the file's first bytes (decompressed, for gzip; 16 KiB at most)
// are a trajectory's: a LAMMPS dump starts with an ITEM: line; a trajectory
// XYZ (plain or extended, xyz.h) has one non-negative integer alone on its
// first non-blank line and a third line that starts with a token that is not
// a number (an element symbol), where a point-cloud XYZ has three or six
// numbers on every line. False for point clouds and for files that cannot be
// read, which the loader then reports.
bool is_trajectory(const std::string &path);

// Tells the format by content and indexes the file (one scan). On failure
// returns false with error set to one line naming the file.
bool open_trajectory(const std::string &path, Trajectory &trajectory, std::string &error);

// Reads frame k (0-based) into frame, reusing its storage. On failure
// returns false with error naming the file, the frame and the line.
bool read_frame(const Trajectory &trajectory, std::size_t k, Frame &frame, std::string &error);

} // namespace vv

#endif
