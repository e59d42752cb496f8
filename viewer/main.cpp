// vorlix-view: the GLUT side. The file is loaded in full before any window
// exists, so bad input ends with a message and never with a half-drawn frame.
#include "viewer/cloud.h"
#include "viewer/colour.h"
#include "viewer/formats/load.h"
#include "viewer/lod.h"
#include "viewer/offscreen.h"
#include "viewer/options.h"
#include "viewer/png.h"
#include "viewer/view.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

vv::Cloud cloud;
vv::View view;
std::string file;
std::string colouring;  // what the points are coloured by now
std::string screenshot; // headless: render once into this file and exit
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

// Headless: one frame into the file, then the exit status.
int shoot() {
    view.apply();
    return save_or_complain(screenshot, shot_w, shot_h) ? 0 : 1;
}

// The title tells what the colours mean.
std::string title() {
    return "vorlix-view: " + file + " (colour: " + vv::describe_colouring(cloud, colouring) + ")";
}

// Registers the table the next frame draws: in cube mode, only as many of
// the subsample's leading lists as cost what the points would.
void use_table(bool coarse) {
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
    switch (view.key(key)) {
    case vv::View::Action::Quit:
        std::exit(0);
    case vv::View::Action::Save:
        save_pending = true;
        glutPostRedisplay();
        break;
    case vv::View::Action::NextColouring: {
        std::string error;
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

} // namespace

int main(int argc, char **argv) {
    std::string error;
    const std::optional<vv::Options> options = vv::parse_options(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "vorlix-view: %s\n%s\n", error.c_str(), vv::kUsage);
        return 2;
    }
    if (options->help) {
        std::printf("%s\n", vv::kUsage);
        return 0;
    }
    if (!vv::load_cloud(options->file, cloud, error)) {
        complain(error);
        return 1;
    }
    if (cloud.skipped > 0)
        std::fprintf(stderr,
                     "vorlix-view: %s: skipped %zu points with NaN or infinite coordinates\n",
                     options->file.c_str(), cloud.skipped);
    file = options->file;
    colouring = cloud.file_colours ? "file" : "height";
    if (!options->colour_by.empty()) {
        const std::vector<std::string> names = vv::colourings(cloud);
        const bool known = std::find(names.begin(), names.end(), options->colour_by) != names.end();
        if (!vv::colour_by(cloud, options->colour_by, error)) {
            complain(options->file + ": " + error);
            return known ? 1 : 2; // 2: a name the command line got wrong
        }
        colouring = options->colour_by;
    }
    screenshot = options->screenshot;
    // A screenshot always draws every point: no subsample to build.
    if (screenshot.empty() && !vv::build_subsample(cloud, options->lod, sample))
        complain(options->file + ": no memory for a subsample of " + std::to_string(options->lod) +
                 " points; every frame draws all");
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
    glutInitWindowSize(screenshot.empty() ? options->width : 16,
                       screenshot.empty() ? options->height : 16);
    const int window = glutCreateWindow(title().c_str());

    init_transformation();
    view.apply();
    set_liste_voxels(cloud.lists.data(), static_cast<unsigned int>(cloud.lists.size()));
    // freeglut maps a window only when its event loop runs, so a batch of
    // thumbnails never shows one or takes input meant for another.
    if (!screenshot.empty()) {
        const int status = shoot();
        glutDestroyWindow(window);
        glutExit();
        return status;
    }

    glutReshapeFunc(vorlix_reshape);
    glutDisplayFunc(display);
    glutKeyboardFunc(keyboard);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutMainLoop();
    return 0;
}
