// vorlix-view: the GLUT side. The file is loaded in full (a trajectory:
// indexed and scanned) before any window exists, so bad input ends with a
// message and never with a half-drawn frame.
#include "viewer/output/batch.h"
#include "viewer/cloud/cloud.h"
#include "viewer/cloud/colour.h"
#include "viewer/formats/load.h"
#include "viewer/play/frame_reader.h"
#include "viewer/cloud/subsample.h"
#include "viewer/output/offscreen.h"
#include "viewer/app/options.h"
#include "viewer/play/player.h"
#include "viewer/output/png.h"
#include "viewer/output/progress.h"
#include "viewer/trajectory/trajectory.h"
#include "viewer/app/view.h"
#ifdef VORLIX_HAVE_LAMMPS
#include "viewer/live/session.h"
#endif

#include <GL/freeglut.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

vv::Cloud cloud;
vv::View view;
std::string file;
std::string colouring;  // what the points are coloured by now
std::string screenshot; // headless: render once into this file and exit
// Headless, trajectories: frames into PNG files or a movie, then exit.
std::string shot_dir, movie;
vv::FrameSpan span;
int shot_w = 0, shot_h = 0;
bool save_pending = false;
int drag_x = 0, drag_y = 0;
enum class Drag { None, Orbit, Pan } dragging = Drag::None;
// Level of detail: while the view moves, frames draw `sample` (empty: no
// subsample, every frame draws all); kSettleMs after the last input the still
// frame draws every point again.
vv::Cloud sample;
constexpr int kSettleMs = 200;
bool moving = false, settle_armed = false;
int last_input = 0; // GLUT_ELAPSED_TIME, ms
// Trajectory mode: the player owns the nodes; the reader parses the next
// frame on its own thread. The library is called from this thread only.
std::unique_ptr<vv::Player> player;
std::unique_ptr<vv::FrameReader> reader;
bool ticking = false; // a playback timer is pending
#ifdef VORLIX_HAVE_LAMMPS
// --lammps: the simulation runs in this process a chunk per timer tick; its
// player's nodes are drawn.
std::unique_ptr<vv::LiveSession> live;
long long live_steps = 0; // headless: steps before the picture
long long live_every = 0;
bool live_closed = false;
int live_rank = 0;
// After a LAMMPS error, while the window is kept up for the user to close.
bool holding = false;
#endif
bool looping = false; // the window's event loop runs

// No window to show: one picture, or a batch of frames.
bool headless() {
    return !screenshot.empty() || !shot_dir.empty() || !movie.empty();
}

// Errors go to stderr under the program's name.
void complain(const std::string &error) {
    std::fprintf(stderr, "vorlix-view: %s\n", error.c_str());
}

// One frame of w x h off screen into a PNG file; a failure is told on stderr.
bool save_or_complain(const std::string &path, int w, int h) {
    std::string error;
    if (vv::save_frame(path, view, w, h, error))
        return true;
    complain(error);
    return false;
}

// Headless: one frame into the file, or the span of frames into files or a
// movie; then the exit status.
int shoot() {
    view.apply();
    if (screenshot.empty()) {
        std::string error;
        vv::Pictures pictures;
        const bool ok =
            vv::frame_pictures(*player, span, pictures, error) &&
            (movie.empty() ? vv::write_frame_pngs(pictures, view, shot_dir, shot_w, shot_h, error)
                           : vv::write_movie(pictures, view, movie, shot_w, shot_h, error));
        if (!ok)
            complain(error);
        return ok ? 0 : 1;
    }
    return save_or_complain(screenshot, shot_w, shot_h) ? 0 : 1;
}

// The title tells what the colours mean.
std::string title() {
#ifdef VORLIX_HAVE_LAMMPS
    if (live)
        return "vorlix-view: " + file + ": " + live->describe();
#endif
    if (player)
        return "vorlix-view: " + file + ": " + player->describe();
    return "vorlix-view: " + file + " (colour: " + vv::describe_colouring(cloud, colouring) + ")";
}

// The trajectory's or the live run's player; none for a point cloud.
vv::Player *shown_player() {
#ifdef VORLIX_HAVE_LAMMPS
    if (live)
        return &live->player();
#endif
    return player.get();
}

