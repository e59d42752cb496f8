#include "viewer/app/moving.h"
#include "viewer/app/state.h"
#include "viewer/cloud/subsample.h"

#include <GL/freeglut.h>

namespace vv {

namespace {

// The timer runs once per pause, not once per event: it re-arms itself for
// what is left of kSettleMs since the latest input.
void settle(int) {
    const int idle = glutGet(GLUT_ELAPSED_TIME) - app.last_input;
    if (idle < kSettleMs) {
        glutTimerFunc(static_cast<unsigned int>(kSettleMs - idle), settle, 0);
        return;
    }
    app.settle_armed = false;
    app.moving = false;
    glutPostRedisplay();
}

} // namespace

void moved() {
    glutPostRedisplay();
    if (app.sample.count == 0)
        return;
    app.moving = true;
    app.last_input = glutGet(GLUT_ELAPSED_TIME);
    if (!app.settle_armed) {
        app.settle_armed = true;
        glutTimerFunc(kSettleMs, settle, 0);
    }
}

void use_table(bool coarse) {
    if (Player *p = shown_player()) {
        set_liste_voxels(p->lists(), p->list_count());
        return;
    }
    const bool lod = coarse && app.sample.count > 0;
    const Cloud &c = lod ? app.sample : app.cloud;
    const std::size_t cost = app.view.style == Style::Cubes     ? kCubeCost
                             : app.view.style == Style::Spheres ? kSphereCost
                                                                : 1;
    const std::size_t lists =
        lod && cost > 1 ? leading_lists(app.sample, app.sample.count / cost) : c.lists.size();
    set_liste_voxels(c.lists.data(), static_cast<unsigned int>(lists));
}

} // namespace vv
