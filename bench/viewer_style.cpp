// The drawing styles side by side in one run, in a real freeglut window at
// the viewer's default size (640x640) and first view:
//   viewer_style_bench [--atoms N] [--frames F] [--rounds R]
//       an fcc crystal of about N atoms (default 32000) at the default
//       radius, drawn as points, spheres and cubes in turn, R rounds (default
//       5) of F frames each (default 30). Every style sees the same F views,
//       one whole turn about the vertical from the first view, so the atoms
//       come near-first in some and far-first in others, as a user turning
//       the crystal sees them. The table gives each style's median frames
//       per second, spheres against points, and the process's CPU time a
//       frame (all threads: llvmpipe's rasterisers included), which other
//       jobs on the machine disturb less than the wall clock.
//   viewer_style_bench --lod N
//       a random cloud of N points (e.g. 1000000) and its level-of-detail
//       subsample (the default budget), drawn as spheres while moving: the
//       subsample's frame time against the budget's 33 ms, and what the
//       default radius costs to measure on the whole cloud.
// Frames are timed from render_styled to the end of glFinish. Needs a display: bash
// .ci/with-display build/bench/viewer_style_bench
#include "glut_window.h"
#include "viewer/app/view.h"
#include "viewer/cloud/cloud.h"
#include "viewer/cloud/spacing.h"
#include "viewer/cloud/subsample.h"
#include "viewer/output/style.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void fcc(std::size_t atoms, vv::Cloud &c) {
    const int cells = std::max(1, static_cast<int>(std::lround(std::cbrt(atoms / 4.0))));
    const std::size_t n = 4u * cells * cells * cells;
    vv::allocate(c, n);
    c.count = n;
    const float basis[4][3] = {{0, 0, 0}, {.5f, .5f, 0}, {.5f, 0, .5f}, {0, .5f, .5f}};
    std::size_t k = 0;
    for (int i = 0; i < cells; ++i)
        for (int j = 0; j < cells; ++j)
            for (int l = 0; l < cells; ++l)
                for (const auto &b : basis) {
                    VoxelNode &v = c.nodes[k++];
                    v.x = (i + b[0]) / cells - 0.5f;
                    v.y = (j + b[1]) / cells - 0.5f;
                    v.z = (l + b[2]) / cells - 0.5f;
                    v.r = (i + j + l) % 2 ? 0.12f : 1.0f;
                    v.g = (i + j + l) % 2 ? 0.47f : 0.5f;
                    v.b = (i + j + l) % 2 ? 0.71f : 0.05f;
                }
    vv::link_lists(c);
}

void random_cloud(std::size_t n, vv::Cloud &c) {
    vv::allocate(c, n);
    c.count = n;
    unsigned state = 12345;
    auto unit = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
    };
    for (std::size_t i = 0; i < n; ++i) {
        VoxelNode &v = c.nodes[i];
        v.x = unit(), v.y = unit(), v.z = unit();
        v.r = v.x + 0.5f, v.g = 0.5f, v.b = 1 - v.r;
    }
    vv::link_lists(c);
}

struct Timing {
    double wall; // median seconds a frame
    double cpu;  // CPU seconds a frame, all threads
};

// `frames` frames of the cloud in `style`, turned by 360/frames degrees each.
Timing frame_time(vv::View &view, const vv::Cloud &c, vv::Style style, int frames) {
    view.set_style(style);
    view.apply();
    set_liste_voxels(c.lists.data(), static_cast<unsigned int>(c.lists.size()));
    std::vector<double> t;
    const std::clock_t cpu0 = std::clock();
    for (int f = 0; f < frames; ++f) {
        view.yaw = 360.0f * static_cast<float>(f) / static_cast<float>(frames);
        float m[16];
        view.matrix(m);
        const Clock::time_point t0 = Clock::now();
        vv::render_styled(view, m);
        glFinish();
        t.push_back(since(t0));
    }
    const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC / frames;
    std::nth_element(t.begin(), t.begin() + frames / 2, t.end());
    return {t[frames / 2], cpu};
}

} // namespace

