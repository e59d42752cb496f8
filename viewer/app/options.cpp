#include "viewer/app/options.h"
#include "viewer/app/keys.h"
#include "viewer/app/view.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vv {

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

const std::vector<OptionInfo> &option_table() {
    using G = OptionGroup;
    static const std::vector<OptionInfo> table = {
        {"--color-by", "NAME", G::Input, "height, or the file's colours; trajectories: element",
         "colour by NAME: height, file, a field; trajectories: element, type, a column"},
        {"--frame", "K", G::Input, "0, the first", "trajectories: the frame shown"},
        {"--range", "all|frame", G::Input, "all",
         "trajectories: colour ranges over the whole run or per frame"},
        {"--help", nullptr, G::Input, nullptr, "this page (also -h)"},
        {"--size", "WxH", G::View, "640x640", "window or pictures, 16 to 8192 pixels each"},
        {"--yaw", "DEG", G::View, "0", "first view: turn about the vertical axis"},
        {"--pitch", "DEG", G::View, "0", "first view: tilt about the horizontal axis"},
        {"--zoom", "Z", G::View, "1, the box filling the frame",
         "first view: Z times as large, 0.1 to 6"},
        {"--style", "points|spheres|cubes", G::View, "spheres for atoms, points for point clouds",
         "how the points are drawn"},
        {"--radius", "R", G::View, "half the typical nearest-neighbour distance",
         "spheres' radius (cubes' half edge) in the file's length units"},
        {"--lod", "N", G::View, "100000", "points drawn while the view moves; 0: all"},
        {"--no-overlay", nullptr, G::View, nullptr,
         "no colour legend, frame label or timeline on the picture"},
        {"--screenshot", "OUT.png", G::Pictures, nullptr, "one picture into OUT.png, no window"},
        {"--frames", "A:B[:S]", G::Pictures, nullptr,
         "trajectories: frames A to B-1 every S (B empty: to the end)"},
        {"--screenshot-dir", "DIR", G::Pictures, nullptr,
         "the pictures into DIR/frame_NNNNNN.png, no window"},
        {"--movie", "OUT.mp4", G::Pictures, nullptr,
         "the pictures into one movie through ffmpeg, 30 a second"},
        {"--lammps", nullptr, G::Live, nullptr, "FILE is a LAMMPS input script, run in here"},
        {"--every", "N", G::Live, "timed chunks", "a frame every N steps, up to 1000000000"},
        {"--steps", "S", G::Live, nullptr,
         "no window: S steps, then the picture (or pictures every --every steps)"},
        {"--var", "NAME VALUE", G::Live, nullptr, "as lmp's -var; repeatable"},
    };
    return table;
}

