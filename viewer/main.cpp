// vorlix-view: the GLUT side. The file is loaded in full before any window
// exists, so bad input ends with a message and never with a half-drawn frame.
#include "viewer.h"

#include <GL/freeglut.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace {

vv::Cloud cloud;
vv::View view;
std::string screenshot; // headless: render once into this file and exit
int shot_w = 0, shot_h = 0;
bool save_pending = false;
int drag_x = 0, drag_y = 0;
bool dragging = false;

// Renders one frame into an off-screen framebuffer of w x h and reads it back
// as RGB rows from the bottom up. The window's own buffers are no use for
// this: vorlix_render swaps them, after which the back buffer is undefined,
// and on Mesa under Xvfb the front buffer reads back black. An off-screen
// target also does not depend on the window being visible or on the screen
// being as large as the picture. The swap that vorlix_render still does only
// exchanges the window's buffers, which the next ordinary frame redraws.
bool render_offscreen(int w, int h, std::vector<unsigned char> &rgb, std::string &error) {
#define VIEWER_GL(type, name) const auto name = reinterpret_cast<type>(glutGetProcAddress(#name))
    VIEWER_GL(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers);
    VIEWER_GL(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer);
    VIEWER_GL(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers);
    VIEWER_GL(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers);
    VIEWER_GL(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer);
    VIEWER_GL(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers);
    VIEWER_GL(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage);
    VIEWER_GL(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer);
    VIEWER_GL(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus);
#undef VIEWER_GL
    if (!glGenFramebuffers || !glBindFramebuffer || !glDeleteFramebuffers || !glGenRenderbuffers ||
        !glBindRenderbuffer || !glDeleteRenderbuffers || !glRenderbufferStorage ||
        !glFramebufferRenderbuffer || !glCheckFramebufferStatus) {
        error = "this OpenGL has no framebuffer objects to render a screenshot into";
        return false;
    }
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    if (w > max_size || h > max_size) {
        error = "a screenshot of " + std::to_string(w) + "x" + std::to_string(h) +
                " is larger than this OpenGL allows (" + std::to_string(max_size) + ")";
        return false;
    }
    GLuint fbo = 0, rb[2] = {0, 0};
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glGenRenderbuffers(2, rb);
    glBindRenderbuffer(GL_RENDERBUFFER, rb[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glBindRenderbuffer(GL_RENDERBUFFER, rb[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, rb[1]);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete) {
        float m[16];
        view.matrix(m);
        vorlix_reshape(w, h);
        vorlix_render(m);
        glFinish();
        rgb.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 0);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        glReadBuffer(GL_BACK);
    } else {
        error = "cannot set up an off-screen framebuffer of " + std::to_string(w) + "x" +
                std::to_string(h);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(2, rb);
    glDeleteFramebuffers(1, &fbo);
    return complete;
}

// The first name vorlix-view-N.png not yet taken in the current directory.
std::string next_save_name() {
    for (int n = 1;; ++n) {
        const std::string name = "vorlix-view-" + std::to_string(n) + ".png";
        struct stat st;
        if (stat(name.c_str(), &st) != 0)
            return name;
    }
}

// One frame of w x h off screen into a PNG file; a failure is told on stderr.
bool save_frame(const std::string &path, int w, int h) {
    std::vector<unsigned char> rgb;
    std::string error;
    if (render_offscreen(w, h, rgb, error) && vv::write_png(path, w, h, rgb.data(), error))
        return true;
    std::fprintf(stderr, "vorlix-view: %s\n", error.c_str());
    return false;
}

// Headless: one frame into the file, then the exit status.
int shoot() {
    view.apply();
    return save_frame(screenshot, shot_w, shot_h) ? 0 : 1;
}

void display() {
    view.apply();
    if (save_pending) {
        save_pending = false;
        const int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
        const std::string out = next_save_name();
        if (save_frame(out, w, h))
            std::printf("saved %s\n", out.c_str());
        std::fflush(stdout);
        vorlix_reshape(w, h); // back to the window for the frame below
    }
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
    case vv::View::Action::Redraw:
        glutPostRedisplay();
        break;
    case vv::View::Action::None:
        break;
    }
}

void mouse(int button, int state, int x, int y) {
    if (button == GLUT_LEFT_BUTTON) {
        dragging = state == GLUT_DOWN;
        drag_x = x;
        drag_y = y;
    } else if ((button == 3 || button == 4) && state == GLUT_DOWN) {
        // freeglut reports the wheel as buttons 3 (away: closer) and 4.
        view.zoom_steps(button == 3 ? 1 : -1);
        glutPostRedisplay();
    }
}

void motion(int x, int y) {
    if (!dragging)
        return;
    view.drag(x - drag_x, y - drag_y);
    drag_x = x;
    drag_y = y;
    glutPostRedisplay();
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
        std::fprintf(stderr, "vorlix-view: %s\n", error.c_str());
        return 1;
    }
    if (cloud.skipped > 0)
        std::fprintf(stderr,
                     "vorlix-view: %s: skipped %zu points with NaN or infinite coordinates\n",
                     options->file.c_str(), cloud.skipped);
    screenshot = options->screenshot;
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
    const int window = glutCreateWindow(("vorlix-view: " + options->file).c_str());

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
