// libFuzzer target for vorlix-view's own readers: any bytes must give the
// XYZ, PLY, PCD and LAS readers either a cloud inside the unit cube with
// colours in 0..1 and a value per point in every field, or a one-line ASCII
// error naming the input, and the OFF row count check an answer (with a
// "truncated" message naming the input when it refuses) in bounded time.
#include "viewer/cloud/cloud.h"
#include "viewer/formats/las.h"
#include "viewer/formats/pcd.h"
#include "viewer/formats/ply.h"
#include "viewer/formats/row_counts.h"
#include "viewer/formats/xyz.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using ReadFn = bool (*)(vv::io::Source &, const std::string &, vv::Cloud &, std::string &);

void check_reader(ReadFn read, const std::string &bytes, const std::string &name) {
    const auto source = vv::io::memory_source(bytes.data(), bytes.size());
    vv::Cloud cloud;
    std::string error;
    if (!read(*source, name, cloud, error)) {
        if (error.rfind(name + ": ", 0) != 0 || cloud.count != 0 || !cloud.fields.empty())
            std::abort();
        for (const char c : error)
            if (c < 0x20 || c >= 0x7f)
                std::abort();
        return;
    }
    if (cloud.count == 0 || cloud.count != cloud.capacity)
        std::abort();
    // Each scalar field holds one value per node, whatever rows were skipped.
    for (const vv::Field &f : cloud.fields)
        if (f.values.size() != cloud.count)
            std::abort();
    vv::colour_by_height(cloud);
    vv::link_lists(cloud, 7);
    std::size_t seen = 0;
    for (VoxelNode *head : cloud.lists)
        for (const VoxelNode *v = head; v; v = v->next, ++seen) {
            const float c[6] = {v->x, v->y, v->z, v->r, v->g, v->b};
            for (int k = 0; k < 6; ++k) {
                const float lo = k < 3 ? -0.5f : 0.0f, hi = k < 3 ? 0.5f : 1.0f;
                if (!(c[k] >= lo && c[k] <= hi))
                    std::abort();
            }
        }
    if (seen != cloud.count)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    {
        const auto file = vv::io::memory_source(bytes.data(), bytes.size());
        std::string error;
        if (!vv::check_row_counts(*file, "fuzz.off", error) &&
            error.rfind("fuzz.off: truncated: the header declares ", 0) != 0)
            std::abort();
    }
    check_reader(vv::read_xyz, bytes, "fuzz.xyz");
    check_reader(vv::read_ply, bytes, "fuzz.ply");
    check_reader(vv::read_pcd, bytes, "fuzz.pcd");
    check_reader(vv::read_las, bytes, "fuzz.las");
    return 0;
}
