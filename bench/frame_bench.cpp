// Cost of a frame: vorlix_render against the same frame written out by hand,
// measured alternately in one process, plus the particle step and the demo's
// frame rate. Prints a table and writes frame_cost.csv and summary.txt.
//
//   vorlix_bench [--out DIR] [--seconds S] [--points N,N,...] [--cubes N,N,...]
//                [--targets-at NP,NC]  sizes at which the ratio targets are
//                                      judged (default 200000 points, 20000 cubes)
//   vorlix_bench --quick              a few small sizes, one second each
//   vorlix_bench --pair MODE N        one library and one bare frame between
//                                     glPassThrough markers (for apitrace) and
//                                     a pixel comparison of the two frames
//   vorlix_bench --profile MODE N K   K library frames, then K bare frames,
//                                     after a warm-up (for callgrind)
//   vorlix_bench --profile-step K     K particle steps (for callgrind)
//
// Noise: llvmpipe draws with worker threads and the machine may be shared,
// so every figure is a median over many rounds, and the ratio is the median
// of per-round ratios whose two halves ran back to back in alternating order.
// Each sample is timed on the wall clock and on the CPU time of the whole
// process; the targets are judged on CPU time, which does not grow while the
// process waits for a core that another one holds.
#include "particles.h"
#include "scene.h"
#include "tamsil.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

using namespace bench;

namespace {

// Targets of the project, checked in the summary.
constexpr double ratio_target = 1.02;
unsigned ratio_points_at = 200000; // sizes the ratio target is judged at
unsigned ratio_cubes_at = 20000;
constexpr double slope_limit = 1.10; // per decade, above 1 is worse than linear
constexpr double step_target_ns = 5.0;
constexpr double fps_target = 60.0;

// A timed sample runs whole frames for at least this long, so the clock's
// resolution and one-off hiccups weigh little.
constexpr double min_sample_seconds = 0.02;
constexpr int min_rounds = 15;
constexpr int max_rounds = 400;

std::string summary;

void say(const char *format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fputs(line, stdout);
    std::fflush(stdout);
    summary += line;
}

double quantile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    const double pos = q * static_cast<double>(v.size() - 1);
    const size_t i = static_cast<size_t>(pos);
    const double frac = pos - static_cast<double>(i);
    return i + 1 < v.size() ? v[i] * (1 - frac) + v[i + 1] * frac : v[i];
}
double median(const std::vector<double> &v) {
    return quantile(v, 0.5);
}

// Seconds per frame on two clocks: the wall clock, and the CPU time of the
// whole process (the drawing thread and llvmpipe's worker threads). Time
// spent waiting for a core that another process holds shows on the first
// only, so on a shared machine the second is the steadier measure of work.
struct Cost {
    double wall, cpu;
};

struct Result {
    Mode mode;
    unsigned n;
    int rounds;
    int batch;
    Cost lib, bare; // medians
    // Medians and quartiles of the per-round ratios library/bare.
    double ratio_wall, ratio_cpu, cpu_q1, cpu_q3;
};

double cpu_now() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Runs frames of one kind for one timed sample; the pipeline is drained
// before both clocks start and before they stop.
template <typename Frame> Cost sample(Frame frame, int batch) {
    glFinish();
    const double w0 = now(), c0 = cpu_now();
    for (int i = 0; i < batch; ++i)
        frame();
    glFinish();
    const double c1 = cpu_now(), w1 = now();
    return {(w1 - w0) / batch, (c1 - c0) / batch};
}

Result measure(Mode mode, unsigned n, double seconds) {
    const Scene scene = make_scene(n);
    use_scene(scene, mode);
    auto lib = [] { library_frame(); };
    auto bare = [&scene, mode] { bare_frame(scene, mode); };

    // Warm-up: the driver compiles its shaders and sizes its buffers on the
    // first frames.
    sample(lib, 3);
    sample(bare, 3);
    const double estimate = std::min(sample(lib, 2).wall, sample(bare, 2).wall);
    const int batch = std::max(1, static_cast<int>(std::ceil(min_sample_seconds / estimate)));

    std::vector<double> lib_wall, lib_cpu, bare_wall, bare_cpu, ratio_wall, ratio_cpu;
    const double start = now();
    for (int r = 0; r < max_rounds && (r < min_rounds || now() - start < seconds); ++r) {
        Cost l, b;
        if (r % 2 == 0) {
            l = sample(lib, batch);
            b = sample(bare, batch);
        } else {
            b = sample(bare, batch);
            l = sample(lib, batch);
        }
        lib_wall.push_back(l.wall);
        lib_cpu.push_back(l.cpu);
        bare_wall.push_back(b.wall);
        bare_cpu.push_back(b.cpu);
        ratio_wall.push_back(l.wall / b.wall);
        ratio_cpu.push_back(l.cpu / b.cpu);
        glutMainLoopEvent();
    }
    Result r;
    r.mode = mode;
    r.n = n;
    r.rounds = static_cast<int>(ratio_cpu.size());
    r.batch = batch;
    r.lib = {median(lib_wall), median(lib_cpu)};
    r.bare = {median(bare_wall), median(bare_cpu)};
    r.ratio_wall = median(ratio_wall);
    r.ratio_cpu = median(ratio_cpu);
    r.cpu_q1 = quantile(ratio_cpu, 0.25);
    r.cpu_q3 = quantile(ratio_cpu, 0.75);
    return r;
}

