#include "viewer/app/window.h"
#include "viewer/app/live_hooks.h"
#include "viewer/app/moving.h"
#include "viewer/app/overlay_hook.h"
#include "viewer/app/playback.h"
#include "viewer/app/state.h"
#include "viewer/cloud/colour.h"
#include "viewer/cloud/subsample.h"
#include "viewer/output/headless.h"
#include "viewer/output/png.h"
#include "viewer/output/style.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>

namespace vv {

std::string title() {
    if (app.live)
        return "vorlix-view: " + app.file + ": " + live_describe();
    if (app.player)
        return "vorlix-view: " + app.file + ": " + app.player->describe();
    return "vorlix-view: " + app.file +
           " (colour: " + describe_colouring(app.cloud, app.colouring) + ")";
}

void retitle() {
    glutSetWindowTitle(title().c_str());
}

namespace {

void display() {
    app.view.frame(glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
    app.view.apply();
    if (app.save_pending) {
        app.save_pending = false;
        use_table(false); // a saved picture has every point
        const int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
        const std::string out = next_save_name();
        if (save_picture(out, w, h))
            std::printf("saved %s\n", out.c_str());
        std::fflush(stdout);
        vorlix_reshape(w, h); // back to the window for the frame below
    }
    use_table(app.moving);
    float m[16];
    app.view.matrix(m);
    const SwapOverlay overlay; // the overlay goes in at the library's swap (app/overlay_hook.h)
    render_styled(app.view, m);
}

// F: the next colouring of the player (a live run has type and the quantity
// it gathers) or of the cloud, whose subsample takes the new colours.
void next_colouring() {
    std::string error;
    if (Player *p = shown_player()) {
        if (!p->colour_by(p->next_colouring(), error))
            complain(error);
        retitle();
        glutPostRedisplay();
        return;
    }
    const std::string next = vv::next_colouring(app.cloud, app.colouring);
    if (!colour_by(app.cloud, next, error)) {
        complain(error);
        return;
    }
    app.colouring = next;
    refresh_subsample(app.cloud, app.sample);
    retitle();
    glutPostRedisplay();
}

void keyboard(unsigned char key, int, int) {
    if (app.player && playback_key(key))
        return;
    if (app.live && live_key(key))
        return;
    switch (app.view.key(key)) {
    case View::Action::Quit:
        if (app.live && quit_live())
            return;
        std::exit(0);
    case View::Action::Save:
        app.save_pending = true;
        glutPostRedisplay();
        break;
    case View::Action::NextColouring:
        next_colouring();
        break;
    case View::Action::Moved:
        moved();
        break;
    case View::Action::Redraw:
        glutPostRedisplay();
        break;
    case View::Action::None:
        break;
    }
}

void special(int key, int, int) {
    if (app.player)
        playback_special(key);
}

void mouse(int button, int state, int x, int y) {
    // A press on the timeline seeks, and its drag goes on seeking; no orbit.
    const long frame =
        button == GLUT_LEFT_BUTTON && state == GLUT_DOWN ? timeline_press(x, y, false) : -1;
    if (frame >= 0) {
        app.dragging = App::Drag::Timeline;
        seek(static_cast<std::size_t>(frame));
    } else if (button == GLUT_LEFT_BUTTON || button == GLUT_MIDDLE_BUTTON) {
        const bool pan = button == GLUT_MIDDLE_BUTTON || (glutGetModifiers() & GLUT_ACTIVE_SHIFT);
        app.dragging = state != GLUT_DOWN ? App::Drag::None
                       : pan              ? App::Drag::Pan
                                          : App::Drag::Orbit;
        app.drag_x = x;
        app.drag_y = y;
    } else if ((button == 3 || button == 4) && state == GLUT_DOWN) {
        // freeglut reports the wheel as buttons 3 (away: closer) and 4.
        app.view.zoom_steps(button == 3 ? 1 : -1);
        moved();
    }
}

void motion(int x, int y) {
    if (app.dragging == App::Drag::None)
        return;
    if (app.dragging == App::Drag::Timeline) {
        const long frame = timeline_press(x, y, true);
        if (frame >= 0 && static_cast<std::size_t>(frame) != app.player->shown())
            seek(static_cast<std::size_t>(frame));
        return;
    }
    if (app.dragging == App::Drag::Pan)
        app.view.pan_by(x - app.drag_x, y - app.drag_y, glutGet(GLUT_WINDOW_HEIGHT));
    else
        app.view.drag(x - app.drag_x, y - app.drag_y);
    app.drag_x = x;
    app.drag_y = y;
    moved();
}

} // namespace

int create_window(const Options &o, char **argv) {
    app.overlay = o.overlay;
    app.shot_w = o.width;
    app.shot_h = o.height;
    app.view.frame(o.width, o.height);
    // A batch of frames parses them on every core; Mesa's software
    // rasteriser threads would take turns with those readers on the same
    // cores and cost more than they give: 13% of a batch's time, measured at
    // 200x200 and 640x640. A user's own setting stands; other drivers ignore it.
    if (app.player && (!app.shot_dir.empty() || !app.movie.empty()))
        setenv("LP_NUM_THREADS", "0", 0);
    int glut_argc = 1;
    glutInit(&glut_argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    const bool small = app.headless();
    glutInitWindowSize(small ? 16 : o.width, small ? 16 : o.height);
    const int window = glutCreateWindow(title().c_str());
    init_transformation();
    app.view.apply();
    use_table(false);
    return window;
}

void run_window() {
    glutReshapeFunc(vorlix_reshape);
    glutDisplayFunc(display);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    if (app.live)
        start_live_window();
    watch_whole_run();
    app.looping = true;
    glutMainLoop();
    std::exit(0);
}

} // namespace vv
