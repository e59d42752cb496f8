#include "viewer/output/headless.h"
#include "viewer/app/live_hooks.h"
#include "viewer/app/open.h"
#include "viewer/app/overlay_hook.h"
#include "viewer/app/state.h"
#include "viewer/output/offscreen.h"

#include <GL/freeglut.h>

namespace vv {

bool save_picture(const std::string &path, int w, int h) {
    std::string error;
    const Overlay overlay = shown_overlay();
    if (save_frame(path, app.view, w, h, error, &overlay))
        return true;
    complain(error);
    return false;
}

namespace {

// One frame into the file, or the span of frames into files or a movie.
int shoot() {
    app.view.apply();
    if (!app.screenshot.empty())
        return save_picture(app.screenshot, app.shot_w, app.shot_h) ? 0 : 1;
    std::string error;
    Pictures pictures;
    pictures.overlay = shown_overlay;
    const bool ok = frame_pictures(*app.player, app.span, pictures, error) &&
                    (app.movie.empty() ? write_frame_pngs(pictures, app.view, app.shot_dir,
                                                          app.shot_w, app.shot_h, error)
                                       : write_movie(pictures, app.view, app.movie, app.shot_w,
                                                     app.shot_h, error, app.movie_under_way));
    if (!ok)
        complain(error);
    else if (app.skipped_untold)
        complain_skipped();
    return ok ? 0 : 1;
}

} // namespace

int run_headless(int window) {
    const int status = app.live ? shoot_live() : shoot();
    if (app.live)
        end_live();
    glutDestroyWindow(window);
    glutExit();
    return status;
}

} // namespace vv