std::vector<unsigned> parse_sizes(const char *text) {
    std::vector<unsigned> sizes;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        sizes.push_back(static_cast<unsigned>(std::stod(item)));
    return sizes;
}

std::string read_line(const char *path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string cpu_model() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown";
}

// Frame-cost table, linearity, and the ratio targets.
void report_frames(const std::vector<Result> &results, const std::string &out) {
    say("\n%-6s %8s %6s %5s | %9s %9s %7s | %9s %9s %9s %7s %13s\n", "mode", "N", "rounds", "batch",
        "lib ms", "bare ms", "ratio", "lib cpu", "bare cpu", "lib ns/v", "ratio", "ratio IQR");
    say("%-6s %8s %6s %5s | %-27s | %-51s\n", "", "", "", "", "wall clock",
        "CPU time of all threads (ms, ns per voxel)");
    for (const Result &r : results)
        say("%-6s %8u %6d %5d | %9.3f %9.3f %7.4f | %9.3f %9.3f %9.1f %7.4f %6.4f-%6.4f\n",
            mode_name(r.mode), r.n, r.rounds, r.batch, r.lib.wall * 1e3, r.bare.wall * 1e3,
            r.ratio_wall, r.lib.cpu * 1e3, r.bare.cpu * 1e3, r.lib.cpu / r.n * 1e9, r.ratio_cpu,
            r.cpu_q1, r.cpu_q3);

    if (!out.empty()) {
        std::ofstream csv(out + "/frame_cost.csv");
        csv << "mode,n,rounds,batch,lib_wall_ms,bare_wall_ms,ratio_wall,lib_cpu_ms,bare_cpu_ms,"
               "lib_cpu_ns_per_voxel,bare_cpu_ns_per_voxel,ratio_cpu,ratio_cpu_q1,ratio_cpu_q3\n";
        for (const Result &r : results) {
            char row[320];
            std::snprintf(
                row, sizeof row, "%s,%u,%d,%d,%.4f,%.4f,%.4f,%.4f,%.4f,%.3f,%.3f,%.4f,%.4f,%.4f\n",
                mode_name(r.mode), r.n, r.rounds, r.batch, r.lib.wall * 1e3, r.bare.wall * 1e3,
                r.ratio_wall, r.lib.cpu * 1e3, r.bare.cpu * 1e3, r.lib.cpu / r.n * 1e9,
                r.bare.cpu / r.n * 1e9, r.ratio_cpu, r.cpu_q1, r.cpu_q3);
            csv << row;
        }
    }

    // Linearity: log-log slope from each size to the next (1.00 is linear;
    // below 1 while the fixed cost of clearing and swapping still weighs),
    // and the cost of each voxel added over that step.
    say("\nlinearity of the library frame, CPU time (wall clock in brackets):\n"
        "slope of log time against log N, and the cost of each added voxel\n");
    bool linear = true, any = false;
    for (Mode mode : {Mode::points, Mode::cubes}) {
        const Result *prev = nullptr;
        for (const Result &r : results) {
            if (r.mode != mode)
                continue;
            if (prev != nullptr && r.n > prev->n) {
                const double decades = std::log10(double(r.n) / prev->n);
                const double slope = std::log10(r.lib.cpu / prev->lib.cpu) / decades;
                const double slope_wall = std::log10(r.lib.wall / prev->lib.wall) / decades;
                const double added = (r.lib.cpu - prev->lib.cpu) / (r.n - prev->n) * 1e9;
                const double added_wall = (r.lib.wall - prev->lib.wall) / (r.n - prev->n) * 1e9;
                say("  %-6s %7u -> %7u: slope %.3f (%.3f), added voxel %7.1f ns (%.1f ns)\n",
                    mode_name(mode), prev->n, r.n, slope, slope_wall, added, added_wall);
                linear = linear && slope <= slope_limit;
                any = true;
            }
            prev = &r;
        }
    }

    say("\ntargets (ratios: median of per-round CPU-time ratios):\n");
    for (const Result &r : results) {
        const bool at = (r.mode == Mode::points && r.n == ratio_points_at) ||
                        (r.mode == Mode::cubes && r.n == ratio_cubes_at);
        if (at)
            say("  ratio library/bare, %s at %u: %.4f, wall clock %.4f (target <= %.2f): %s\n",
                mode_name(r.mode), r.n, r.ratio_cpu, r.ratio_wall, ratio_target,
                r.ratio_cpu <= ratio_target ? "met" : "MISSED");
    }
    if (any)
        say("  cost linear in N (every slope of CPU time <= %.2f): %s\n", slope_limit,
            linear ? "met" : "MISSED");
}

