// vorlix-view's frame while the view moves: the full cloud against level-of-
// detail subsamples of a few budgets, drawn by vorlix_render in a real
// freeglut window at the viewer's default size (640x640, points of 2 px).
//   viewer_frame_bench [--points N] [--frames F] [--cubes] [BUDGET...]
//       default: 10^7 points, 15 frames a subsample (3 for the full cloud),
//       budgets 50000 100000 150000 200000 300000 500000; --cubes draws
//       cubes (the C key) instead of points
// Each frame turns the view by one degree, as a drag does, and is timed from
// vorlix_render to the end of glFinish, on the wall clock and in CPU time;
// the table gives medians. The row `none` (an empty table) is what a frame
// costs besides the points: clearing, overlays, the swap. Needs a
// display: bash .ci/with-display build/bench/viewer_frame_bench
#include "glut_window.h"
#include "viewer/cloud/cloud.h"
#include "viewer/cloud/subsample.h"
#include "viewer/app/view.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A noisy terrain filling the cube's floor and its height, coloured by
// height as a file without colours would be.
bool make_cloud(std::size_t n, vv::Cloud &cloud) {
    if (!vv::allocate(cloud, n))
        return false;
    cloud.count = n;
    std::uint32_t state = 12345;
    auto unit = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
    };
    for (std::size_t i = 0; i < n; ++i) {
        VoxelNode &v = cloud.nodes[i];
        v.x = unit();
        v.z = unit();
        v.y = 0.3f * unit() + 0.2f * v.x;
        v.r = vv::kNoColour;
    }
    vv::colour_by_height(cloud);
    vv::link_lists(cloud);
    return true;
}

// CPU time of the whole process (llvmpipe's threads included), in seconds:
// unlike the wall clock it does not grow while another job holds a core.
double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Timing {
    double wall = 0, cpu = 0; // medians, seconds
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Medians of `frames` frames of the registered table, each turned by one
// more degree.
Timing median_frame(vv::View &view, int frames) {
    std::vector<double> wall, cpu;
    for (int i = 0; i <= frames; ++i) { // the first one warms up
        view.drag(2, 0);
        float m[16];
        view.matrix(m);
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = cpu_seconds();
        vorlix_render(m);
        glFinish();
        if (i > 0) {
            wall.push_back(seconds_since(t0));
            cpu.push_back(cpu_seconds() - c0);
        }
        glutMainLoopEvent();
    }
    return {median(wall), median(cpu)};
}

void row(const char *table, std::size_t points, Timing t) {
    std::printf("%-12s %12zu %14.1f %10.1f %14.1f\n", table, points, t.wall * 1e3, 1.0 / t.wall,
                t.cpu * 1e3);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    std::size_t points = 10000000;
    int frames = 15;
    bool cubes = false;
    std::vector<std::size_t> budgets;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--points") == 0 && i + 1 < argc)
            points = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            frames = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--cubes") == 0)
            cubes = true;
        else
            budgets.push_back(std::strtoull(argv[i], nullptr, 10));
    }
    if (budgets.empty())
        budgets = {50000, 100000, 150000, 200000, 300000, 500000};

    vv::Cloud cloud;
    if (points == 0 || !make_cloud(points, cloud)) {
        std::fprintf(stderr, "viewer_frame_bench: cannot make a cloud of %zu points\n", points);
        return 1;
    }
    open_glut_window(argv[0], "viewer_frame_bench", 640, 640);
    glutDisplayFunc([] {});
    for (int i = 0; i < 10; ++i)
        glutMainLoopEvent();
    init_transformation();
    vorlix_reshape(640, 640);
    vv::View view(-35, 15);
    view.mode = cubes ? SCREEN_MODE_CUBES : SCREEN_MODE_POINTS;
    view.apply();

    std::printf("%zu points, 640x640 window, %s, median of %d frames (%d for all)\n", points,
                cubes ? "cubes of 0.01" : "points of 2 px", frames, std::min(frames, 3));
    std::printf("%-12s %12s %14s %10s %14s\n", "table", "points drawn", "frame (ms)", "fps",
                "CPU (ms)");
    set_liste_voxels(cloud.lists.data(), static_cast<unsigned int>(cloud.lists.size()));
    row("full", cloud.count, median_frame(view, std::min(frames, 3)));
    set_liste_voxels(nullptr, 0);
    row("none", 0, median_frame(view, frames));

    vv::Cloud sample;
    for (std::size_t budget : budgets) {
        auto t0 = std::chrono::steady_clock::now();
        if (!vv::build_subsample(cloud, budget, sample)) {
            std::fprintf(stderr, "viewer_frame_bench: no memory for a subsample of %zu\n", budget);
            return 1;
        }
        const double build = seconds_since(t0);
        t0 = std::chrono::steady_clock::now();
        vv::refresh_subsample(cloud, sample);
        const double refresh = seconds_since(t0);
        const vv::Cloud &drawn = sample.count > 0 ? sample : cloud;
        set_liste_voxels(drawn.lists.data(), static_cast<unsigned int>(drawn.lists.size()));
        char name[32];
        std::snprintf(name, sizeof name, "lod %zu", budget);
        row(name, drawn.count, median_frame(view, frames));
        std::printf("%-12s build %.1f ms, refresh %.1f ms\n", "", build * 1e3, refresh * 1e3);
    }
    set_liste_voxels(nullptr, 0);
    return 0;
}
