#include "viewer/output/overlay.h"

#include <GL/freeglut.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace vv {

namespace {

void *const kFont = GLUT_BITMAP_HELVETICA_18;
constexpr int kRow = 20;    // a line of text: 18-pixel font, 2 between
constexpr int kMargin = 8;  // from the picture's edges
constexpr int kPad = 4;     // inside a backing
constexpr int kDescent = 5; // below the baseline in a row
constexpr int kBarWidth = 18;

int text_width(const std::string &s) {
    return glutBitmapLength(kFont, reinterpret_cast<const unsigned char *>(s.c_str()));
}

// s with its baseline's left end at (x, y), in the light text colour.
void text(const std::string &s, int x, int y) {
    glColor3f(0.95f, 0.95f, 0.95f);
    glRasterPos2i(x, y);
    for (unsigned char c : s)
        glutBitmapCharacter(kFont, c);
}

// The dark, slightly see-through backing text stands on.
void backing(int x0, int y0, int x1, int y1) {
    glColor4f(0, 0, 0, 0.7f);
    glRecti(x0, y0, x1, y1);
}

void colour(const float rgb[3]) {
    glColor3f(rgb[0], rgb[1], rgb[2]);
}

// The state a 2-D overlay needs, set and put back: every attribute group
// (client ones too), both matrices, and the program some style may have
// bound, which glPushAttrib does not keep.
class Flat {
  public:
    Flat(int w, int h) {
        use_program_ = reinterpret_cast<PFNGLUSEPROGRAMPROC>(glutGetProcAddress("glUseProgram"));
        if (use_program_) {
            glGetIntegerv(GL_CURRENT_PROGRAM, &program_);
            use_program_(0);
        }
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, w, 0, h, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glViewport(0, 0, w, h);
        for (GLenum cap : {GL_DEPTH_TEST, GL_LIGHTING, GL_TEXTURE_1D, GL_TEXTURE_2D, GL_FOG,
                           GL_ALPHA_TEST, GL_CULL_FACE, GL_SCISSOR_TEST, GL_STENCIL_TEST,
                           GL_COLOR_MATERIAL, GL_POINT_SPRITE, GL_COLOR_LOGIC_OP, GL_DITHER})
            glDisable(cap);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glShadeModel(GL_FLAT);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    }
    ~Flat() {
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glPopClientAttrib();
        glPopAttrib(); // the matrix mode with it
        if (use_program_)
            use_program_(static_cast<GLuint>(program_));
    }
    Flat(const Flat &) = delete;
    Flat &operator=(const Flat &) = delete;

  private:
    PFNGLUSEPROGRAMPROC use_program_ = nullptr;
    GLint program_ = 0;
};

// The legend's title: the quantity, and its scope when it has one.
std::string title_of(const Legend &legend) {
    return legend.scope.empty() ? legend.name : legend.name + " (" + legend.scope + ")";
}

void draw_bar(const Legend &legend, const BarPlace &bar, int w) {
    const std::vector<std::string> numbers = legend_numbers(legend.range);
    int widest = 0;
    for (const std::string &n : numbers)
        widest = std::max(widest, text_width(n));
    if (numbers.empty())
        widest = text_width("no finite values");
    const std::string title = title_of(legend);
    const int left =
        std::max(0, std::min(bar.x0 - kPad - widest - kPad, bar.x1 - text_width(title)) - kPad);
    backing(left, bar.y0 - kRow / 2 - kPad, w - kMargin, bar.y1 + kRow + kPad);
    text(title, std::max(left + kPad, bar.x1 + 1 - text_width(title)), bar.y1 + kDescent + 2);
    const int rows = bar.y1 - bar.y0 + 1;
    float rgb[3];
    if (numbers.empty()) {
        // No finite value: every atom is the missing grey.
        glColor3f(kMissingGrey, kMissingGrey, kMissingGrey);
        glRecti(bar.x0, bar.y0, bar.x1 + 1, bar.y1 + 1);
        text("no finite values", bar.x0 - kPad - widest, (bar.y0 + bar.y1) / 2 - kDescent);
        return;
    }
    // A row of pixels per step of the map, so each row is the map's own
    // colour; one value (lo equal to hi) colours all as the map's middle.
    for (int i = 0; i < rows; ++i) {
        legend.map(numbers.size() == 1 ? 0.5f : (static_cast<float>(i) + 0.5f) / rows, rgb);
        colour(rgb);
        glRecti(bar.x0, bar.y0 + i, bar.x1 + 1, bar.y0 + i + 1);
    }
    const int at[3] = {bar.y0, (bar.y0 + bar.y1) / 2, bar.y1};
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        const int y = numbers.size() == 1 ? at[1] : at[k];
        text(numbers[k], bar.x0 - kPad - text_width(numbers[k]), y - kDescent);
    }
}

