#include "viewer/trajectory/trajectory.h"

#include <zlib.h>

namespace vv {

namespace {

// The first bytes of the file, through zlib, which passes plain files
// through unchanged.
std::string start_of(const std::string &path, std::size_t n) {
    std::string bytes(n, '\0');
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f)
        return {};
    const int got = gzread(f, bytes.data(), static_cast<unsigned>(n));
    gzclose(f);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

} // namespace

namespace {

constexpr std::size_t kSniff = 16384;

bool is_dump(const std::string &start) {
    // Dumps start with their first frame's TIMESTEP, or with the UNITS or
    // TIME item that dump_modify puts before it.
    return start.compare(0, 6, "ITEM: ") == 0;
}

} // namespace

bool is_trajectory(const std::string &path) {
    const std::string start = start_of(path, kSniff);
    return is_dump(start) || looks_like_xyz_trajectory(start.data(), start.size());
}

bool open_trajectory(const std::string &path, Trajectory &trajectory, std::string &error) {
    trajectory = Trajectory();
    const std::string start = start_of(path, kSniff);
    if (!is_dump(start) && looks_like_xyz_trajectory(start.data(), start.size())) {
        trajectory.format = TrajectoryFormat::Xyz;
        return index_xyz(path, trajectory.index, error);
    }
    return index_dump(path, trajectory.index, error);
}

bool read_frame(const Trajectory &trajectory, std::size_t k, Frame &frame, std::string &error) {
    if (trajectory.format == TrajectoryFormat::Xyz)
        return read_xyz_frame(trajectory.index, k, frame, error);
    return read_frame(trajectory.index, k, frame, error);
}

} // namespace vv
