#include "viewer/app/open.h"
#include "viewer/app/live_hooks.h"
#include "viewer/app/state.h"
#include "viewer/cloud/colour.h"
#include "viewer/cloud/spacing.h"
#include "viewer/cloud/subsample.h"
#include "viewer/formats/load.h"
#include "viewer/output/progress.h"
#include "viewer/trajectory/trajectory.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace vv {

namespace {

// A point cloud, loaded and coloured; the exit status on failure, else 0.
int open_cloud(const Options &o) {
    std::string error;
    if (o.frame >= 0 || o.frames_given) {
        complain(o.file + ": --frame and --frames are for trajectories");
        return 2;
    }
    if (!load_cloud(o.file, app.cloud, error)) {
        complain(error);
        return 1;
    }
    if (app.cloud.skipped > 0)
        std::fprintf(stderr,
                     "vorlix-view: %s: skipped %zu points with NaN or infinite coordinates\n",
                     o.file.c_str(), app.cloud.skipped);
    app.colouring = app.cloud.file_colours ? "file" : "height";
    if (!o.colour_by.empty()) {
        const std::vector<std::string> names = colourings(app.cloud);
        const bool known = std::find(names.begin(), names.end(), o.colour_by) != names.end();
        if (!colour_by(app.cloud, o.colour_by, error)) {
            complain(o.file + ": " + error);
            return known ? 1 : 2; // 2: a name the command line got wrong
        }
        app.colouring = o.colour_by;
    }
    // A screenshot always draws every point: no subsample to build.
    if (!app.headless() && !build_subsample(app.cloud, o.lod, app.sample))
        complain(o.file + ": no memory for a subsample of " + std::to_string(o.lod) +
                 " points; every frame draws all");
    return 0;
}

bool listed(const Player &player, const std::string &name) {
    const std::vector<std::string> names = player.colourings();
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Every frame of the file read once, on every core, before anything is
// drawn; the exit status on failure, else 0.
int read_whole_run(Player &player) {
    std::string error;
    Progress progress("reading frames");
    if (!player.finish_pass(std::ref(progress), error)) {
        complain(error);
        return 1;
    }
    return 0;
}

// Whether the batch asked for draws every frame, in order: it then reads
// each once, which finds a bad frame and the rows skipped as the whole-run
// pass would, so that no pass need read them first.
bool every_frame(const Options &o, std::size_t frames) {
    return (!app.shot_dir.empty() || !app.movie.empty()) && o.frames_first == 0 &&
           o.frames_step == 1 && (o.frames_last == 0 || o.frames_last >= frames);
}

// A trajectory of one file or several, indexed, with its first frame (or --frame's) in the nodes.
// A headless run reads every frame before the first picture, as the
// pictures may depend on any (the fit, a column's range) and a bad frame
// anywhere fails it; unless it draws every frame and needs nothing of the
// run before the first, when the pictures read them. The window shows the
// first frame at once and the whole run comes in from the background.
int open_player(const Options &o) {
    std::string error;
    app.player = std::make_unique<Player>();
    Player &player = *app.player;
    if (!player.open_first(o.files, o.range_per_frame, error)) {
        complain(error);
        return 1;
    }
    // The default radius comes from the run's first frame, whichever frame
    // is drawn first, so that frame K looks the same however it is asked for.
    app.first_spacing = typical_spacing(player.lists(), player.list_count());
    const bool column = !o.colour_by.empty() && o.colour_by != "type" && o.colour_by != "element";
    const bool unlisted = !o.colour_by.empty() && !listed(player, o.colour_by);
    if (app.headless()) {
        const bool ahead = !every_frame(o, player.frames()) || player.needs_whole_run() ||
                           (column && !o.range_per_frame) || unlisted;
        if (ahead && read_whole_run(player) != 0)
            return 1;
        app.skipped_untold = !ahead && !player.whole_run_known();
    } else if (unlisted && read_whole_run(player) != 0) { // its list, to check the name against
        return 1;
    }
    const std::string &name = app.file = player.trajectory().path;
    if (!player.warning().empty())
        complain(player.warning());
    if (player.whole_run_known())
        complain_skipped();
    const std::size_t n = player.frames();
    const unsigned long long asked = o.frames_given ? o.frames_first : o.frame;
    if ((o.frame >= 0 || o.frames_given) && asked >= n) {
        complain(name + ": no frame " + std::to_string(asked) + " (" + std::to_string(n) +
                 " frames, numbered from 0)");
        return 2;
    }
    if (o.frame >= 0 && !player.read(static_cast<std::size_t>(o.frame), error)) {
        complain(error);
        return 1;
    }
    if (!o.colour_by.empty() && !player.colour_by(o.colour_by, error)) {
        complain(name + ": " + error);
        return 2;
    }
    if (!app.headless()) {
        player.start_pass();
        app.reader = std::make_unique<FrameReader>(player.trajectory());
        app.reader->request(player.target(Player::Step::Forward));
    }
    return 0;
}

// The first view: --yaw, --pitch, --zoom, the style (spheres for atoms,
// points for a point cloud) and the radius, --radius's or half the typical
// nearest-neighbour distance of the first frame (of a live run: of what it
// shows first; of a cloud: of the cloud). 2 for a --radius larger
// than the whole box.
int first_view(const Options &o) {
    app.view = View(o.yaw, o.pitch, o.zoom);
    const Player *p = shown_player();
    const std::string style = !o.style.empty() ? o.style : p != nullptr ? "spheres" : "points";
    app.view.set_style(style == "spheres" ? Style::Spheres
                       : style == "cubes" ? Style::Cubes
                                          : Style::Points);
    const double unit = p != nullptr ? p->unit() : app.cloud.unit;
    if (o.radius > 0) {
        // A box of no size has no unit: the radius is then taken in cube units.
        const double r = unit > 0 ? o.radius * unit : o.radius;
        if (r > 0.5) {
            char says[160];
            std::snprintf(says, sizeof says,
                          ": --radius %g is larger than the whole box (%g across)",
                          static_cast<double>(o.radius), unit > 0 ? 1 / unit : 1.0);
            complain(app.file + says);
            return 2;
        }
        app.view.set_radius(static_cast<float>(r));
        return 0;
    }
    // A point cloud drawn as points needs no radius until O or C: its
    // spacing is measured now all the same, once, on the whole cloud.
    const double spacing = p != nullptr && p == app.player.get() ? app.first_spacing
                           : p != nullptr
                               ? typical_spacing(p->lists(), p->list_count())
                               : typical_spacing(app.cloud.lists.data(),
                                                 static_cast<unsigned int>(app.cloud.lists.size()));
    // No neighbour (one atom, all at one place): a fiftieth of the box. A
    // few atoms far apart are not a solid: no sphere larger than a
    // twentieth of the box unless --radius asks.
    app.view.set_radius(spacing > 0 ? static_cast<float>(std::min(spacing / 2, 0.05)) : 0.02f);
    return 0;
}

} // namespace

void complain_skipped() {
    if (app.player && app.player->skipped() > 0)
        complain(app.file + ": skipped " + std::to_string(app.player->skipped()) +
                 " atom rows with NaN or infinite positions");
}

int open_input(const Options &o, int &argc, char **&argv) {
    app.file = o.file;
    app.screenshot = o.screenshot;
    app.shot_dir = o.screenshot_dir;
    app.movie = o.movie;
    app.span = {o.frames_first, o.frames_last, o.frames_step};
    if (o.lammps) {
        // -1: rank 0 goes on to draw; any other rank has ended with a status.
        const int status = open_live(o, argc, argv);
        return status == -1 && first_view(o) != 0 ? 2 : status;
    }
    // Several inputs, or a pattern, are the files of one trajectory.
    std::vector<std::string> paths;
    std::string error;
    if (!trajectory_files(o.files.empty() ? std::vector<std::string>{o.file} : o.files, paths,
                          error)) {
        complain(error);
        return 1;
    }
    Options one = o;
    one.file = app.file = paths.front();
    int status = 0;
    if (paths.size() == 1) {
        one.files = paths;
        status = is_trajectory(one.file) ? open_player(one) : open_cloud(one);
    } else if (std::none_of(paths.begin(), paths.end(), is_trajectory)) {
        complain(paths[0] + ", " + paths[1] + (paths.size() > 2 ? ", ..." : "") +
                 ": several files are one trajectory; a point cloud or model is one file");
        status = 2;
    } else {
        status = open_player(o); // expanded again there, to be named by the pattern given
    }
    if (status == 0)
        status = first_view(o);
    return status == 0 ? -1 : status;
}

} // namespace vv
