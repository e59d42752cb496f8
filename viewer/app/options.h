// vorlix-view's command line: one table of options (name, argument, group,
// default, help) from which the parse and the usage page both come.
#ifndef VORLIX_VIEWER_OPTIONS_H
#define VORLIX_VIEWER_OPTIONS_H

#include "viewer/cloud/subsample.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vv {

// What the command line asked for.
struct Options {
    std::string file; // the first of files
    // Every input named: one file, or (trajectories) several files or
    // patterns that are one trajectory.
    std::vector<std::string> files;
    std::string screenshot; // empty: interactive
    int width = 640;        // of the window, or of the screenshot
    int height = 640;
    float yaw = 0; // degrees, the first view
    float pitch = 0;
    float zoom = 1; // 2: twice the apparent size of the first view
    // "points", "spheres" or "cubes"; empty: spheres for atoms, points for
    // point clouds. radius: in the input's length units; 0: half the
    // typical nearest-neighbour distance of the first frame.
    std::string style;
    float radius = 0;
    std::string colour_by; // a field name, "height" or "file"; empty: the default
    bool help = false;
    std::size_t lod = kDefaultLodBudget; // points drawn while moving; 0: all
    bool overlay = true;                 // legend and frame label on the picture
    // Trajectories: the frame a screenshot shows (0-based; -1: the first),
    // and colour ranges per frame rather than over the whole run.
    long long frame = -1;
    bool range_per_frame = false;
    // Batch output of frames first, first + step, ... before last (last 0:
    // to the end): one PNG each into screenshot_dir, or one movie.
    bool frames_given = false;
    std::size_t frames_first = 0, frames_last = 0, frames_step = 1;
    std::string screenshot_dir;
    std::string movie;
    // --lammps: `file` is an input script run in-process; a frame every
    // `every` steps (0: as many as fit kLiveChunkMs), headless after `steps`
    // steps (0: to the script's end); --var NAME VALUE as lmp's -var.
    bool lammps = false;
    long long every = 0;
    long long steps = 0;
    std::vector<std::pair<std::string, std::string>> vars;
};

// The headings the usage page groups the options under, in its order.
enum class OptionGroup { Input, View, Pictures, Live };

// One option: its name, the argument it takes (null: none), its group, its
// default as the page shows it (null: none worth showing) and one line of
// help.
struct OptionInfo {
    const char *name;
    const char *argument;
    OptionGroup group;
    const char *fallback;
    const char *help;
};

// Every option the parse knows, in the usage page's order.
const std::vector<OptionInfo> &option_table();

// Parses argv: FILE... and the options of option_table(); several files
// only for a trajectory (a point cloud is refused when opened) and never
// with --lammps. --size WxH takes
// 16..8192 each; --yaw and --pitch a finite number of degrees, at most 1e6;
// --style points, spheres or cubes; --radius a length above 0, at most 1e6;
// --zoom kMinZoom..kMaxZoom;
// --lod N 0..1e9 points; --frame K a frame number (0-based, digits only);
// --range all or frame; --frames A:B[:S] (A < B, S >= 1; B may be empty);
// --every N and --steps S 1..1e9; --var NAME VALUE, repeatable. --help or -h
// ends the parse. Refused together: --every, --steps or --var without
// --lammps; --frame, --frames or --range with --lammps; with --lammps,
// --steps without exactly one of --screenshot, --screenshot-dir, --movie
// (or one of those without --steps); otherwise --frames without exactly one
// of --screenshot-dir and --movie (or one of those without --frames); more
// than one of the three outputs. On failure returns nothing and sets error
// to a one-line reason.
std::optional<Options> parse_options(int argc, const char *const *argv, std::string &error);

// The synopsis lines, each ending in a newline; the first starts with
// "usage: vorlix-view FILE".
std::string usage_synopsis();
// What follows a usage error's one-line reason: the synopsis and where the
// rest is.
std::string usage_hint();
// The page --help prints: the synopsis, the options one per line under their
// headings with their defaults, then the key section (key_section()). Built
// without LAMMPS's library (live_built false), it says --lammps is not there.
std::string usage_page(bool live_built);

} // namespace vv

#endif
