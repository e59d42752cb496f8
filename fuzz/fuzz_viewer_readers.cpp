// libFuzzer target for vorlix-view's own readers: any bytes must give the
// XYZ reader either a cloud inside the unit cube with colours in 0..1 or an
// error naming the input, and the PLY/OFF row count check an answer (with a
// "truncated" message naming the input when it refuses) in bounded time.
#include "viewer/cloud.h"
#include "viewer/formats/row_counts.h"
#include "viewer/formats/xyz.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    {
        std::istringstream file(bytes);
        std::string error;
        if (!vv::check_row_counts(file, "fuzz.ply", error) &&
            error.rfind("fuzz.ply: truncated: the header declares ", 0) != 0)
            std::abort();
    }
    std::istringstream in(bytes);
    vv::Cloud cloud;
    std::string error;
    if (!vv::read_xyz(in, "fuzz.xyz", cloud, error)) {
        if (error.rfind("fuzz.xyz: ", 0) != 0 || cloud.count != 0)
            std::abort();
        return 0;
    }
    if (cloud.count == 0 || cloud.count != cloud.capacity)
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
    return 0;
}