// Registers the table the next frame draws: in cube mode, only as many of
// the subsample's leading lists as cost what the points would.
void use_table(bool coarse) {
    if (vv::Player *p = shown_player()) {
        set_liste_voxels(p->lists(), p->list_count());
        return;
    }
    const bool lod = coarse && sample.count > 0;
    const vv::Cloud &c = lod ? sample : cloud;
    const std::size_t lists = lod && view.mode == SCREEN_MODE_CUBES
                                  ? vv::leading_lists(sample, sample.count / vv::kCubeCost)
                                  : c.lists.size();
    set_liste_voxels(c.lists.data(), static_cast<unsigned int>(lists));
}

// The timer runs once per pause, not once per event: it re-arms itself for
// what is left of kSettleMs since the latest input.
void settle(int) {
    const int idle = glutGet(GLUT_ELAPSED_TIME) - last_input;
    if (idle < kSettleMs) {
        glutTimerFunc(static_cast<unsigned int>(kSettleMs - idle), settle, 0);
        return;
    }
    settle_armed = false;
    moving = false;
    glutPostRedisplay();
}

// The view moved (drag, wheel, zoom keys): redraw with the subsample until
// input pauses.
void moved() {
    glutPostRedisplay();
    if (sample.count == 0)
        return;
    moving = true;
    last_input = glutGet(GLUT_ELAPSED_TIME);
    if (!settle_armed) {
        settle_armed = true;
        glutTimerFunc(kSettleMs, settle, 0);
    }
}

// Frame k is in the player's frame: into the nodes, and the next one read
// ahead while this one shows.
void shown(std::size_t k) {
    player->show(k);
    reader->request(player->target(vv::Player::Step::Forward));
    glutSetWindowTitle(title().c_str());
    glutPostRedisplay();
}

// Playback: one frame a tick when the reader has it ready, else the next
// tick tries again; the frame shown never waits on parsing.
void tick(int) {
    if (!player->playing) {
        ticking = false;
        return;
    }
    const std::size_t k = player->target(vv::Player::Step::Forward);
    std::string error;
    switch (reader->take(k, player->frame(), error)) {
    case vv::FrameReader::Got::Ready:
        shown(k);
        break;
    case vv::FrameReader::Got::Failed:
        complain(error);
        player->playing = ticking = false;
        glutSetWindowTitle(title().c_str());
        return;
    case vv::FrameReader::Got::NotYet:
        reader->request(k);
        break;
    }
    glutTimerFunc(static_cast<unsigned int>(1000 / player->fps), tick, 0);
}

// Steps wait for their frame: one parse, then it shows.
void go_to(vv::Player::Step step) {
    const std::size_t k = player->target(step);
    std::string error;
    reader->request(k);
    const vv::FrameReader::Got got = reader->wait(k, player->frame(), error);
    if (got == vv::FrameReader::Got::Failed)
        complain(error);
    else if (got == vv::FrameReader::Got::Ready)
        shown(k);
}

// Space, the speed keys; true when the key was playback's.
bool playback_key(unsigned char key) {
    if (key == ' ') {
        player->playing = !player->playing;
        if (player->playing && !ticking) {
            ticking = true;
            glutTimerFunc(0, tick, 0);
        }
    } else if (key == ',' || key == '<') {
        player->slower();
    } else if (key == '.' || key == '>') {
        player->faster();
    } else {
        return false;
    }
    glutSetWindowTitle(title().c_str());
    return true;
}

void special(int key, int, int) {
    if (!player)
        return;
    if (key == GLUT_KEY_LEFT)
        go_to(vv::Player::Step::Back);
    else if (key == GLUT_KEY_RIGHT)
        go_to(vv::Player::Step::Forward);
    else if (key == GLUT_KEY_HOME)
        go_to(vv::Player::Step::First);
    else if (key == GLUT_KEY_END)
        go_to(vv::Player::Step::Last);
}

#ifdef VORLIX_HAVE_LAMMPS
// Ends LAMMPS on every rank, then MPI.
void end_live() {
    if (!live || live_closed)
        return;
    live_closed = true;
    live->quit();
    live->finish();
}

void close_live() {
    if (holding)
        holding = false;
    else
        end_live();
}

// One chunk of the simulation a tick while it runs; the event loop handles
// keys and redraws between ticks.
void live_tick(int) {
    if (live->paused() || live->ended()) {
        ticking = false;
        return;
    }
    std::string error;
    if (!live->chunk(0, error))
        complain(file + ": " + live->describe());
    glutSetWindowTitle(title().c_str());
    glutPostRedisplay();
    glutTimerFunc(0, live_tick, 0);
}

