#include "viewer/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vv {

const char *const kUsage =
    "usage: vorlix-view FILE [--screenshot OUT.png] [--size WxH] [--yaw DEG] [--pitch DEG]"
    " [--color-by NAME]"
    " [--lod N] [--frame K] [--range all|frame]"
    "  (left-drag orbit, middle- or shift-drag pan, wheel or +/- zoom, P/C points/cubes, [ ] size, "
    "B bounding cube,"
    " F next colouring (height, file colours, each field; trajectories: element, type, each "
    "column),"
    " R reset, S save PNG, Esc quit; trajectories: Space play/pause, Left/Right step,"
    " Home/End first/last frame, , and . slower/faster)";

namespace {

bool parse_float(const char *s, float &out) {
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || errno != 0 || !std::isfinite(v) || std::fabs(v) > 1e6)
        return false;
    out = static_cast<float>(v);
    return true;
}

bool parse_size(const char *s, int &w, int &h) {
    char *end = nullptr;
    const long a = std::strtol(s, &end, 10);
    if (end == s || (*end != 'x' && *end != 'X'))
        return false;
    const char *second = end + 1;
    const long b = std::strtol(second, &end, 10);
    if (end == second || *end != '\0' || a < 16 || b < 16 || a > 8192 || b > 8192)
        return false;
    w = static_cast<int>(a);
    h = static_cast<int>(b);
    return true;
}

// A whole number of points, 0 to 1e9, digits only.
bool parse_count(const char *s, std::size_t &out) {
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(s, &end, 10);
    if (*s < '0' || *s > '9' || *end != '\0' || errno != 0 || v > 1000000000ull)
        return false;
    out = static_cast<std::size_t>(v);
    return true;
}

} // namespace

std::optional<Options> parse_options(int argc, const char *const *argv, std::string &error) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            return o;
        } else if (arg == "--screenshot" || arg == "--size" || arg == "--yaw" || arg == "--pitch" ||
                   arg == "--color-by" || arg == "--lod" || arg == "--frame" || arg == "--range") {
            if (!has_value) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            const char *value = argv[++i];
            if (arg == "--screenshot") {
                o.screenshot = value;
                if (o.screenshot.empty()) {
                    error = "--screenshot needs a file name";
                    return std::nullopt;
                }
            } else if (arg == "--color-by") {
                o.colour_by = value;
            } else if (arg == "--size") {
                if (!parse_size(value, o.width, o.height)) {
                    error = std::string("--size '") + value +
                            "': expected WxH, each between 16 and 8192";
                    return std::nullopt;
                }
            } else if (arg == "--frame") {
                std::size_t k = 0;
                if (!parse_count(value, k)) {
                    error = std::string("--frame '") + value +
                            "': expected a frame number from 0 (the first)";
                    return std::nullopt;
                }
                o.frame = static_cast<long long>(k);
            } else if (arg == "--range") {
                const std::string v = value;
                if (v != "all" && v != "frame") {
                    error = "--range '" + v + "': expected all or frame";
                    return std::nullopt;
                }
                o.range_per_frame = v == "frame";
            } else if (arg == "--lod") {
                if (!parse_count(value, o.lod)) {
                    error = std::string("--lod '") + value +
                            "': expected a number of points from 0 (off) to 1000000000";
                    return std::nullopt;
                }
            } else if (!parse_float(value, arg == "--yaw" ? o.yaw : o.pitch)) {
                error = arg + " '" + value + "': expected a number of degrees";
                return std::nullopt;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return std::nullopt;
        } else if (o.file.empty()) {
            o.file = arg;
        } else {
            error = "more than one file: " + o.file + ", " + arg;
            return std::nullopt;
        }
    }
    if (o.file.empty()) {
        error = "no file given";
        return std::nullopt;
    }
    return o;
}

} // namespace vv
