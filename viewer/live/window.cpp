#include "viewer/live/window.h"
#include "viewer/app/overlay_hook.h"
#include "viewer/app/state.h"
#include "viewer/app/window.h"
#include "viewer/live/session.h"
#include "viewer/output/batch.h"
#include "viewer/output/headless.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace vv {

namespace {

// When the window closes: ends LAMMPS on every rank as Escape does, or lets
// the held window go.
void close_live() {
    if (app.holding)
        app.holding = false;
    else
        end_live();
}

// One chunk of the simulation a tick while it runs; the event loop handles
// keys and redraws between ticks.
void live_tick(int) {
    LiveSession &live = *app.live;
    if (live.paused() || live.ended()) {
        app.ticking = false;
        return;
    }
    std::string error;
    if (!live.chunk(0, error))
        complain(app.file + ": " + live.describe());
    retitle();
    glutPostRedisplay();
    glutTimerFunc(0, live_tick, 0);
}

} // namespace

bool live_built() {
    return true;
}

int open_live(const Options &o, int &argc, char **&argv) {
    LiveSession::init_mpi(argc, argv);
    app.live = {new LiveSession, [](LiveSession *s) { delete s; }};
    std::atexit(hold_window_after_lammps_error);
    LiveSession &live = *app.live;
    std::string error;
    const int status = live.start(o.file, o.vars, o.colour_by, o.every, error);
    if (status != 0) {
        if (live.rank() == 0)
            complain(error);
        app.live_closed = true;
        live.finish();
        return status;
    }
    app.live_rank = live.rank();
    if (app.live_rank != 0) {
        const int done = live.follow();
        app.live_closed = true;
        live.finish();
        return done;
    }
    app.live_steps = o.steps;
    app.live_every = o.every;
    return -1;
}

Player *live_player() {
    return &app.live->player();
}

std::string live_describe() {
    return app.live->describe();
}

bool live_key(unsigned char key) {
    if (key != ' ')
        return false;
    LiveSession &live = *app.live;
    live.set_paused(!live.paused());
    if (!live.paused() && !app.ticking) {
        app.ticking = true;
        glutTimerFunc(0, live_tick, 0);
    }
    retitle();
    return true;
}

bool quit_live() {
    if (app.holding) {
        app.holding = false;
        return true;
    }
    end_live();
    return false;
}

void start_live_window() {
    glutCloseFunc(close_live);
    // Again, to run before freeglut's own exit handler, which destroys the
    // window; the first registration covers errors before it.
    std::atexit(hold_window_after_lammps_error);
    app.ticking = true;
    glutTimerFunc(0, live_tick, 0);
}

// Headless: --steps of the script's runs, then one picture; or pictures of
// the first frame and after every --every steps (by default a hundredth of
// them) up to --steps, into files or a movie. A picture the script ends
// before is not written.
int shoot_live() {
    LiveSession &live = *app.live;
    const long long steps = app.live_steps;
    const auto reach = [&live, steps](long long to, long long every, std::string &error) {
        if (live.run_to(to, every, error))
            return true;
        error = app.file + ": " + std::to_string(live.run().steps_run()) + " of " +
                std::to_string(steps) + " steps run: " + live.describe() + "; no picture written";
        return false;
    };
    std::string error;
    app.view.apply();
    if (!app.screenshot.empty()) {
        if (!reach(steps, app.live_every, error)) {
            complain(error);
            return 1;
        }
        return save_picture(app.screenshot, app.shot_w, app.shot_h) ? 0 : 1;
    }
    const long long every = app.live_every > 0 ? app.live_every : std::max(1LL, (steps + 99) / 100);
    Pictures pictures;
    pictures.overlay = shown_overlay;
    pictures.count = static_cast<std::size_t>(1 + (steps + every - 1) / every);
    pictures.put = [&](std::size_t i, std::size_t &number, std::string &error) {
        number = i;
        if (!reach(std::min(steps, every * static_cast<long long>(i)), every, error))
            return false;
        set_liste_voxels(live.player().lists(), live.player().list_count());
        return true;
    };
    const bool ok = app.movie.empty() ? write_frame_pngs(pictures, app.view, app.shot_dir,
                                                         app.shot_w, app.shot_h, error)
                                      : write_movie(pictures, app.view, app.movie, app.shot_w,
                                                    app.shot_h, error, app.movie_under_way);
    if (!ok)
        complain(error);
    return ok ? 0 : 1;
}

void end_live() {
    if (!app.live || app.live_closed)
        return;
    app.live_closed = true;
    app.live->quit();
    app.live->finish();
}

void hold_window_after_lammps_error() {
    if (!app.live || app.live_closed || !app.live->busy())
        return; // not LAMMPS's exit: freeglut's, say, with no display
    app.live_closed = true;
    LiveSession *session = app.live.release();
    if (app.live_rank != 0) {
        // mpirun ends the whole job, rank 0's window too, when a rank exits
        // with a failure; rank 0 reports it.
        std::fflush(nullptr);
        _exit(0);
    }
    session->stopped("stopped on a LAMMPS error (its ERROR line is on the terminal)");
    std::fprintf(stderr, "vorlix-view: %s: LAMMPS stopped on an error at step %lld\n",
                 app.file.c_str(), static_cast<long long>(session->player().frame().timestep));
    if (!app.looping) {
        abandon_movie(app.movie_under_way); // the exit would leave ffmpeg's part file
        return;
    }
    // Drawn from here on; never freed (the exit runs on).
    app.live = {session, [](LiveSession *) {}};
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    retitle();
    glutPostRedisplay();
    app.holding = true;
    while (app.holding) {
        glutMainLoopEvent();
        usleep(10000);
    }
    app.live.release();
}

} // namespace vv
