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

// A trajectory, scanned, with its first frame (or --frame's) in the nodes.
int open_player(const Options &o) {
    std::string error;
    app.player = std::make_unique<Player>();
    Player &player = *app.player;
    {
        Progress progress("reading frames");
        if (!player.open(o.file, o.range_per_frame, error, std::ref(progress))) {
            complain(error);
            return 1;
        }
    }
    if (!player.warning().empty())
        complain(player.warning());
    if (player.skipped() > 0)
        complain(o.file + ": skipped " + std::to_string(player.skipped()) +
                 " atom rows with NaN or infinite positions");
    const std::size_t n = player.frames();
    const unsigned long long asked = o.frames_given ? o.frames_first : o.frame;
    if ((o.frame >= 0 || o.frames_given) && asked >= n) {
        complain(o.file + ": no frame " + std::to_string(asked) + " (" + std::to_string(n) +
                 " frames, numbered from 0)");
        return 2;
    }
    if (o.frame >= 0 && !player.read(static_cast<std::size_t>(o.frame), error)) {
        complain(error);
        return 1;
    }
    if (!o.colour_by.empty() && !player.colour_by(o.colour_by, error)) {
        complain(o.file + ": " + error);
        return 2;
    }
    if (!app.headless()) {
        app.reader = std::make_unique<FrameReader>(player.trajectory());
        app.reader->request(player.target(Player::Step::Forward));
    }
    return 0;
}

// The first view: --yaw, --pitch, --zoom, the style (spheres for atoms,
// points for a point cloud) and the radius, --radius's or half the typical
// nearest-neighbour distance of what is shown first. 2 for a --radius larger
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
            complain(o.file + says);
            return 2;
        }
        app.view.set_radius(static_cast<float>(r));
        return 0;
    }
    // A point cloud drawn as points needs no radius until O or C: its
    // spacing is measured now all the same, once, on the whole cloud.
    const double spacing = p != nullptr
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
    int status = is_trajectory(o.file) ? open_player(o) : open_cloud(o);
    if (status == 0)
        status = first_view(o);
    return status == 0 ? -1 : status;
}

} // namespace vv
