// Trajectories of every format vorlix-view plays, behind one set of calls:
// the format told by a file's first bytes, one scan into a frame index, and
// frame k read through the format that made the index, so that playback,
// tests, fuzzers and benchmarks know nothing of formats. The formats are
// rows of one table (trajectory.cpp); each is a file of its own (dump.h,
// binary_dump.h, xyz.h) giving its first-bytes test and its two steps
// (indexed.h).
//
// Messages are one line of plain ASCII, "NAME: frame K: line L: problem",
// where K counts frames from 1 and L counts lines from 1 at the frame's first
// line; problems with the file as a whole are "NAME: problem". Bytes from the
// file are shown escaped (viewer/io/text.h).
#ifndef VORLIX_VIEWER_TRAJECTORY_TRAJECTORY_H
#define VORLIX_VIEWER_TRAJECTORY_TRAJECTORY_H

#include "viewer/trajectory/frame.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vv {

namespace detail {
struct FormatSteps;
}

// A row of the format table.
struct TrajectoryFormat {
    const char *name; // "lammps-dump", "xyz"
    // Whether a file's first bytes (16 KiB at most, decompressed) are this
    // format's.
    bool (*sniff)(const char *data, std::size_t size);
    const detail::FormatSteps &steps;
};

// The table, in the order the sniffs are tried. The first row also takes
// the files no sniff claims, so that its messages say what they lack.
const std::vector<TrajectoryFormat> &trajectory_formats();

// The row named so, or null.
const TrajectoryFormat *trajectory_format(const std::string &name);

// Whether the file's first bytes (decompressed, for gzip and zstd) are a
// trajectory's by some row's sniff. False for point clouds and for files
// that cannot be read, which the loader then reports.
bool is_trajectory(const std::string &path);

// The row whose sniff claims the file's first bytes, or null.
const TrajectoryFormat *trajectory_format_of(const std::string &path);

// Scans the file once, front to back, in large blocks (gzip and zstd
// streams, known by their magic bytes whatever the name, through zlib and
// libzstd), as `format` or,
// when null, the format its first bytes tell, and fills the index. Atom rows
// are not parsed: the frame headers are, and rows are counted, so that a
// frame with fewer rows than its count is found. Only the last frame may be
// short: it is then dropped and named in index.warning (true is returned; a
// file whose first frame is already cut gives an empty index with the
// warning). What else each format refuses is in its header. On failure:
// false, index cleared (no format), error set to one line naming the file.
// The index memory is the 24 bytes a frame of FrameEntry.
bool open_trajectory(const std::string &path, FrameIndex &index, std::string &error,
                     const TrajectoryFormat *format = nullptr);

// Several files as one trajectory (sequence.h): the inputs as the command
// line gives them, files or patterns (`*` any characters, `%` a rank
// number, as LAMMPS's dump names spell them), into the files they name, in
// natural order, each once. False with "PATTERN: matches no file".
bool trajectory_files(const std::vector<std::string> &inputs, std::vector<std::string> &paths,
                      std::string &error);

// Opens the inputs as one trajectory: one file as open_trajectory does,
// several as a sequence ordered by timestep whose frames of the same step
// in different files are merged into one (see sequence.h). index.path is
// then the pattern given, or "FIRST ... (N files)". Messages about a file
// name it; on failure false, index cleared.
bool open_trajectories(const std::vector<std::string> &inputs, FrameIndex &index,
                       std::string &error);

// The same over bytes in memory (tests, fuzzers, benchmarks); NAME is used
// in messages and index.path.
bool index_trajectory_bytes(const char *data, std::size_t size, const std::string &name,
                            FrameIndex &index, std::string &error,
                            const TrajectoryFormat *format = nullptr);

// Reads frame k (0-based) of the indexed file into frame, reusing its
// storage, through the format that made the index. A compressed stream is read on
// from where the previous call on the same Frame stopped when frame k lies
// further on, and decompressed again from its start otherwise: playing
// forwards costs one pass, jumping back costs the way from the start (a
// sequence keeps a stream per file, in frame.part_cursors). On
// failure (a malformed frame; the file changed since it was indexed; an
// index no format made) returns false with error naming the file, the frame
// and the line; frame then holds no atoms.
bool read_frame(const FrameIndex &index, std::size_t k, Frame &frame, std::string &error);

// The same for an index made by index_trajectory_bytes over these bytes.
bool read_frame_bytes(const char *data, std::size_t size, const FrameIndex &index, std::size_t k,
                      Frame &frame, std::string &error);

} // namespace vv

#endif
