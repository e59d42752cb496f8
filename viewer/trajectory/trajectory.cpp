#include "viewer/trajectory/trajectory.h"

#include "viewer/trajectory/binary_dump.h"
#include "viewer/trajectory/cfg.h"
#include "viewer/trajectory/data_file.h"
#include "viewer/trajectory/dump.h"
#include "viewer/trajectory/indexed.h"
#include "viewer/trajectory/sequence.h"
#include "viewer/trajectory/xyz.h"

#include <algorithm>

namespace vv {

namespace {

constexpr std::size_t kSniff = 16384;

// The first bytes of the file, decompressed by the byte layer when the
// file is compressed; empty when it cannot be read.
std::string start_of(const std::string &path) {
    io::Kind kind = io::Kind::Plain;
    std::string error;
    const std::unique_ptr<detail::Source> source = detail::open_source(path, kind, error);
    std::string bytes;
    if (!source || !io::read_start(*source, kSniff, bytes, error))
        return {};
    return bytes;
}

// The row whose sniff claims the bytes, or null.
const TrajectoryFormat *sniffed(const char *data, std::size_t size) {
    for (const TrajectoryFormat &format : trajectory_formats())
        if (format.sniff(data, size))
            return &format;
    return nullptr;
}

// The format asked for, else the first whose sniff claims the bytes, else
// the table's first row.
const TrajectoryFormat &chosen(const TrajectoryFormat *format, const char *data, std::size_t size) {
    if (!format)
        format = sniffed(data, size);
    return format ? *format : trajectory_formats().front();
}

// The index names its format only once the format has made it.
bool made_by(const TrajectoryFormat &format, bool made, FrameIndex &index) {
    index.format = made ? &format : nullptr;
    return made;
}

bool no_format(const FrameIndex &index, Frame &frame, std::string &error) {
    detail::clear_atoms(frame);
    error = index.path + ": the index was made by no trajectory format";
    return false;
}

} // namespace

const std::vector<TrajectoryFormat> &trajectory_formats() {
    static const std::vector<TrajectoryFormat> formats = {
        {"lammps-dump", detail::looks_like_dump, detail::kDumpSteps},
        {"xyz", detail::looks_like_xyz_trajectory, detail::kXyzSteps},
        {"cfg", detail::looks_like_cfg, detail::kCfgSteps},
        {"lammps-data", detail::looks_like_data_file, detail::kDataSteps},
        {"lammps-binary", detail::looks_like_binary_dump, detail::kBinaryDumpSteps},
    };
    return formats;
}

const TrajectoryFormat *trajectory_format(const std::string &name) {
    for (const TrajectoryFormat &format : trajectory_formats())
        if (name == format.name)
            return &format;
    return nullptr;
}

bool is_trajectory(const std::string &path) {
    return trajectory_format_of(path) != nullptr;
}

const TrajectoryFormat *trajectory_format_of(const std::string &path) {
    const std::string start = start_of(path);
    return sniffed(start.data(), start.size());
}

bool trajectory_files(const std::vector<std::string> &inputs, std::vector<std::string> &paths,
                      std::string &error) {
    return detail::expand_inputs(inputs, paths, error);
}

bool open_trajectories(const std::vector<std::string> &inputs, FrameIndex &index,
                       std::string &error) {
    std::vector<std::string> paths;
    if (!detail::expand_inputs(inputs, paths, error)) {
        index = FrameIndex();
        return false;
    }
    if (paths.size() == 1)
        return open_trajectory(paths.front(), index, error);
    return detail::index_sequence(paths, detail::sequence_name(inputs, paths), index, error);
}

bool open_trajectory(const std::string &path, FrameIndex &index, std::string &error,
                     const TrajectoryFormat *format) {
    const std::string start = format ? std::string() : start_of(path);
    const TrajectoryFormat &f = chosen(format, start.data(), start.size());
    return made_by(f, detail::index_path(f.steps, path, index, error), index);
}

bool index_trajectory_bytes(const char *data, std::size_t size, const std::string &name,
                            FrameIndex &index, std::string &error, const TrajectoryFormat *format) {
    const TrajectoryFormat &f = chosen(format, data, std::min(size, kSniff));
    return made_by(f, detail::index_memory(f.steps, data, size, name, index, error), index);
}

bool read_frame(const FrameIndex &index, std::size_t k, Frame &frame, std::string &error) {
    if (!index.format)
        return no_format(index, frame, error);
    if (index.sequence)
        return detail::read_sequence(index, k, frame, error);
    return detail::read_indexed(index.format->steps, index, k, frame, error);
}

bool read_frame_bytes(const char *data, std::size_t size, const FrameIndex &index, std::size_t k,
                      Frame &frame, std::string &error) {
    if (!index.format || index.sequence)
        return no_format(index, frame, error);
    return detail::read_indexed_bytes(index.format->steps, data, size, index, k, frame, error);
}

} // namespace vv
