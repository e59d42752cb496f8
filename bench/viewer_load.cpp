// Load time and memory of vorlix-view's loader on generated binary PLY clouds.
//   viewer_load_bench [N...]        (default: 100000 1000000 10000000)
//   viewer_load_bench --write N PATH   only writes the cloud of N points (LAS
//                                      when PATH ends in .las, else PLY)
//   viewer_load_bench --measure PATH   only loads PATH and prints one row
// Each size is written to a temporary file and loaded in a fresh process (this
// program run again with --measure), so that every peak RSS is its own.
#include "viewer/formats/load.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// VmRSS or VmHWM of this process, in KiB.
long status_kib(const char *field) {
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':')
            value = std::strtol(line + n + 1, nullptr, 10);
    std::fclose(f);
    return value;
}

bool write_ply(const std::string &path, long n) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f,
                 "ply\nformat binary_little_endian 1.0\nelement vertex %ld\n"
                 "property float x\nproperty float y\nproperty float z\n"
                 "property uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n",
                 n);
    std::uint32_t state = 12345;
    auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
    std::vector<unsigned char> chunk;
    chunk.reserve(15 * 65536);
    for (long i = 0; i < n; ++i) {
        // A noisy terrain: x, y across, height from a few ripples.
        const float x = static_cast<float>(next() % 100000) / 100.0f;
        const float y = static_cast<float>(next() % 100000) / 100.0f;
        const float z = static_cast<float>(next() % 1000) / 100.0f + x * 0.01f;
        const unsigned char rgb[3] = {static_cast<unsigned char>(next()),
                                      static_cast<unsigned char>(next()), 128};
        const unsigned char *p[4] = {reinterpret_cast<const unsigned char *>(&x),
                                     reinterpret_cast<const unsigned char *>(&y),
                                     reinterpret_cast<const unsigned char *>(&z), rgb};
        for (int k = 0; k < 4; ++k)
            chunk.insert(chunk.end(), p[k], p[k] + (k < 3 ? 4 : 3));
        if (chunk.size() >= 15 * 65536) {
            std::fwrite(chunk.data(), 1, chunk.size(), f);
            chunk.clear();
        }
    }
    std::fwrite(chunk.data(), 1, chunk.size(), f);
    return std::fclose(f) == 0;
}

// The same kind of terrain as LAS 1.2, point format 2 (x y z int32 at 1 mm
// on a projected grid's offsets, 16-bit rgb), as lidar tools write it.
bool write_las(const std::string &path, long n) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    unsigned char header[227] = {'L', 'A', 'S', 'F'};
    const auto at = [&header](std::size_t offset, auto value) {
        std::memcpy(header + offset, &value, sizeof value);
    };
    header[24] = 1;
    header[25] = 2;
    at(94, std::uint16_t{227});
    at(96, std::uint32_t{227});
    header[104] = 2;
    at(105, std::uint16_t{26});
    at(107, static_cast<std::uint32_t>(n));
    const double scale[3] = {0.001, 0.001, 0.001}, offset[3] = {450000, 5200000, 100};
    for (int k = 0; k < 3; ++k) {
        at(131 + 8 * k, scale[k]);
        at(155 + 8 * k, offset[k]);
    }
    std::fwrite(header, 1, sizeof header, f);
    std::uint32_t state = 12345;
    auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
    std::vector<unsigned char> chunk;
    chunk.reserve(26 * 65536);
    for (long i = 0; i < n; ++i) {
        unsigned char record[26] = {};
        const std::int32_t x = static_cast<std::int32_t>(next() % 1000000),
                           y = static_cast<std::int32_t>(next() % 1000000),
                           z = static_cast<std::int32_t>(next() % 10000) + x / 100;
        const std::uint16_t intensity = static_cast<std::uint16_t>(next()),
                            rgb[3] = {static_cast<std::uint16_t>(next()),
                                      static_cast<std::uint16_t>(next()), 32768};
        std::memcpy(record, &x, 4);
        std::memcpy(record + 4, &y, 4);
        std::memcpy(record + 8, &z, 4);
        std::memcpy(record + 12, &intensity, 2);
        record[15] = static_cast<unsigned char>(2 + next() % 4); // ground, vegetation
        std::memcpy(record + 20, rgb, sizeof rgb);
        chunk.insert(chunk.end(), record, record + sizeof record);
        if (chunk.size() >= 26 * 65536) {
            std::fwrite(chunk.data(), 1, chunk.size(), f);
            chunk.clear();
        }
    }
    std::fwrite(chunk.data(), 1, chunk.size(), f);
    return std::fclose(f) == 0;
}

int measure(const char *path) {
    const long before = status_kib("VmRSS");
    vv::Cloud cloud;
    std::string error;
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = vv::load_cloud(path, cloud, error);
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!ok) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const long after = status_kib("VmRSS"), peak = status_kib("VmHWM");
    const double n = static_cast<double>(cloud.count);
    std::printf("%12zu %9.3f %14.1f %16.1f %14.1f\n", cloud.count, secs, peak / 1024.0,
                (after - before) / 1024.0, (after - before) * 1024.0 / n);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--measure") == 0)
        return measure(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--write") == 0) {
        const std::string path = argv[3];
        const long n = std::strtol(argv[2], nullptr, 10);
        const bool las = path.size() >= 4 && path.compare(path.size() - 4, 4, ".las") == 0;
        return (las ? write_las(path, n) : write_ply(path, n)) ? 0 : 1;
    }
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::strtol(argv[i], nullptr, 10));
    if (sizes.empty())
        sizes = {100000, 1000000, 10000000};

    char dir[] = "/tmp/viewer_load_bench.XXXXXX";
    if (!mkdtemp(dir)) {
        std::perror("mkdtemp");
        return 1;
    }
    std::printf("binary PLY (x y z float, rgb uchar), load = read + normalise + colour + link\n");
    std::printf("%12s %9s %14s %16s %14s\n", "points", "load (s)", "peak RSS (MiB)",
                "kept after (MiB)", "kept B/point");
    std::fflush(stdout);
    int status_all = 0;
    for (long n : sizes) {
        const std::string file = std::string(dir) + "/cloud.ply";
        if (n <= 0 || !write_ply(file, n)) {
            std::fprintf(stderr, "cannot write %ld points to %s\n", n, file.c_str());
            status_all = 1;
            break;
        }
        const pid_t child = fork();
        if (child == 0) {
            execl("/proc/self/exe", argv[0], "--measure", file.c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            status_all = 1;
        std::remove(file.c_str());
    }
    rmdir(dir);
    return status_all;
}
