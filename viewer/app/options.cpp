#include "viewer/app/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vv {

const char *const kUsage =
    "usage: vorlix-view FILE [--screenshot OUT.png] [--size WxH] [--yaw DEG] [--pitch DEG]"
    " [--color-by NAME]"
    " [--lod N] [--frame K] [--range all|frame]"
    " [--frames A:B[:S] (--screenshot-dir DIR | --movie OUT.mp4)]"
    " | --lammps INPUT [--every N] [--var NAME VALUE]... [--color-by NAME]"
    " [--steps S (--screenshot OUT.png | --screenshot-dir DIR | --movie OUT.mp4)]"
    "  (left-drag orbit, middle- or shift-drag pan, wheel or +/- zoom, P/C points/cubes, [ ] size, "
    "B bounding cube,"
    " F next colouring (height, file colours, each field; trajectories: element, type, each "
    "column),"
    " R reset, S save PNG, Esc quit; trajectories: Space play/pause, Left/Right step,"
    " Home/End first/last frame, , and . slower/faster; --lammps: Space pause/resume the run,"
    " F type or the --color-by quantity)";

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

// A:B or A:B:S; B may be empty (to the end, frames_last 0).
bool parse_frames(const char *s, Options &o) {
    const std::string v = s;
    const std::size_t colon = v.find(':');
    if (colon == std::string::npos)
        return false;
    const std::size_t second = v.find(':', colon + 1);
    const std::string a = v.substr(0, colon);
    const std::string b =
        v.substr(colon + 1, second == std::string::npos ? std::string::npos : second - colon - 1);
    const std::string step = second == std::string::npos ? "1" : v.substr(second + 1);
    std::size_t first = 0, last = 0, by = 0;
    if (!parse_count(a.c_str(), first) || (!b.empty() && !parse_count(b.c_str(), last)) ||
        !parse_count(step.c_str(), by) || by == 0 || (!b.empty() && last <= first))
        return false;
    o.frames_given = true;
    o.frames_first = first;
    o.frames_last = last;
    o.frames_step = by;
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
        } else if (arg == "--lammps") {
            o.lammps = true;
        } else if (arg == "--var") {
            if (i + 2 >= argc || *argv[i + 1] == '\0') {
                error = "--var needs a NAME and a VALUE";
                return std::nullopt;
            }
            o.vars.emplace_back(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (arg == "--every" || arg == "--steps") {
            std::size_t n = 0;
            if (!has_value || !parse_count(argv[i + 1], n) || n == 0) {
                error = arg + (has_value ? std::string(" '") + argv[i + 1] + "'" : "") +
                        ": expected a number of steps from 1 to 1000000000";
                return std::nullopt;
            }
            ++i;
            (arg == "--every" ? o.every : o.steps) = static_cast<long long>(n);
        } else if (arg == "--screenshot" || arg == "--size" || arg == "--yaw" || arg == "--pitch" ||
                   arg == "--color-by" || arg == "--lod" || arg == "--frame" || arg == "--range" ||
                   arg == "--frames" || arg == "--screenshot-dir" || arg == "--movie") {
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
            } else if (arg == "--frames") {
                if (!parse_frames(value, o)) {
                    error = std::string("--frames '") + value +
                            "': expected A:B or A:B:S, frames A to B-1 every S (B may be empty: "
                            "to the end)";
                    return std::nullopt;
                }
            } else if (arg == "--screenshot-dir" || arg == "--movie") {
                (arg == "--movie" ? o.movie : o.screenshot_dir) = value;
                if (*value == '\0') {
                    error = arg + " needs a name";
                    return std::nullopt;
                }
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
    if (!o.lammps && (o.every > 0 || o.steps > 0 || !o.vars.empty())) {
        error = "--every, --steps and --var go with --lammps";
        return std::nullopt;
    }
    if (o.lammps && (o.frame >= 0 || o.frames_given || o.range_per_frame)) {
        error = "--frame, --frames and --range are for trajectory files, not --lammps";
        return std::nullopt;
    }
    const int outputs = !o.screenshot.empty() + !o.screenshot_dir.empty() + !o.movie.empty();
    if (o.lammps && ((o.steps > 0) != (outputs > 0) || outputs > 1)) {
        error = "--steps goes with one of --screenshot, --screenshot-dir or --movie (and --lammps)";
        return std::nullopt;
    }
    if ((!o.lammps && o.frames_given != (!o.screenshot_dir.empty() || !o.movie.empty())) ||
        outputs > 1) {
        error = "--frames goes with one of --screenshot-dir or --movie";
        return std::nullopt;
    }
    return o;
}

} // namespace vv