// The particle step alone, then the demo's whole frame.
void report_tamsil(double seconds) {
    vorlix_init_particles();
    const unsigned count = tamsil::particle_count;
    auto step = [] { vorlix_update_particles(); };
    sample(step, 50);
    const int steps = std::max(1, static_cast<int>(min_sample_seconds / sample(step, 100).wall));
    std::vector<double> cpu, wall;
    const double start = now();
    while (cpu.size() < static_cast<size_t>(min_rounds) ||
           (now() - start < seconds && cpu.size() < static_cast<size_t>(max_rounds))) {
        const Cost c = sample(step, steps);
        cpu.push_back(c.cpu / count * 1e9);
        wall.push_back(c.wall / count * 1e9);
    }
    const double step_ns = median(cpu);

    // The demo's frame, call for call: clear, identity, step, render. Its
    // settings: points of one pixel, bounding cube on, the particles' table.
    init_transformation();
    set_screen_mode(SCREEN_MODE_POINTS);
    set_isize(1);
    vorlix_init_particles();
    vorlix_reshape(500, 500);
    auto demo_frame = [] {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        vorlix_update_particles();
        vorlix_render(identity_matrix);
    };
    constexpr int frames = 60;
    for (int i = 0; i < 30; ++i)
        demo_frame();
    std::vector<double> fps;
    const double demo_start = now();
    while (fps.size() < 5 || now() - demo_start < seconds) {
        fps.push_back(1.0 / sample(demo_frame, frames).wall);
        glutMainLoopEvent();
    }

    say("\nparticle step (tamsil, %u particles): %.2f ns per particle of CPU time, IQR %.2f-%.2f, "
        "wall clock %.2f (%zu samples of %d steps)\n",
        count, step_ns, quantile(cpu, 0.25), quantile(cpu, 0.75), median(wall), cpu.size(), steps);
    say("demo frame (clear, identity, step, render; 500x500): %.1f fps, IQR %.1f-%.1f "
        "(%zu samples of %d frames)\n",
        median(fps), quantile(fps, 0.25), quantile(fps, 0.75), fps.size(), frames);
    say("  particle step <= %.0f ns per particle: %s\n", step_target_ns,
        step_ns <= step_target_ns ? "met" : "MISSED");
    say("  demo >= %.0f fps at %u particles: %s\n", fps_target, count,
        median(fps) >= fps_target ? "met" : "MISSED");
}

// One library frame, then one bare frame, each between markers that
// apitrace records, and whether the two pictures are the same. Mesa's
// software GLX keeps no front buffer (it reads black); its swap copies the
// back buffer out and leaves it as it was, so the back buffer holds the
// frame just shown.
int pair(Mode mode, unsigned n) {
    const Scene scene = make_scene(n);
    use_scene(scene, mode);
    std::vector<unsigned char> lib(500 * 500 * 4), bare(500 * 500 * 4);
    glPassThrough(7357101.0f);
    library_frame();
    glPassThrough(7357102.0f);
    glFinish();
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, 500, 500, GL_RGBA, GL_UNSIGNED_BYTE, lib.data());
    glPassThrough(7357103.0f);
    bare_frame(scene, mode);
    glPassThrough(7357104.0f);
    glFinish();
    glReadPixels(0, 0, 500, 500, GL_RGBA, GL_UNSIGNED_BYTE, bare.data());
    long lit = 0, differ = 0;
    for (size_t i = 0; i < lib.size(); i += 4) {
        lit += (lib[i] | lib[i + 1] | lib[i + 2]) != 0;
        differ += std::memcmp(&lib[i], &bare[i], 3) != 0;
    }
    std::printf("pixels lit: %ld, pixels that differ: %ld\n", lit, differ);
    return lit > 0 && differ == 0 ? 0 : 1;
}

