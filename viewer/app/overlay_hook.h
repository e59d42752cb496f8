// The overlay of what the program shows now, and how it reaches the window.
//
// The library ends each frame with glutSwapBuffers, inside vorlix_render, so
// an overlay drawn after vorlix_render returns would land in the next
// frame's back buffer, and one drawn before it would be cleared. This file
// defines glutSwapBuffers in the executable: the dynamic linker binds the
// library's call to the executable's definition (the executable comes first
// in the lookup, and ld exports the symbol because libvorlix.so refers to
// it), which draws the overlay into the back buffer and then calls
// freeglut's own through dlsym(RTLD_NEXT). The library is untouched. The
// overlay is drawn only while a SwapOverlay lives (display()), so the swaps
// of off-screen pictures, which draw their own overlay, pass through.
#ifndef VORLIX_VIEWER_APP_OVERLAY_HOOK_H
#define VORLIX_VIEWER_APP_OVERLAY_HOOK_H

#include "viewer/output/legend.h"

namespace vv {

// The legend and label of the input shown (a trajectory's, a live run's or
// a cloud's); empty under --no-overlay.
Overlay shown_overlay();

// While one lives, the library's swap draws the window's overlay and
// timeline first.
struct SwapOverlay {
    SwapOverlay();
    ~SwapOverlay();
    SwapOverlay(const SwapOverlay &) = delete;
    SwapOverlay &operator=(const SwapOverlay &) = delete;
};

// The frame a left press at window point (x, y) asks for on the timeline
// (`held`: a drag that began on it), -1 when it is off the timeline or no
// timeline is drawn.
long timeline_press(int x, int y, bool held);

} // namespace vv

#endif
