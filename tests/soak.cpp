// The demo's loop, headless and counted: the same window, the same set-up
// and the same calls per frame as kelvora (clear, identity, one particle
// step, one frame through the identity matrix), run through GLUT's event
// loop for a given number of frames. Used for the soak and, with few frames,
// under valgrind.
//
// After the warm-up it samples, every 1000 frames, the resident set size and
// the bytes allocated and not freed. A leak, however small per frame, raises
// the allocated bytes to a new high in nearly every interval. Mesa's
// software driver instead grows its scene storage in a few steps, the first
// few times a frame needs more than any before, and then stays put. So the
// memory counts as flat when the allocated bytes set a new high in at most
// --max-new-highs intervals and the resident set grew by at most
// --max-growth-kib over the whole run.
//
// Usage: vorlix_soak [--frames N] [--warmup N] [--max-growth-kib N]
//                    [--max-new-highs N] [--trace] [--leak-bytes N]
//        (a negative limit only reports; --trace prints every sample;
//        --leak-bytes loses N bytes per frame on purpose)
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "glut_window.h"
#include "tamsil.h"
#include "vorlix.h"

namespace {

const float identity_matrix[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                                   0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

long frames_drawn = 0;

// --leak-bytes: loses this many bytes per frame on purpose, to show that the
// check catches a leak of that size.
long leak_bytes = 0;
void *volatile last_leaked = nullptr;

void soak_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    vorlix_update_particles();
    vorlix_render(identity_matrix);
    if (leak_bytes > 0)
        last_leaked = std::malloc(static_cast<size_t>(leak_bytes));
    ++frames_drawn;
}

// One turn of GLUT's main loop: pending events (a reshape, a redisplay),
// then the idle callback.
void run_until(long frames) {
    while (frames_drawn < frames) {
        glutMainLoopEvent();
        soak_frame();
    }
}

long resident_kib() {
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr)
        return -1;
    long size = 0, resident = -1;
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2)
        resident = -1;
    std::fclose(f);
    return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Allocated and not freed, in the heap and in blocks mapped on their own.
long allocated_bytes() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long>(m.uordblks + m.hblkhd);
}

struct Options {
    long frames = 100000;
    long warmup = 1000;
    long max_growth_kib = 4096;
    long max_new_highs = 4;
    bool trace = false;
};

bool parse(int argc, char **argv, Options &o) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trace") == 0) {
            o.trace = true;
            continue;
        }
        long *target = nullptr;
        if (std::strcmp(argv[i], "--frames") == 0)
            target = &o.frames;
        else if (std::strcmp(argv[i], "--warmup") == 0)
            target = &o.warmup;
        else if (std::strcmp(argv[i], "--max-growth-kib") == 0)
            target = &o.max_growth_kib;
        else if (std::strcmp(argv[i], "--max-new-highs") == 0)
            target = &o.max_new_highs;
        else if (std::strcmp(argv[i], "--leak-bytes") == 0)
            target = &leak_bytes;
        if (target == nullptr || i + 1 == argc)
            return false;
        char *end = nullptr;
        *target = std::strtol(argv[++i], &end, 10);
        if (*end != '\0')
            return false;
    }
    return o.frames > 0 && o.warmup >= 0 && o.warmup < o.frames;
}

} // namespace

int main(int argc, char **argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: %s [--frames N] [--warmup N<frames] [--max-growth-kib N] "
                     "[--max-new-highs N] [--trace] [--leak-bytes N]\n",
                     argv[0]);
        return 2;
    }
    open_glut_window("vorlix-soak", "kelvora soak", 500, 500);
    init_transformation();
    set_screen_mode(SCREEN_MODE_POINTS);
    set_isize(1);
    vorlix_init_particles();
    glutDisplayFunc(soak_frame);
    glutReshapeFunc(vorlix_reshape);
    glutIdleFunc(soak_frame); // as the demo registers it; run_until plays GLUT's loop

    const auto start = std::chrono::steady_clock::now();
    run_until(o.warmup);
    const long rss_start = resident_kib();
    const long allocated_start = allocated_bytes();
    long rss_peak = rss_start, allocated_high = allocated_start;
    long intervals = 0, new_highs = 0;
    for (long next = o.warmup; next < o.frames;) {
        next = next + 1000 < o.frames ? next + 1000 : o.frames;
        run_until(next);
        const long rss = resident_kib();
        const long allocated = allocated_bytes();
        ++intervals;
        if (allocated > allocated_high) {
            ++new_highs;
            allocated_high = allocated;
        }
        if (rss > rss_peak)
            rss_peak = rss;
        if (o.trace)
            std::printf("frame %ld: resident %ld KiB, allocated %ld bytes\n", frames_drawn, rss,
                        allocated);
    }
    const long rss_end = resident_kib();
    const long allocated_end = allocated_bytes();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("frames %ld (warm-up %ld) in %.1f s, %.0f frames/s\n", frames_drawn, o.warmup,
                seconds, static_cast<double>(frames_drawn) / seconds);
    std::printf("resident after warm-up %ld KiB, at end %ld KiB, peak %ld KiB\n", rss_start,
                rss_end, rss_peak);
    std::printf("allocated after warm-up %ld KiB, at end %ld KiB; new high in %ld of %ld "
                "intervals\n",
                allocated_start / 1024, allocated_end / 1024, new_highs, intervals);
    if (rss_start < 0 || rss_end < 0) {
        std::printf("FAIL: cannot read /proc/self/statm\n");
        return 1;
    }
    bool flat = true;
    if (o.max_growth_kib >= 0 && rss_peak - rss_start > o.max_growth_kib) {
        std::printf("FAIL: resident memory grew by more than %ld KiB\n", o.max_growth_kib);
        flat = false;
    }
    if (o.max_new_highs >= 0 && new_highs > o.max_new_highs) {
        std::printf("FAIL: allocated memory kept growing (new high in more than %ld intervals)\n",
                    o.max_new_highs);
        flat = false;
    }
    if (flat)
        std::printf("ok\n");
    return flat ? 0 : 1;
}