bool live_key(unsigned char key) {
    if (key != ' ')
        return false;
    live->set_paused(!live->paused());
    if (!live->paused() && !ticking) {
        ticking = true;
        glutTimerFunc(0, live_tick, 0);
    }
    glutSetWindowTitle(title().c_str());
    return true;
}

// Headless: --steps of the script's runs, then one picture; or pictures of
// the first frame and after every --every steps (by default a hundredth of
// them) up to --steps, into files or a movie. A picture the script ends
// before is not written.
int shoot_live() {
    const auto reach = [](long long steps, long long every, std::string &error) {
        if (live->run_to(steps, every, error))
            return true;
        error = file + ": " + std::to_string(live->run().steps_run()) + " of " +
                std::to_string(live_steps) + " steps run: " + live->describe() +
                "; no picture written";
        return false;
    };
    std::string error;
    view.apply();
    if (!screenshot.empty()) {
        if (!reach(live_steps, live_every, error)) {
            complain(error);
            return 1;
        }
        return save_or_complain(screenshot, shot_w, shot_h) ? 0 : 1;
    }
    const long long every = live_every > 0 ? live_every : std::max(1LL, (live_steps + 99) / 100);
    vv::Pictures pictures;
    pictures.count = static_cast<std::size_t>(1 + (live_steps + every - 1) / every);
    pictures.put = [&](std::size_t i, std::size_t &number, std::string &error) {
        number = i;
        const long long steps = std::min(live_steps, every * static_cast<long long>(i));
        if (!reach(steps, every, error))
            return false;
        set_liste_voxels(live->player().lists(), live->player().list_count());
        return true;
    };
    const bool ok = movie.empty()
                        ? vv::write_frame_pngs(pictures, view, shot_dir, shot_w, shot_h, error)
                        : vv::write_movie(pictures, view, movie, shot_w, shot_h, error);
    if (!ok)
        complain(error);
    return ok ? 0 : 1;
}

// LAMMPS (built without exceptions) ends the process itself on an error:
// its ERROR line is printed, MPI finalized, exit(1) called, on every rank.
// This says whose error it was and, in a window, keeps the last frame up
// with the title saying what happened until Escape or the window closes;
// the exit then goes on with LAMMPS's status. No LAMMPS or MPI call may
// follow, so the session is let go rather than closed.
void live_exit_note() {
    if (!live || live_closed || !live->busy())
        return; // not LAMMPS's exit: freeglut's, say, with no display
    live_closed = true;
    vv::LiveSession *session = live.release();
    if (live_rank != 0) {
        // mpirun ends the whole job, rank 0's window too, when a rank exits
        // with a failure; rank 0 reports it.
        std::fflush(nullptr);
        _exit(0);
    }
    session->stopped("stopped on a LAMMPS error (its ERROR line is on the terminal)");
    std::fprintf(stderr, "vorlix-view: %s: LAMMPS stopped on an error at step %lld\n", file.c_str(),
                 static_cast<long long>(session->player().frame().timestep));
    if (!looping) {
        vv::abandon_movie(); // the exit would leave ffmpeg's part file
        return;
    }
    live.reset(session); // drawn from here on; never freed (exit runs on)
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutSetWindowTitle(title().c_str());
    glutPostRedisplay();
    holding = true;
    while (holding) {
        glutMainLoopEvent();
        usleep(10000);
    }
    live.release();
}

// Every rank: LAMMPS started on the script, at its first run; ranks other
// than 0 then follow rank 0's chunks and never open a window. The exit
// status for a rank that is done (or a failure), or -1 to go on.
int open_live(const vv::Options &o, int &argc, char **&argv) {
    vv::LiveSession::init_mpi(argc, argv);
    live = std::make_unique<vv::LiveSession>();
    std::atexit(live_exit_note);
    std::string error;
    const int status = live->start(o.file, o.vars, o.colour_by, o.every, error);
    if (status != 0) {
        if (live->rank() == 0)
            complain(error);
        live_closed = true;
        live->finish();
        return status;
    }
    live_rank = live->rank();
    if (live_rank != 0) {
        const int done = live->follow();
        live_closed = true;
        live->finish();
        return done;
    }
    live_steps = o.steps;
    live_every = o.every;
    return -1;
}
#endif

