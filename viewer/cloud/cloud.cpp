#include "viewer/cloud/cloud.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace vv {

void Bounds::add(double x, double y, double z) {
    const double p[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) {
        if (empty || p[i] < lo[i])
            lo[i] = p[i];
        if (empty || p[i] > hi[i])
            hi[i] = p[i];
    }
    empty = false;
}

Normaliser::Normaliser(const Bounds &b) {
    // Everything is halved before it is added or subtracted, so that bounds
    // near the largest double cannot overflow to infinity.
    for (int i = 0; i < 3; ++i) {
        centre[i] = b.lo[i] / 2 + b.hi[i] / 2;
        half = std::max(half, b.hi[i] / 2 - b.lo[i] / 2);
    }
}

namespace {
// (v - c) / (2 * half), the longest side mapped to length 1. A single point
// (or many at one place) has no size to fit: it is only centred.
float fit(double v, double c, double half) {
    const double d = v / 2 - c / 2;
    // The clamp only absorbs rounding in the last bit at the extremes.
    return static_cast<float>(half > 0 ? std::clamp(d / half, -0.5, 0.5) : 0.0);
}
} // namespace

void Normaliser::apply(double x, double y, double z, VoxelNode &out) const {
    out.x = fit(x, centre[0], half);
    out.y = fit(y, centre[1], half);
    out.z = fit(z, centre[2], half);
}

void clear(Cloud &cloud) {
    cloud = Cloud();
}

namespace {
// A block of millions of nodes is touched first by the reader, one small
// page fault per 4 KiB; in huge pages that is 512 times fewer faults, a
// third of the load time of 10^7 points on our 2-core test machine. Only a
// hint: the kernel may refuse, and the memory is the same either way.
void ask_for_huge_pages(void *block, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHuge - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
}
} // namespace

bool allocate(Cloud &cloud, std::size_t capacity) {
    clear(cloud);
    if (capacity == 0)
        return true;
    // Left uninitialised on purpose: the readers write every node they use,
    // and touching 10^7 nodes twice would cost a second pass.
    VoxelNode *block = new (std::nothrow) VoxelNode[capacity];
    if (!block)
        return false;
    cloud.nodes.reset(block);
    cloud.capacity = capacity;
    ask_for_huge_pages(block, capacity * sizeof(VoxelNode));
    return true;
}

bool allocate_points(Cloud &cloud, std::size_t points, std::size_t skipped, const std::string &name,
                     const char *what, std::string &error, const std::vector<std::string> &fields) {
    if (points == 0) {
        error = name + ": no " + what;
        if (skipped > 0)
            error += " with finite coordinates (" + std::to_string(skipped) +
                     " skipped: NaN or infinite)";
        return false;
    }
    if (!allocate(cloud, points) || !add_fields(cloud, fields, points)) {
        clear(cloud);
        error = name + ": not enough memory for " + std::to_string(points) + " points";
        return false;
    }
    return true;
}

void height_colour(float t, float rgb[3]) {
    // blue, cyan, green, yellow, red from the bottom to the top
    static const float stops[5][3] = {{0, 0, 1}, {0, 1, 1}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    const float at = std::clamp(t == t ? t : 0.5f, 0.0f, 1.0f) * 4;
    const int k = std::min(static_cast<int>(at), 3);
    const float f = at - static_cast<float>(k);
    for (int c = 0; c < 3; ++c)
        rgb[c] = stops[k][c] + (stops[k + 1][c] - stops[k][c]) * f;
}

void colour_by_height(Cloud &cloud) {
    // The ramp spans the height of the voxels it colours, so that a flat
    // model still gets every colour from its lowest to its highest point.
    float lo = 0, hi = 0;
    bool any = false;
    for (std::size_t i = 0; i < cloud.count; ++i) {
        const VoxelNode &v = cloud.nodes[i];
        if (v.r != kNoColour) {
            cloud.file_colours = true;
            continue;
        }
        lo = any ? std::min(lo, v.y) : v.y;
        hi = any ? std::max(hi, v.y) : v.y;
        any = true;
    }
    for (std::size_t i = 0; i < cloud.count && any; ++i) {
        VoxelNode &v = cloud.nodes[i];
        if (v.r != kNoColour)
            continue;
        float rgb[3];
        height_colour(hi > lo ? (v.y - lo) / (hi - lo) : 0.5f, rgb);
        v.r = rgb[0];
        v.g = rgb[1];
        v.b = rgb[2];
    }
}

Field *add_field(Cloud &cloud, const std::string &name, std::size_t count) {
    try {
        Field f{name, {}};
        // Huge pages before the first touch, as for the block: a field of
        // 10^7 values costs a fifth of a LAS load in small-page faults.
        f.values.reserve(count);
        ask_for_huge_pages(f.values.data(), count * sizeof(float));
        f.values.resize(count, std::nanf(""));
        cloud.fields.push_back(std::move(f));
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    return &cloud.fields.back();
}

bool add_fields(Cloud &cloud, const std::vector<std::string> &names, std::size_t count) {
    for (const std::string &name : names)
        if (!add_field(cloud, name, count))
            return false;
    return true;
}

void link_lists(Cloud &cloud, std::size_t list_length) {
    list_length = std::max<std::size_t>(list_length, 1);
    cloud.lists.clear();
    cloud.lists.reserve((cloud.count + list_length - 1) / list_length);
    for (std::size_t first = 0; first < cloud.count; first += list_length) {
        const std::size_t last = std::min(first + list_length, cloud.count) - 1;
        for (std::size_t i = first; i < last; ++i)
            cloud.nodes[i].next = &cloud.nodes[i + 1];
        cloud.nodes[last].next = nullptr;
        cloud.lists.push_back(&cloud.nodes[first]);
    }
}

} // namespace vv
