#include "viewer/cloud/subsample.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace vv {

namespace {

// A well-mixed hash of the run number (splitmix64's finaliser): the place
// within each run, the same on every call so that a refresh finds the
// points the build took without keeping their indices.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15u;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
    return x ^ (x >> 31);
}

// Runs of count / budget points, the first count % budget of them one
// longer; runs cover the block once, so no point is taken twice. Node j of
// the subsample takes run (j * step) mod budget, step being the first number
// from budget / golden ratio up with no factor in common with budget: a
// permutation of the runs whose every prefix spreads evenly over the block,
// so that the table's leading lists are a coarser subsample of their own.
template <typename Copy> void for_each_sampled(std::size_t count, std::size_t budget, Copy copy) {
    const std::size_t q = count / budget, extra = count % budget;
    std::size_t step = static_cast<std::size_t>(static_cast<double>(budget) * 0.6180339887);
    while (std::gcd(step, budget) != 1)
        ++step;
    step %= budget;
    for (std::size_t j = 0, i = 0; j < budget; ++j) {
        const std::size_t first = i * q + std::min(i, extra);
        const std::size_t length = q + (i < extra ? 1 : 0);
        copy(j, first + static_cast<std::size_t>(mix(i) % length));
        i += step; // i + step < 2 * budget
        if (i >= budget)
            i -= budget;
    }
}

void copy_point(const VoxelNode &from, VoxelNode &to) {
    to.x = from.x;
    to.y = from.y;
    to.z = from.z;
    to.r = from.r;
    to.g = from.g;
    to.b = from.b;
}

} // namespace

bool build_subsample(const Cloud &full, std::size_t budget, Cloud &sample) {
    clear(sample);
    if (budget == 0 || full.count <= budget)
        return true;
    if (!allocate(sample, budget))
        return false;
    sample.count = budget;
    refresh_subsample(full, sample);
    link_lists(sample);
    return true;
}

void refresh_subsample(const Cloud &full, Cloud &sample) {
    if (sample.count == 0 || full.count <= sample.count)
        return;
    for_each_sampled(full.count, sample.count, [&](std::size_t i, std::size_t from) {
        copy_point(full.nodes[from], sample.nodes[i]);
    });
}

std::size_t leading_lists(const Cloud &sample, std::size_t points) {
    if (sample.lists.empty())
        return 0;
    return std::clamp<std::size_t>(points / kListLength, 1, sample.lists.size());
}

} // namespace vv