void display() {
    view.apply();
    if (save_pending) {
        save_pending = false;
        use_table(false); // a saved picture has every point
        const int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
        const std::string out = vv::next_save_name();
        if (save_or_complain(out, w, h))
            std::printf("saved %s\n", out.c_str());
        std::fflush(stdout);
        vorlix_reshape(w, h); // back to the window for the frame below
    }
    use_table(moving);
    float m[16];
    view.matrix(m);
    vorlix_render(m);
}

void keyboard(unsigned char key, int, int) {
    if (player && playback_key(key))
        return;
#ifdef VORLIX_HAVE_LAMMPS
    if (live && live_key(key))
        return;
#endif
    switch (view.key(key)) {
    case vv::View::Action::Quit:
#ifdef VORLIX_HAVE_LAMMPS
        if (holding) { // exit is under way; it goes on with LAMMPS's status
            holding = false;
            return;
        }
        end_live();
#endif
        std::exit(0);
    case vv::View::Action::Save:
        save_pending = true;
        glutPostRedisplay();
        break;
    case vv::View::Action::NextColouring: {
        std::string error;
        // A live run has type and the quantity it gathers.
        if (vv::Player *p = shown_player()) {
            if (!p->colour_by(p->next_colouring(), error))
                complain(error);
            glutSetWindowTitle(title().c_str());
            glutPostRedisplay();
            break;
        }
        const std::string next = vv::next_colouring(cloud, colouring);
        if (!vv::colour_by(cloud, next, error)) {
            complain(error);
            break;
        }
        colouring = next;
        vv::refresh_subsample(cloud, sample);
        glutSetWindowTitle(title().c_str());
        glutPostRedisplay();
        break;
    }
    case vv::View::Action::Redraw:
        if (key == '+' || key == '=' || key == '-' || key == '_')
            moved();
        else
            glutPostRedisplay();
        break;
    case vv::View::Action::None:
        break;
    }
}

void mouse(int button, int state, int x, int y) {
    if (button == GLUT_LEFT_BUTTON || button == GLUT_MIDDLE_BUTTON) {
        const bool pan = button == GLUT_MIDDLE_BUTTON || (glutGetModifiers() & GLUT_ACTIVE_SHIFT);
        dragging = state != GLUT_DOWN ? Drag::None : pan ? Drag::Pan : Drag::Orbit;
        drag_x = x;
        drag_y = y;
    } else if ((button == 3 || button == 4) && state == GLUT_DOWN) {
        // freeglut reports the wheel as buttons 3 (away: closer) and 4.
        view.zoom_steps(button == 3 ? 1 : -1);
        moved();
    }
}

void motion(int x, int y) {
    if (dragging == Drag::None)
        return;
    if (dragging == Drag::Pan)
        view.pan_by(x - drag_x, y - drag_y, glutGet(GLUT_WINDOW_HEIGHT));
    else
        view.drag(x - drag_x, y - drag_y);
    drag_x = x;
    drag_y = y;
    moved();
}

// A point cloud, loaded and coloured; the exit status on failure, else 0.
int open_cloud(const vv::Options &o) {
    std::string error;
    if (o.frame >= 0 || o.frames_given) {
        complain(o.file + ": --frame and --frames are for trajectories");
        return 2;
    }
    if (!vv::load_cloud(o.file, cloud, error)) {
        complain(error);
        return 1;
    }
    if (cloud.skipped > 0)
        std::fprintf(stderr,
                     "vorlix-view: %s: skipped %zu points with NaN or infinite coordinates\n",
                     o.file.c_str(), cloud.skipped);
    colouring = cloud.file_colours ? "file" : "height";
    if (!o.colour_by.empty()) {
        const std::vector<std::string> names = vv::colourings(cloud);
        const bool known = std::find(names.begin(), names.end(), o.colour_by) != names.end();
        if (!vv::colour_by(cloud, o.colour_by, error)) {
            complain(o.file + ": " + error);
            return known ? 1 : 2; // 2: a name the command line got wrong
        }
        colouring = o.colour_by;
    }
    // A screenshot always draws every point: no subsample to build.
    if (!headless() && !vv::build_subsample(cloud, o.lod, sample))
        complain(o.file + ": no memory for a subsample of " + std::to_string(o.lod) +
                 " points; every frame draws all");
    return 0;
}

