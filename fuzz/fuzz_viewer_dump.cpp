// libFuzzer target for the trajectory readers (viewer/trajectory): every
// format of the table (the LAMMPS dump, XYZ, the LAMMPS binary dump) takes
// every input, and so do their sniffs. Any bytes must give either an index
// of frames in order inside the bytes, each frame then read or refused, or
// a one-line ASCII error naming the input; a read frame holds one finite
// position per kept atom and one value per atom in every column it has.
// vorlix_viewer_dump_replay runs the same checks over the saved seeds
// (fuzz/viewer_dump_corpus: dumps, XYZ files, and binary dumps that lmp
// wrote on two ranks) in every build.
#include "viewer/trajectory/trajectory.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const std::string kName = "fuzz.dump";

void check_message(const std::string &message) {
    if (message.rfind(kName + ": ", 0) != 0)
        std::abort();
    for (const char c : message)
        if (c < 0x20 || c >= 0x7f)
            std::abort();
}

void check_frame(const vv::Frame &f) {
    const std::size_t n = f.atoms;
    if (f.position.size() != 3 * n || n + f.skipped != f.declared)
        std::abort();
    for (const float v : f.position)
        if (!std::isfinite(v))
            std::abort();
    if ((!f.id.empty() && f.id.size() != n) || (!f.type.empty() && f.type.size() != n) ||
        (!f.element.empty() && f.element.size() != n))
        std::abort();
    for (const std::uint32_t e : f.element)
        if (e >= f.element_names.size())
            std::abort();
    for (const vv::Field &field : f.fields)
        if (field.values.size() != n)
            std::abort();
}

void run(const char *bytes, std::size_t size, const vv::TrajectoryFormat &format) {
    vv::FrameIndex index;
    std::string error;
    if (!vv::index_trajectory_bytes(bytes, size, kName, index, error, &format)) {
        check_message(error);
        if (!index.frames.empty())
            std::abort();
        return;
    }
    if (!index.warning.empty())
        check_message(index.warning);
    if (index.end > size)
        std::abort();
    for (std::size_t k = 0; k < index.frames.size(); ++k)
        if (k > 0 && index.frames[k].offset <= index.frames[k - 1].offset)
            std::abort();
    // One Frame for all, as playback reuses it.
    vv::Frame frame;
    for (std::size_t k = 0; k < index.frames.size(); ++k) {
        if (vv::read_frame_bytes(bytes, size, index, k, frame, error)) {
            check_frame(frame);
            if (frame.timestep != index.frames[k].timestep)
                std::abort();
        } else {
            check_message(error);
            if (frame.atoms != 0 || !frame.position.empty())
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const char *bytes = reinterpret_cast<const char *>(data);
    for (const vv::TrajectoryFormat &format : vv::trajectory_formats()) {
        run(bytes, size, format);
        format.sniff(bytes, size);
    }
    return 0;
}