// Frames only, for counting instructions under callgrind: two of each kind
// to warm up (the driver compiles its shaders on first use), then k library
// frames and k bare frames, each run in a function of its own so that
// `--toggle-collect=*measured_*` counts only them.
__attribute__((noinline)) void measured_library_frames(int k) {
    for (int i = 0; i < k; ++i)
        library_frame();
    glFinish();
}
__attribute__((noinline)) void measured_bare_frames(const Scene &scene, Mode mode, int k) {
    for (int i = 0; i < k; ++i)
        bare_frame(scene, mode);
    glFinish();
}

int profile(Mode mode, unsigned n, int k) {
    const Scene scene = make_scene(n);
    use_scene(scene, mode);
    for (int i = 0; i < 2; ++i) {
        library_frame();
        bare_frame(scene, mode);
    }
    glFinish();
    measured_library_frames(k);
    measured_bare_frames(scene, mode, k);
    return 0;
}

__attribute__((noinline)) void measured_steps(int k) {
    for (int i = 0; i < k; ++i)
        vorlix_update_particles();
}

// "points" or "cubes" into mode; false for anything else.
bool mode_named(const std::string &name, Mode &mode) {
    if (name != "points" && name != "cubes")
        return false;
    mode = name == "points" ? Mode::points : Mode::cubes;
    return true;
}

int usage() {
    std::fprintf(stderr, "usage: vorlix_bench [--out DIR] [--seconds S] [--points N,...] "
                         "[--cubes N,...] [--targets-at NP,NC] [--quick]\n       vorlix_bench "
                         "--pair points|cubes N\n"
                         "       vorlix_bench --profile points|cubes N FRAMES\n"
                         "       vorlix_bench --profile-step STEPS\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    std::string out;
    double seconds = 30;
    std::vector<unsigned> points = {1000, 10000, 100000, 200000, 1000000};
    std::vector<unsigned> cubes = {1000, 10000, 20000, 100000};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--out" && has_value)
            out = argv[++i];
        else if (a == "--seconds" && has_value)
            seconds = std::atof(argv[++i]);
        else if (a == "--points" && has_value)
            points = parse_sizes(argv[++i]);
        else if (a == "--cubes" && has_value)
            cubes = parse_sizes(argv[++i]);
        else if (a == "--targets-at" && has_value) {
            const std::vector<unsigned> at = parse_sizes(argv[++i]);
            if (at.size() != 2)
                return usage();
            ratio_points_at = at[0];
            ratio_cubes_at = at[1];
        } else if (a == "--quick") {
            seconds = 1;
            points = {1000, 10000};
            cubes = {1000};
        } else if (a == "--pair" && i + 2 < argc) {
            Mode mode;
            if (!mode_named(argv[i + 1], mode))
                return usage();
            open_window();
            return pair(mode, static_cast<unsigned>(std::atoi(argv[i + 2])));
        } else if (a == "--profile-step" && has_value) {
            vorlix_init_particles();
            measured_steps(std::atoi(argv[++i]));
            std::printf("%u particles\n", tamsil::particle_count);
            return 0;
        } else if (a == "--profile" && i + 3 < argc) {
            Mode mode;
            if (!mode_named(argv[i + 1], mode))
                return usage();
            open_window();
            return profile(mode, static_cast<unsigned>(std::atoi(argv[i + 2])),
                           std::atoi(argv[i + 3]));
        } else
            return usage();
    }

    open_window();
    const char *threads = std::getenv("LP_NUM_THREADS");
    say("renderer: %s, OpenGL %s\n", reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
        reinterpret_cast<const char *>(glGetString(GL_VERSION)));
    say("machine: %s, %ld cores, LP_NUM_THREADS=%s, load average at start: %s\n",
        cpu_model().c_str(), sysconf(_SC_NPROCESSORS_ONLN), threads ? threads : "(unset)",
        read_line("/proc/loadavg").c_str());
    say("window 500x500, points of 1 pixel, cube edge 0.01, bounding cube and gizmo on, "
        "identity matrix; about %.0f s per size\n",
        seconds);

    // Progress on stderr; the table follows once every size is measured.
    std::vector<Result> results;
    for (Mode mode : {Mode::points, Mode::cubes})
        for (unsigned n : mode == Mode::points ? points : cubes) {
            results.push_back(measure(mode, n, seconds));
            const Result &r = results.back();
            std::fprintf(stderr, "%s %u: ratio %.4f (CPU), %.4f (wall)\n", mode_name(mode), n,
                         r.ratio_cpu, r.ratio_wall);
        }
    set_liste_voxels(nullptr, 0);
    report_frames(results, out);
    report_tamsil(seconds / 3);
    say("\nload average at end: %s\n", read_line("/proc/loadavg").c_str());

    if (!out.empty()) {
        std::ofstream(out + "/summary.txt") << summary;
    }
    return 0;
}
