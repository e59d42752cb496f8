// Speed of the trajectory index and frame reader on a large LAMMPS dump.
//   viewer_dump_bench [--mb N] [PATH]
//   viewer_dump_bench --mb N --write PATH   only writes the dump
//   viewer_dump_bench --measure PATH        indexes PATH once, reads every
//                                           frame once, and prints one line
//                                           "index_s read_s frames atoms bytes
//                                           check" (check: the first atom's x
//                                           summed over the frames)
//                                           (bench/trajectory_peers.sh); a
//                                           PATH with * or % is a pattern
//                                           of files (bytes: their parts)
// Writes a dump of at least N MB (default 1100) in the text that "dump
// custom id type x y z" writes (LAMMPS's %g) to PATH when it does not exist
// yet, or to a temporary file removed at the end when no PATH is given; an
// existing PATH is measured as it is (for `cat PATH >/dev/null` as a floor).
// The index scan runs three times (the first also warms the page cache) and
// the best is reported; then every frame is read once.
#include "viewer/trajectory/trajectory.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

char *put_g(char *p, double v) {
    return std::to_chars(p, p + 32, v, std::chars_format::general, 6).ptr;
}

bool write_dump(const std::string &path, std::uint64_t bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const long atoms = 32000;
    const double edge = 33.5919;
    std::uint32_t state = 12345;
    auto unit = [&state] {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0;
    };
    std::string chunk;
    std::uint64_t written = 0;
    for (long step = 0; written < bytes; step += 100) {
        chunk.clear();
        char head[512];
        std::snprintf(head, sizeof head,
                      "ITEM: TIMESTEP\n%ld\nITEM: NUMBER OF ATOMS\n%ld\n"
                      "ITEM: BOX BOUNDS pp pp pp\n0.0000000000000000e+00 %.16e\n"
                      "0.0000000000000000e+00 %.16e\n0.0000000000000000e+00 %.16e\n"
                      "ITEM: ATOMS id type x y z\n",
                      step, atoms, edge, edge, edge);
        chunk += head;
        for (long i = 1; i <= atoms; ++i) {
            char row[128], *p = row;
            p = std::to_chars(p, p + 20, i).ptr;
            *p++ = ' ';
            *p++ = i % 3 ? '1' : '2';
            for (int a = 0; a < 3; ++a) {
                *p++ = ' ';
                p = put_g(p, unit() * edge);
            }
            *p++ = '\n';
            chunk.append(row, p);
        }
        if (std::fwrite(chunk.data(), 1, chunk.size(), f) != chunk.size()) {
            std::fclose(f);
            return false;
        }
        written += chunk.size();
    }
    return std::fclose(f) == 0;
}

// Every frame through read_frame; the atoms read, or -1 with the message
// printed.
long long read_all(const vv::FrameIndex &index, double &check) {
    vv::Frame frame;
    std::string error;
    long long atoms = 0;
    for (std::size_t k = 0; k < index.frames.size(); ++k) {
        if (!vv::read_frame(index, k, frame, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return -1;
        }
        atoms += static_cast<long long>(frame.atoms);
        if (frame.atoms)
            check += frame.position[0];
    }
    return atoms;
}

// One index scan and one read of every frame, timed apart, as one line for
// a script. The page cache is the caller's business (it reads the file
// before).
int measure(const std::string &path) {
    vv::FrameIndex index;
    std::string error;
    auto t0 = std::chrono::steady_clock::now();
    // A pattern (LAMMPS's * and %) is its files as one trajectory.
    const bool files = path.find_first_of("*%") != std::string::npos;
    if (!(files ? vv::open_trajectories({path}, index, error)
                : vv::open_trajectory(path, index, error, vv::trajectory_format("lammps-dump")))) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double index_s = seconds_since(t0);
    if (!index.warning.empty())
        std::fprintf(stderr, "%s\n", index.warning.c_str());
    double check = 0;
    t0 = std::chrono::steady_clock::now();
    const long long atoms = read_all(index, check);
    if (atoms < 0)
        return 1;
    const double read_s = seconds_since(t0);
    std::printf("%.6f %.6f %zu %lld %llu %.6f\n", index_s, read_s, index.frames.size(), atoms,
                static_cast<unsigned long long>(index.end), check);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::uint64_t mb = 1100;
    std::string path;
    bool write_only = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mb") == 0 && i + 1 < argc)
            mb = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--measure") == 0 && i + 1 < argc)
            return measure(argv[i + 1]);
        else if (std::strcmp(argv[i], "--write") == 0 && i + 1 < argc) {
            write_only = true;
            path = argv[++i];
        } else
            path = argv[i];
    }
    // The dump written, and how long it took; false (nothing left) on failure.
    const auto write = [&] {
        const auto t0 = std::chrono::steady_clock::now();
        if (!write_dump(path, mb << 20)) {
            std::fprintf(stderr, "%s: cannot write\n", path.c_str());
            unlink(path.c_str());
            return false;
        }
        std::printf("wrote %s in %.1f s\n", path.c_str(), seconds_since(t0));
        return true;
    };
    if (write_only)
        return write() ? 0 : 1;
    const bool temporary = path.empty();
    if (temporary) {
        char name[] = "/tmp/viewer_dump_benchXXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) {
            std::perror("mkstemp");
            return 1;
        }
        close(fd);
        path = name;
    }
    if ((temporary || access(path.c_str(), F_OK) != 0) && !write())
        return 1;

    vv::FrameIndex index;
    std::string error;
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!vv::open_trajectory(path, index, error, vv::trajectory_format("lammps-dump"))) {
            std::fprintf(stderr, "%s\n", error.c_str());
            if (temporary)
                unlink(path.c_str());
            return 1;
        }
        best = std::min(best, seconds_since(t0));
    }
    const double gb = index.end / 1e9;
    std::printf("index: %zu frames, %.3f GB in %.3f s: %.2f GB/s (best of 3)%s%s\n",
                index.frames.size(), gb, best, gb / best, index.warning.empty() ? "" : "; ",
                index.warning.c_str());

    double check = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const long long atoms = read_all(index, check);
    if (atoms < 0) {
        if (temporary)
            unlink(path.c_str());
        return 1;
    }
    const double t = seconds_since(t0);
    std::printf("read every frame: %llu atoms in %.3f s: %.2f GB/s, %.1f M atoms/s (check %g)\n",
                static_cast<unsigned long long>(atoms), t, gb / t, atoms / t / 1e6, check);
    if (temporary)
        unlink(path.c_str());
    return 0;
}
