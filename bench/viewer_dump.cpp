// Speed of the trajectory index and frame reader on a large LAMMPS dump.
//   viewer_dump_bench [--mb N] [PATH]
//   viewer_dump_bench --mb N --write PATH   only writes the dump
//   viewer_dump_bench --mb N --write-binary PATH   writes the same frames as
//                                           a LAMMPS binary dump (DUMPCUSTOM,
//                                           the doubles the text printed
//                                           with %g) (bench/trajectory_forms.sh)
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
// --measure takes any trajectory format (told by the file's first bytes,
// compressed or not).
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

template <typename T> void put(std::string &out, T v) {
    out.append(reinterpret_cast<const char *>(&v), sizeof v);
}

// The header of a frame of a binary "dump custom" (LAMMPS's layout, this
// machine's byte order), one chunk of `values` doubles to follow.
void binary_header(std::string &out, long step, long atoms, double edge, std::int32_t values) {
    const std::string magic = "DUMPCUSTOM", columns = "id type x y z";
    put<std::int64_t>(out, -static_cast<std::int64_t>(magic.size()));
    out += magic;
    put<std::int32_t>(out, 1); // byte order
    put<std::int32_t>(out, 2); // revision
    put<std::int64_t>(out, step);
    put<std::int64_t>(out, atoms);
    put<std::int32_t>(out, 0); // orthogonal
    for (int i = 0; i < 6; ++i)
        put<std::int32_t>(out, 0); // periodic
    for (int a = 0; a < 3; ++a) {
        put<double>(out, 0.0);
        put<double>(out, edge);
    }
    put<std::int32_t>(out, 5);
    put<std::int32_t>(out, 0); // no units
    out += '\0';               // no time
    put<std::int32_t>(out, static_cast<std::int32_t>(columns.size()));
    out += columns;
    put<std::int32_t>(out, 1); // one chunk
    put<std::int32_t>(out, values);
}

// The text dump of at least `bytes`, or (binary) the same frames as a
// binary dump: the frame count is the text's either way.
bool write_dump(const std::string &path, std::uint64_t bytes, bool binary = false) {
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
    std::string chunk, bin;
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
        bin.clear();
        binary_header(bin, step, atoms, edge, static_cast<std::int32_t>(5 * atoms));
        for (long i = 1; i <= atoms; ++i) {
            char row[128], *p = row;
            p = std::to_chars(p, p + 20, i).ptr;
            *p++ = ' ';
            *p++ = i % 3 ? '1' : '2';
            put<double>(bin, static_cast<double>(i));
            put<double>(bin, i % 3 ? 1.0 : 2.0);
            for (int a = 0; a < 3; ++a) {
                *p++ = ' ';
                char *const start = p;
                p = put_g(p, unit() * edge);
                double v = 0; // the value the text holds
                std::from_chars(start, p, v);
                put<double>(bin, v);
            }
            *p++ = '\n';
            chunk.append(row, p);
        }
        const std::string &out = binary ? bin : chunk;
        if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) {
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
                : vv::open_trajectory(path, index, error))) {
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
    bool write_only = false, binary = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mb") == 0 && i + 1 < argc)
            mb = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--measure") == 0 && i + 1 < argc)
            return measure(argv[i + 1]);
        else if ((std::strcmp(argv[i], "--write") == 0 ||
                  std::strcmp(argv[i], "--write-binary") == 0) &&
                 i + 1 < argc) {
            write_only = true;
            binary = std::strcmp(argv[i], "--write-binary") == 0;
            path = argv[++i];
        } else
            path = argv[i];
    }
    // The dump written, and how long it took; false (nothing left) on failure.
    const auto write = [&] {
        const auto t0 = std::chrono::steady_clock::now();
        if (!write_dump(path, mb << 20, binary)) {
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
