// vorlix-view's command line.
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
    std::string file;
    std::string screenshot; // empty: interactive
    int width = 640;        // of the window, or of the screenshot
    int height = 640;
    float yaw = 0; // degrees, the first view
    float pitch = 0;
    std::string colour_by; // a field name, "height" or "file"; empty: the default
    bool help = false;
    std::size_t lod = kDefaultLodBudget; // points drawn while moving; 0: all
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

// Parses argv: one FILE, --screenshot OUT.png, --size WxH (16..8192 each),
// --yaw DEG, --pitch DEG (finite, at most 1e6), --color-by NAME, --lod N
// (0..1e9 points), --frame K (0-based, digits only), --range all|frame,
// --lammps, --every N and --steps S (1..1e12), --var NAME VALUE, --help or -h
// (which ends the parse). On failure returns
// nothing and sets error to a one-line reason.
std::optional<Options> parse_options(int argc, const char *const *argv, std::string &error);

// The usage line, options and keys, printed for --help and after an error.
extern const char *const kUsage;

} // namespace vv

#endif
