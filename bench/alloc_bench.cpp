// Heap allocations during frames: counts every malloc-family call in the
// process (driver threads included) while frames run, for library frames and
// bare frames of the same scene, and names who made each allocation from its
// call stack. libvorlix.so imports no allocation function, so whatever a
// library frame allocates comes from the driver; the bare frame shows the
// driver allocates the same for the same calls.
//
//   vorlix_bench_alloc [--frames F] [--out FILE]
#include "counting_malloc.h"
#include "scene.h"
#include "tamsil.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

constexpr int max_depth = 24;
constexpr int max_records = 1 << 16;
// Segments of the bare frame, and the glFinish after the last frame.
constexpr int seg_finish = bench::seg_count;
constexpr int segments = bench::seg_count + 1;

struct Record {
    void *frames[max_depth];
    int depth;
};

std::atomic<bool> armed{false};
std::atomic<int> segment{0};
// [0]: the thread that draws, [1]: the driver's worker threads.
std::atomic<long> count[2][segments];
std::atomic<long> bytes[2][segments];
std::atomic<long> largest{0};
std::atomic<int> recorded{0};
Record records[max_records];
thread_local bool inside = false; // backtrace may allocate: do not recurse
thread_local bool drawing_thread = false;

} // namespace

// Every allocation of the process comes here (support/counting_malloc.cpp).
void counted_allocation(size_t size) {
    if (!armed.load(std::memory_order_relaxed) || inside)
        return;
    inside = true;
    const int t = drawing_thread ? 0 : 1;
    const int seg = segment.load(std::memory_order_relaxed);
    count[t][seg].fetch_add(1, std::memory_order_relaxed);
    bytes[t][seg].fetch_add(static_cast<long>(size), std::memory_order_relaxed);
    long big = largest.load(std::memory_order_relaxed);
    while (static_cast<long>(size) > big &&
           !largest.compare_exchange_weak(big, static_cast<long>(size)))
        ;
    const int i = recorded.fetch_add(1, std::memory_order_relaxed);
    if (i < max_records)
        records[i].depth = backtrace(records[i].frames, max_depth);
    inside = false;
}

// ---- Attribution --------------------------------------------------------------

namespace {

std::string object_of(void *address) {
    Dl_info info;
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return "?";
    const char *slash = std::strrchr(info.dli_fname, '/');
    return slash != nullptr ? slash + 1 : info.dli_fname;
}

bool is_ours(const std::string &object) {
    return object.rfind("libvorlix", 0) == 0 || object.rfind("vorlix_bench", 0) == 0 ||
           object.rfind("libtamsil", 0) == 0;
}
bool is_runtime(const std::string &object) {
    return object.rfind("libc.so", 0) == 0 || object.rfind("libstdc++", 0) == 0;
}

struct Phase {
    long count[2][segments] = {};
    long bytes[2][segments] = {};
    long largest = 0;
    long examined = 0;                    // allocations whose call stack was kept
    long from_our_code = 0;               // allocation call made by our code itself
    long under_libvorlix = 0;             // libvorlix.so somewhere on the stack
    std::map<std::string, long> by_maker; // object that called the allocator