namespace {

// The table's entry named `arg` ("-h" is --help's); null for none.
const OptionInfo *find_option(const std::string &arg) {
    const std::string name = arg == "-h" ? "--help" : arg;
    for (const OptionInfo &o : option_table())
        if (name == o.name)
            return &o;
    return nullptr;
}

// The value of the option at argv[i], whose entry takes one: into o, with
// error set on failure.
bool take_value(const std::string &arg, const char *value, Options &o, std::string &error) {
    if (arg == "--screenshot") {
        o.screenshot = value;
        if (o.screenshot.empty())
            error = "--screenshot needs a file name";
    } else if (arg == "--color-by") {
        o.colour_by = value;
    } else if (arg == "--size") {
        if (!parse_size(value, o.width, o.height))
            error = std::string("--size '") + value + "': expected WxH, each between 16 and 8192";
    } else if (arg == "--frame") {
        std::size_t k = 0;
        if (parse_count(value, k))
            o.frame = static_cast<long long>(k);
        else
            error =
                std::string("--frame '") + value + "': expected a frame number from 0 (the first)";
    } else if (arg == "--frames") {
        if (!parse_frames(value, o))
            error = std::string("--frames '") + value +
                    "': expected A:B or A:B:S, frames A to B-1 every S (B may be empty: to the "
                    "end)";
    } else if (arg == "--screenshot-dir" || arg == "--movie") {
        (arg == "--movie" ? o.movie : o.screenshot_dir) = value;
        if (*value == '\0')
            error = arg + " needs a name";
    } else if (arg == "--range") {
        const std::string v = value;
        if (v == "all" || v == "frame")
            o.range_per_frame = v == "frame";
        else
            error = "--range '" + v + "': expected all or frame";
    } else if (arg == "--style") {
        o.style = value;
        if (o.style != "points" && o.style != "spheres" && o.style != "cubes")
            error = "--style '" + o.style + "': expected points, spheres or cubes";
    } else if (arg == "--radius") {
        if (!parse_float(value, o.radius) || !(o.radius > 0))
            error = std::string("--radius '") + value +
                    "': expected a length above 0 in the file's units, at most 1e6";
    } else if (arg == "--zoom") {
        if (!parse_float(value, o.zoom) || !(o.zoom >= kMinZoom && o.zoom <= kMaxZoom))
            error = std::string("--zoom '") + value + "': expected a factor from 0.1 to 6";
    } else if (arg == "--lod") {
        if (!parse_count(value, o.lod))
            error = std::string("--lod '") + value +
                    "': expected a number of points from 0 (off) to 1000000000";
    } else if (!parse_float(value, arg == "--yaw" ? o.yaw : o.pitch)) {
        error = arg + " '" + value + "': expected a number of degrees";
    }
    return error.empty();
}

// What no single option can tell: the ones that only go together.
bool check_together(const Options &o, std::string &error) {
    if (o.file.empty())
        error = "no file given";
    else if (o.lammps && o.files.size() > 1)
        error = "more than one file: " + o.files[0] + ", " + o.files[1] +
                " (--lammps runs one input script)";
    else if (!o.lammps && (o.every > 0 || o.steps > 0 || !o.vars.empty()))
        error = "--every, --steps and --var go with --lammps";
    else if (o.lammps && (o.frame >= 0 || o.frames_given || o.range_per_frame))
        error = "--frame, --frames and --range are for trajectory files, not --lammps";
    const int outputs = !o.screenshot.empty() + !o.screenshot_dir.empty() + !o.movie.empty();
    if (error.empty() && o.lammps && ((o.steps > 0) != (outputs > 0) || outputs > 1))
        error = "--steps goes with one of --screenshot, --screenshot-dir or --movie (and --lammps)";
    else if (error.empty() &&
             ((!o.lammps && o.frames_given != (!o.screenshot_dir.empty() || !o.movie.empty())) ||
              outputs > 1))
        error = "--frames goes with one of --screenshot-dir or --movie";
    return error.empty();
}

} // namespace

std::optional<Options> parse_options(int argc, const char *const *argv, std::string &error) {
    Options o;
    error.clear();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        const OptionInfo *option = find_option(arg);
        if (option == nullptr && arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return std::nullopt;
        }
        if (option == nullptr) {
            o.files.push_back(arg);
            o.file = o.files.front();
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
            return o;
        } else if (arg == "--lammps") {
            o.lammps = true;
        } else if (arg == "--no-overlay") {
            o.overlay = false;
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
        } else if (!has_value) {
            error = arg + " needs a value";
            return std::nullopt;
        } else if (!take_value(arg, argv[++i], o, error)) {
            return std::nullopt;
        }
    }
    if (!check_together(o, error))
        return std::nullopt;
    return o;
}

std::string usage_synopsis() {
    return "usage: vorlix-view FILE [OPTION]...\n"
           "       vorlix-view TRAJECTORY... [OPTION]...  (several files, or 'PATTERN')\n"
           "       vorlix-view --lammps INPUT [OPTION]...\n";
}

std::string usage_hint() {
    return usage_synopsis() + "try 'vorlix-view --help' for the options and the keys\n";
}

std::string usage_page(bool live_built) {
    static const UsageHeading<OptionGroup> headings[] = {
        {OptionGroup::Input, "Input:"},
        {OptionGroup::View, "View:"},
        {OptionGroup::Pictures, "Pictures and movies (no window):"},
        {OptionGroup::Live, "Live runs:"}};
    std::string page =
        usage_synopsis() +
        "Draws a point cloud or model, a trajectory (a LAMMPS dump, CFG or data file,\n"
        "or an XYZ file), or a LAMMPS input script as it runs. A trajectory may be\n"
        "several files (one per step or per rank) or one quoted PATTERN of LAMMPS's\n"
        "(* a step, % a rank), played as one, by timestep.\n";
    for (const auto &h : headings) {
        page += std::string("\n") + h.heading + "\n";
        for (const OptionInfo &o : option_table()) {
            if (o.group != h.group)
                continue;
            std::string left = o.name, text = o.help;
            if (o.argument != nullptr)
                left += std::string(" ") + o.argument;
            if (o.fallback != nullptr)
                text += std::string(" (default: ") + o.fallback + ")";
            page += usage_row(left, text);
        }
        if (h.group == OptionGroup::Live && !live_built)
            page += "(built without LAMMPS's library: --lammps is not available)\n";
    }
    return page + "\n" + key_section();
}

} // namespace vv
