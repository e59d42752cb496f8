// The overlay drawn on the picture itself, over the library's frame: the
// colour legend and the frame label (output/legend.h says what they hold),
// in the window and in every saved picture and movie frame; and the
// window's timeline. Text is freeglut's 18-pixel Helvetica bitmap font,
// light on a dark backing: glBitmap draws the same into the window and into
// a framebuffer object, needs no texture or font file, and its capitals
// (13 pixels) read at 640x480.
//
// Each call needs the current OpenGL context and draws into the bound
// framebuffer's 0,0..w,h; it leaves every piece of OpenGL state as it found
// it (attributes, matrices, the program), so the library's next frame is
// drawn as if no overlay had been.
#ifndef VORLIX_VIEWER_OUTPUT_OVERLAY_H
#define VORLIX_VIEWER_OUTPUT_OVERLAY_H

#include "viewer/output/legend.h"

#include <cstddef>

namespace vv {

// The legend at the top right, the label at the top left. Nothing for an
// empty overlay; nothing either in a picture smaller than 120x100, where
// they would hide the atoms.
void draw_overlay(const Overlay &overlay, int w, int h);

// The timeline along the bottom of a w x h window: frame `frame` of
// `frames`. Nothing for fewer than 2 frames or a window under 60x40.
void draw_timeline(std::size_t frame, std::size_t frames, int w, int h);
// The frame a press at window point (x, y) (GLUT's: y from the top) asks
// for on the timeline of `frames` frames; -1 when the point is off the bar
// or no bar is drawn. A drag that started on the bar (`held`) seeks by x
// alone, pulled back onto the bar's ends.
long timeline_frame(int x, int y, int w, int h, std::size_t frames, bool held = false);

// Where the legend's colours sit in a w x h picture, for the tests that
// probe them: the bar's pixel columns x0..x1 and rows y0..y1 (y from the
// bottom; the map's 0 at y0, its 1 at y1); swatch i is the square of rows
// y1 - i*row - (row - 5) .. y1 - i*row - 4 in the same columns.
struct BarPlace {
    int x0, x1, y0, y1, row;
};
BarPlace legend_bar_place(int w, int h);

} // namespace vv

#endif