void draw_swatches(const Legend &legend, const BarPlace &bar, int w) {
    const std::size_t n = legend.swatches.size() + (legend.more > 0);
    int widest = text_width(legend.name);
    for (const Swatch &s : legend.swatches)
        widest = std::max(widest, text_width(s.label) + kPad + kBarWidth);
    const std::string more = "+" + std::to_string(legend.more) + " more";
    if (legend.more > 0)
        widest = std::max(widest, text_width(more));
    const int bottom = bar.y1 + 1 - static_cast<int>(n) * kRow;
    backing(std::max(0, bar.x1 - widest - kPad), bottom - kPad, w - kMargin, bar.y1 + kRow + kPad);
    text(legend.name, bar.x1 + 1 - text_width(legend.name), bar.y1 + kDescent + 2);
    for (std::size_t i = 0; i < legend.swatches.size(); ++i) {
        const Swatch &s = legend.swatches[i];
        const int top = bar.y1 - static_cast<int>(i) * kRow - 4;
        colour(s.rgb.data());
        glRecti(bar.x0, top - (kRow - 9), bar.x1 + 1, top + 1);
        text(s.label, bar.x0 - kPad - text_width(s.label), top - kRow + kDescent + 4);
    }
    if (legend.more > 0)
        text(more, bar.x1 + 1 - text_width(more), bottom + kDescent - 1);
}

} // namespace

BarPlace legend_bar_place(int w, int h) {
    BarPlace p;
    p.x1 = w - kMargin - kPad - 1;
    p.x0 = p.x1 - kBarWidth + 1;
    p.y1 = h - kMargin - kPad - kRow - 1;
    // A quarter of the height: room for the values, and clear of the
    // middle of the picture, where the atoms are.
    p.y0 = p.y1 - std::clamp(h / 4, 40, 200) + 1;
    p.row = kRow;
    return p;
}

void draw_overlay(const Overlay &overlay, int w, int h) {
    if (overlay.empty() || w < 120 || h < 100)
        return;
    const Flat flat(w, h);
    if (!overlay.label.empty()) {
        const int top = h - kMargin;
        backing(kMargin, top - kRow - 2 * kPad, kMargin + text_width(overlay.label) + 2 * kPad,
                top);
        text(overlay.label, kMargin + kPad, top - kPad - kRow + kDescent);
    }
    const BarPlace bar = legend_bar_place(w, h);
    if (overlay.legend.kind == Legend::Kind::Bar && overlay.legend.map)
        draw_bar(overlay.legend, bar, w);
    else if (overlay.legend.kind == Legend::Kind::Swatches)
        draw_swatches(overlay.legend, bar, w);
}

namespace {

constexpr int kTrackBottom = 6, kTrackTop = 17; // rows of the timeline's bar
constexpr int kReach = 6;                       // a press this far off the bar still hits it

bool timeline_drawn(std::size_t frames, int w, int h) {
    return frames >= 2 && w >= 60 && h >= 40;
}

} // namespace

void draw_timeline(std::size_t frame, std::size_t frames, int w, int h) {
    if (!timeline_drawn(frames, w, h))
        return;
    const Flat flat(w, h);
    const int x0 = kMargin, x1 = w - kMargin;
    backing(x0 - 2, kTrackBottom - 2, x1 + 2, kTrackTop + 2);
    glColor3f(0.3f, 0.3f, 0.3f);
    glRecti(x0, kTrackBottom, x1, kTrackTop);
    const double f = static_cast<double>(std::min(frame, frames - 1)) / (frames - 1);
    const int at = x0 + static_cast<int>(std::lround(f * (x1 - x0)));
    glColor3f(0.65f, 0.65f, 0.7f);
    glRecti(x0, kTrackBottom, at, kTrackTop);
    glColor3f(1, 1, 1);
    glRecti(std::max(x0, at - 2), kTrackBottom - 2, std::min(x1, at + 2), kTrackTop + 2);
}

long timeline_frame(int x, int y, int w, int h, std::size_t frames, bool held) {
    if (!timeline_drawn(frames, w, h))
        return -1;
    const int row = h - 1 - y; // OpenGL's rows count from the bottom
    if (!held && (row < kTrackBottom - kReach || row > kTrackTop + kReach || x < kMargin - kReach ||
                  x > w - kMargin + kReach))
        return -1;
    const double f = std::clamp(static_cast<double>(x - kMargin) / (w - 2 * kMargin), 0.0, 1.0);
    return std::lround(f * static_cast<double>(frames - 1));
}

} // namespace vv