int main(int argc, char **argv) {
    std::size_t atoms = 32000, lod = 0;
    int frames = 30, rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const long v = std::atol(argv[i + 1]);
        if (a == "--atoms")
            atoms = static_cast<std::size_t>(v);
        else if (a == "--frames")
            frames = static_cast<int>(v);
        else if (a == "--rounds")
            rounds = static_cast<int>(v);
        else if (a == "--lod")
            lod = static_cast<std::size_t>(v);
    }
    open_glut_window(argv[0], "viewer_style_bench", 640, 640);
    init_transformation();
    vorlix_reshape(640, 640);
    vv::View view;
    vv::Cloud cloud;
    if (lod > 0) {
        random_cloud(lod, cloud);
        const Clock::time_point t0 = Clock::now();
        const double s =
            vv::typical_spacing(cloud.lists.data(), static_cast<unsigned int>(cloud.lists.size()));
        std::printf("default radius on %zu points: %.1f ms (spacing %.5f cube units)\n", lod,
                    since(t0) * 1e3, s);
        view.set_radius(static_cast<float>(s / 2));
        vv::Cloud sample;
        vv::build_subsample(cloud, vv::kDefaultLodBudget, sample);
        std::printf("%-28s %10s\n", "frame while moving", "ms");
        // What the window registers while moving (app/moving.cpp): spheres
        // draw the subsample's leading third.
        vv::Cloud third;
        third.lists.assign(sample.lists.begin(),
                           sample.lists.begin() + static_cast<std::ptrdiff_t>(vv::leading_lists(
                                                      sample, sample.count / vv::kSphereCost)));
        for (int r = 0; r < rounds; ++r) {
            std::printf("points, subsample of %zu    %10.1f\n", sample.count,
                        frame_time(view, sample, vv::Style::Points, frames).wall * 1e3);
            std::printf("spheres, subsample of %zu   %10.1f\n", sample.count,
                        frame_time(view, sample, vv::Style::Spheres, frames).wall * 1e3);
            std::printf("spheres, its leading third  %10.1f\n",
                        frame_time(view, third, vv::Style::Spheres, frames).wall * 1e3);
        }
        return 0;
    }
    fcc(atoms, cloud);
    const double s =
        vv::typical_spacing(cloud.lists.data(), static_cast<unsigned int>(cloud.lists.size()));
    view.set_radius(static_cast<float>(s / 2));
    std::printf("fcc, %zu atoms, radius %.5f cube units, 640x640, median of %d frames\n",
                cloud.count, s / 2, frames);
    std::printf("%5s %28s %16s %26s\n", "", "frames per second", "", "CPU ms a frame");
    std::printf("%5s %8s %8s %8s %16s %8s %8s %8s\n", "round", "points", "spheres", "cubes",
                "spheres/points", "points", "spheres", "cubes");
    // Unreported: the first frames of each style build its program and
    // compile its shaders for llvmpipe.
    for (const vv::Style style : {vv::Style::Points, vv::Style::Spheres, vv::Style::Cubes})
        frame_time(view, cloud, style, 3);
    std::vector<double> ratio;
    for (int r = 0; r < rounds; ++r) {
        const Timing p = frame_time(view, cloud, vv::Style::Points, frames);
        const Timing sp = frame_time(view, cloud, vv::Style::Spheres, frames);
        const Timing c = frame_time(view, cloud, vv::Style::Cubes, frames);
        std::printf("%5d %8.1f %8.1f %8.1f %16.2f %8.1f %8.1f %8.1f\n", r + 1, 1 / p.wall,
                    1 / sp.wall, 1 / c.wall, p.wall / sp.wall, p.cpu * 1e3, sp.cpu * 1e3,
                    c.cpu * 1e3);
        ratio.push_back(p.wall / sp.wall);
    }
    std::sort(ratio.begin(), ratio.end());
    std::printf("median spheres/points: %.2f (target >= 0.7)\n", ratio[ratio.size() / 2]);
    return 0;
}
