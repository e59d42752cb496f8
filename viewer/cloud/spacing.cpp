#include "viewer/cloud/spacing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace vv {

namespace {

struct Point {
    float x, y, z;
};

// A uniform grid over the points' bounds with about two points per occupied
// cell of a uniform cloud, stored as one counting sort: cell c holds
// points[start[c] .. start[c + 1]).
struct Grid {
    float lo[3] = {0, 0, 0};
    float cell = 1;
    int dims[3] = {1, 1, 1};
    std::vector<std::uint32_t> start;
    std::vector<Point> points;

    int index(float v, int axis) const {
        const int i = static_cast<int>((v - lo[axis]) / cell);
        return std::clamp(i, 0, dims[axis] - 1);
    }
    std::size_t flat(int i, int j, int k) const {
        return (static_cast<std::size_t>(k) * static_cast<std::size_t>(dims[1]) +
                static_cast<std::size_t>(j)) *
                   static_cast<std::size_t>(dims[0]) +
               static_cast<std::size_t>(i);
    }
};

// Nearest point of the grid to p further than `same` away, searching shells
// of cells outwards until no closer point can lie beyond; infinity if none.
double nearest(const Grid &g, const Point &p, double same) {
    const int ci = g.index(p.x, 0), cj = g.index(p.y, 1), ck = g.index(p.z, 2);
    const int most = std::max({g.dims[0], g.dims[1], g.dims[2]});
    double best2 = std::numeric_limits<double>::infinity();
    const double same2 = same * same;
    for (int shell = 0; shell <= most; ++shell) {
        // Every point of a shell lies at least (shell - 1) cells away.
        const double reach = (shell - 1) * static_cast<double>(g.cell);
        if (shell > 1 && reach * reach > best2)
            break;
        for (int k = ck - shell; k <= ck + shell; ++k) {
            if (k < 0 || k >= g.dims[2])
                continue;
            for (int j = cj - shell; j <= cj + shell; ++j) {
                if (j < 0 || j >= g.dims[1])
                    continue;
                const bool face =
                    k == ck - shell || k == ck + shell || j == cj - shell || j == cj + shell;
                for (int i = ci - shell; i <= ci + shell; i += face ? 1 : 2 * shell) {
                    if (i >= 0 && i < g.dims[0]) {
                        const std::size_t c = g.flat(i, j, k);
                        for (std::uint32_t n = g.start[c]; n < g.start[c + 1]; ++n) {
                            const Point &q = g.points[n];
                            const double dx = q.x - p.x, dy = q.y - p.y, dz = q.z - p.z;
                            const double d2 = dx * dx + dy * dy + dz * dz;
                            if (d2 > same2 && d2 < best2)
                                best2 = d2;
                        }
                    }
                    if (shell == 0)
                        break;
                }
            }
        }
    }
    return std::sqrt(best2);
}

} // namespace

double typical_spacing(VoxelNode *const *lists, unsigned int count) {
    Grid g;
    float hi[3] = {0, 0, 0};
    bool any = false;
    for (unsigned int l = 0; l < count; ++l)
        for (const VoxelNode *n = lists[l]; n != nullptr; n = n->next) {
            const Point p{n->x, n->y, n->z};
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                continue;
            const float v[3] = {p.x, p.y, p.z};
            for (int a = 0; a < 3; ++a) {
                g.lo[a] = any ? std::min(g.lo[a], v[a]) : v[a];
                hi[a] = any ? std::max(hi[a], v[a]) : v[a];
            }
            any = true;
            g.points.push_back(p);
        }
    const std::size_t n = g.points.size();
    if (n < 2)
        return 0;
    double extent = 0;
    for (int a = 0; a < 3; ++a)
        extent = std::max(extent, static_cast<double>(hi[a]) - g.lo[a]);
    if (!(extent > 0))
        return 0;
    // Cells sized for ~2 points each were the points spread through the
    // bounds' volume; a flat or thin cloud just has more empty cells. At most
    // ~2 n cells however the bounds are shaped.
    double volume = 1;
    for (int a = 0; a < 3; ++a)
        volume *= std::max(static_cast<double>(hi[a]) - g.lo[a], extent * 1e-3);
    double cell = std::cbrt(2 * volume / static_cast<double>(n));
    const auto cells = [&](double c) {
        double total = 1;
        for (int a = 0; a < 3; ++a)
            total *= std::floor((static_cast<double>(hi[a]) - g.lo[a]) / c) + 1;
        return total;
    };
    while (cells(cell) > 2.0 * static_cast<double>(n) + 8)
        cell *= 1.25;
    g.cell = static_cast<float>(cell);
    for (int a = 0; a < 3; ++a)
        g.dims[a] = static_cast<int>((static_cast<double>(hi[a]) - g.lo[a]) / cell) + 1;
    const std::size_t total = g.flat(g.dims[0] - 1, g.dims[1] - 1, g.dims[2] - 1) + 1;
    // Counting sort of the points into their cells.
    std::vector<std::uint32_t> where(n);
    g.start.assign(total + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const Point &p = g.points[i];
        where[i] =
            static_cast<std::uint32_t>(g.flat(g.index(p.x, 0), g.index(p.y, 1), g.index(p.z, 2)));
        ++g.start[where[i] + 1];
    }
    for (std::size_t c = 0; c < total; ++c)
        g.start[c + 1] += g.start[c];
    std::vector<Point> sorted(n);
    std::vector<std::uint32_t> fill(g.start.begin(), g.start.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
        sorted[fill[where[i]]++] = g.points[i];
    // The sample: evenly strided through the original order.
    const std::size_t step = std::max<std::size_t>(1, n / kSpacingSample);
    std::vector<Point> queries;
    for (std::size_t i = 0; i < n; i += step)
        queries.push_back(g.points[i]);
    g.points.swap(sorted);
    std::vector<double> d;
    d.reserve(queries.size());
    const double same = extent * 1e-7;
    for (const Point &q : queries) {
        const double nn = nearest(g, q, same);
        if (std::isfinite(nn))
            d.push_back(nn);
    }
    if (d.empty())
        return 0;
    std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
    return d[d.size() / 2];
}

} // namespace vv