// A trajectory, scanned, with its first frame (or --frame's) in the nodes.
int open_player(const vv::Options &o) {
    std::string error;
    player = std::make_unique<vv::Player>();
    {
        vv::Progress progress("reading frames");
        if (!player->open(o.file, o.range_per_frame, error, std::ref(progress))) {
            complain(error);
            return 1;
        }
    }
    if (!player->warning().empty())
        complain(player->warning());
    if (player->skipped() > 0)
        complain(o.file + ": skipped " + std::to_string(player->skipped()) +
                 " atom rows with NaN or infinite positions");
    const std::size_t n = player->frames();
    const unsigned long long asked = o.frames_given ? o.frames_first : o.frame;
    if ((o.frame >= 0 || o.frames_given) && asked >= n) {
        complain(o.file + ": no frame " + std::to_string(asked) + " (" + std::to_string(n) +
                 " frames, numbered from 0)");
        return 2;
    }
    if (o.frame >= 0) {
        if (!player->read(static_cast<std::size_t>(o.frame), error)) {
            complain(error);
            return 1;
        }
    }
    if (!o.colour_by.empty() && !player->colour_by(o.colour_by, error)) {
        complain(o.file + ": " + error);
        return 2;
    }
    if (!headless()) {
        reader = std::make_unique<vv::FrameReader>(player->trajectory());
        reader->request(player->target(vv::Player::Step::Forward));
    }
    return 0;
}

} // namespace

// Where the program's input comes from: a trajectory, a running
// simulation, or a point cloud; the exit status on failure, -1 to go on.
int open_input(const vv::Options &o, int &argc, char **&argv) {
    if (o.lammps) {
#ifdef VORLIX_HAVE_LAMMPS
        return open_live(o, argc, argv);
#else
        (void)argc;
        (void)argv;
        complain("--lammps: this vorlix-view was built without LAMMPS's library (liblammps-dev)");
        return 2;
#endif
    }
    const int status = vv::is_trajectory(o.file) ? open_player(o) : open_cloud(o);
    return status == 0 ? -1 : status;
}

int main(int argc, char **argv) {
    std::string error;
    const std::optional<vv::Options> options = vv::parse_options(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "vorlix-view: %s\n%s\n", error.c_str(), vv::kUsage);
        return 2;
    }
    if (options->help) {
        std::printf("%s\n", vv::kUsage);
#ifndef VORLIX_HAVE_LAMMPS
        std::printf("(built without LAMMPS's library: --lammps is not available)\n");
#endif
        return 0;
    }
    file = options->file;
    screenshot = options->screenshot;
    shot_dir = options->screenshot_dir;
    movie = options->movie;
    span = {options->frames_first, options->frames_last, options->frames_step};
    const int status = open_input(*options, argc, argv);
    if (status >= 0)
        return status;
    view = vv::View(options->yaw, options->pitch);

    // GLUT gets only the program name: the command line is ours.
    int glut_argc = 1;
    glutInit(&glut_argc, argv);
    shot_w = options->width;
    shot_h = options->height;
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    // A screenshot is drawn off screen at its own size, so the window only
    // carries the OpenGL context: keep it small.
    glutInitWindowSize(headless() ? 16 : options->width, headless() ? 16 : options->height);
    const int window = glutCreateWindow(title().c_str());

    init_transformation();
    view.apply();
    use_table(false);
    // freeglut maps a window only when its event loop runs, so a batch of
    // thumbnails never shows one or takes input meant for another.
    if (headless()) {
#ifdef VORLIX_HAVE_LAMMPS
        const int status = live ? shoot_live() : shoot();
        end_live();
#else
        const int status = shoot();
#endif
        glutDestroyWindow(window);
        glutExit();
        return status;
    }

    glutReshapeFunc(vorlix_reshape);
    glutDisplayFunc(display);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
#ifdef VORLIX_HAVE_LAMMPS
    if (live) {
        // Closing the window ends LAMMPS on every rank as Escape does.
        glutCloseFunc(close_live);
        // Again, to run before freeglut's own exit handler, which destroys
        // the window; the first registration covers errors before it.
        std::atexit(live_exit_note);
        ticking = true;
        glutTimerFunc(0, live_tick, 0);
    }
#endif
    looping = true;
    glutMainLoop();
    return 0;
}