    long total(int t) const {
        long n = 0;
        for (int s = 0; s < segments; ++s)
            n += count[t][s];
        return n;
    }
    long total_bytes() const {
        long n = 0;
        for (int t = 0; t < 2; ++t)
            for (int s = 0; s < segments; ++s)
                n += bytes[t][s];
        return n;
    }
};

// Counts the allocations of one run; with finish, the driver's worker
// threads are waited for so that their allocations for these frames count.
template <typename Frames> Phase run(Frames frames, bool finish = true) {
    for (int t = 0; t < 2; ++t)
        for (int s = 0; s < segments; ++s)
            count[t][s] = bytes[t][s] = 0;
    largest = 0;
    recorded = 0;
    segment = 0;
    if (finish)
        glFinish();
    armed = true;
    frames();
    segment = seg_finish;
    if (finish)
        glFinish();
    armed = false;

    Phase p;
    for (int t = 0; t < 2; ++t)
        for (int s = 0; s < segments; ++s) {
            p.count[t][s] = count[t][s];
            p.bytes[t][s] = bytes[t][s];
        }
    p.largest = largest;
    p.examined = std::min<int>(recorded, max_records);
    for (int i = 0; i < p.examined; ++i) {
        const Record &r = records[i];
        bool maker_found = false;
        // Frame 0 is counted_allocation(), frame 1 the malloc replacement.
        for (int f = 2; f < r.depth; ++f) {
            const std::string object = object_of(r.frames[f]);
            if (!maker_found) {
                if (is_runtime(object))
                    continue;
                maker_found = true;
                p.from_our_code += is_ours(object);
                ++p.by_maker[object];
            }
            if (object.rfind("libvorlix", 0) == 0) {
                ++p.under_libvorlix;
                break;
            }
        }
    }
    return p;
}

FILE *out = stdout;

void mark(bench::Segment s) {
    segment.store(s, std::memory_order_relaxed);
}

void print(const char *what, int frames, const Phase &p) {
    const long all = p.total(0) + p.total(1);
    std::fprintf(out,
                 "  %-8s %8.2f per frame (drawing thread %.2f, driver threads %.2f), "
                 "%.0f bytes per frame, largest %ld\n",
                 what, double(all) / frames, double(p.total(0)) / frames,
                 double(p.total(1)) / frames, double(p.total_bytes()) / frames, p.largest);
    std::fprintf(out,
                 "           made by our code: %ld, with libvorlix.so on the stack: %ld (of %ld "
                 "stacks examined)\n",
                 p.from_our_code, p.under_libvorlix, p.examined);
    std::string makers;
    for (const auto &m : p.by_maker)
        makers += " " + m.first + " " + std::to_string(m.second) + ",";
    if (!makers.empty())
        makers.pop_back();
    std::fprintf(out, "           allocator called from:%s\n", makers.c_str());
}

// Where in the bare frame the drawing thread allocated.
void print_segments(int frames, const Phase &p) {
    for (int s = 0; s < segments; ++s) {
        if (p.count[0][s] == 0)
            continue;
        std::fprintf(out, "           %-30s %8.2f per frame, %10.0f bytes per frame\n",
                     s < bench::seg_count ? bench::segment_names[s] : "glFinish after the frames",
                     double(p.count[0][s]) / frames, double(p.bytes[0][s]) / frames);
    }
}

void compare(bench::Mode mode, unsigned n, int frames) {
    const bench::Scene scene = bench::make_scene(n);
    bench::use_scene(scene, mode);
    // Warm-up: the driver sizes its buffers on the first frames.
    for (int i = 0; i < 20; ++i) {
        bench::library_frame();
        bench::bare_frame(scene, mode);
    }
    const Phase lib = run([frames] {
        for (int i = 0; i < frames; ++i)
            bench::library_frame();
    });
    const Phase bare = run([&scene, mode, frames] {
        for (int i = 0; i < frames; ++i)
            bench::bare_frame(scene, mode, mark);
    });
    std::fprintf(out, "\n%s, N = %u, %d frames of each after 20 of each to warm up:\n",
                 bench::mode_name(mode), n, frames);
    print("library", frames, lib);
    print("bare", frames, bare);
    std::fprintf(out, "         bare frame, drawing thread, by part of the frame:\n");
    print_segments(frames, bare);
}

} // namespace

int main(int argc, char **argv) {
    int frames = 200;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            frames = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            out = std::fopen(argv[++i], "w");
            if (out == nullptr) {
                std::perror(argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: vorlix_bench_alloc [--frames F] [--out FILE]\n");
            return 2;
        }
    }
    void *warm[4];
    backtrace(warm, 4); // loads its unwinder now, not while counting

    bench::open_window();
    std::fprintf(out,
                 "Heap allocations (malloc, calloc, realloc, memalign, aligned_alloc, "
                 "posix_memalign, valloc, pvalloc, operator new) in every thread while frames "
                 "run.\n"
                 "renderer: %s\n",
                 reinterpret_cast<const char *>(glGetString(GL_RENDERER)));

    // The allocator must see allocations, or a zero below proves nothing.
    drawing_thread = true;
    const Phase probe = run(
        [] {
            void *volatile p = std::malloc(24);
            int *volatile q = new int[4];
            delete[] q;
            std::free(p);
        },
        false);
    const long seen = probe.total(0) + probe.total(1);
    std::fprintf(out, "counter check: %ld allocations seen for 2 made\n", seen);

    compare(bench::Mode::points, 200000, frames);
    compare(bench::Mode::cubes, 20000, frames / 4);
    compare(bench::Mode::points, 1000, frames);

    // The demo's frame: the particle step and the library frame.
    init_transformation();
    set_screen_mode(SCREEN_MODE_POINTS);
    set_isize(1);
    vorlix_init_particles();
    auto demo_frame = [] {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        vorlix_update_particles();
        vorlix_render(bench::identity_matrix);
    };
    for (int i = 0; i < 20; ++i)
        demo_frame();
    const Phase demo = run([&demo_frame, frames] {
        for (int i = 0; i < frames; ++i)
            demo_frame();
    });
    std::fprintf(out, "\ndemo frame (clear, identity, particle step, render), %d frames:\n",
                 frames);
    print("demo", frames, demo);
    if (out != stdout)
        std::fclose(out);
    return seen == 2 ? 0 : 1;
}
