#include "viewer/app/overlay_hook.h"
#include "viewer/app/live_hooks.h"
#include "viewer/app/state.h"
#include "viewer/output/overlay.h"

#include <GL/freeglut.h>
#include <dlfcn.h>

namespace vv {

namespace {

// The timeline's frames: a trajectory's in the window, with the overlay on.
std::size_t timeline_frames() {
    return app.player && app.overlay ? app.player->frames() : 0;
}

} // namespace

Overlay shown_overlay() {
    if (!app.overlay)
        return Overlay();
    if (app.live)
        return player_overlay(*live_player(), true);
    if (app.player)
        return player_overlay(*app.player, false);
    return cloud_overlay(app.cloud, app.colouring);
}

SwapOverlay::SwapOverlay() {
    app.swap_overlay = true;
}

SwapOverlay::~SwapOverlay() {
    app.swap_overlay = false;
}

long timeline_press(int x, int y, bool held) {
    return timeline_frame(x, y, glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT),
                          timeline_frames(), held);
}

namespace {

// Called for the window's frames only, between the library's drawing and
// the swap.
void draw_window_overlay() {
    const int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
    draw_overlay(shown_overlay(), w, h);
    if (timeline_frames() > 0)
        draw_timeline(app.player->shown(), timeline_frames(), w, h);
}

} // namespace

} // namespace vv

extern "C" void glutSwapBuffers(void) {
    using Swap = void (*)(void);
    static const Swap freeglut_swap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "glutSwapBuffers"));
    if (vv::app.swap_overlay)
        vv::draw_window_overlay();
    if (freeglut_swap)
        freeglut_swap();
}
