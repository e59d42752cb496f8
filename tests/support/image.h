// A picture to probe: the frame just drawn (the back buffer) or a PNG file.
// Coordinates are OpenGL's window coordinates for both: x from the left, y
// from the BOTTOM row, so a point projected with eye_to_window() (geometry.h)
// is probed the same way on screen and in a saved file.
//
// Header only, so that a test linking just libpng (no GL) can read files.
#ifndef VORLIX_TEST_IMAGE_H
#define VORLIX_TEST_IMAGE_H

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vt {

using Rgb = std::array<int, 3>; // 0..255 per channel

// Colours the tests look for: full and half intensity (the library's
// overlays draw 0.5, which reads back as 127).
inline const Rgb kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};
inline const Rgb kYellow{255, 255, 0}, kCyan{0, 255, 255}, kMagenta{255, 0, 255};
inline const Rgb kGrey{127, 127, 127}, kDarkRed{127, 0, 0}, kDarkGreen{0, 127, 0},
    kDarkBlue{0, 0, 127};

inline std::string str(const Rgb &c) {
    return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) +
           ")";
}

// A box of pixels, corners included; empty when x1 < x0.
struct Rect {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
};

// Where an image's drawn pixels lie (Image::extent): their box and count.
struct Extent {
    int left = 0, right = -1, bottom = 0, top = -1; // empty: right < left
    int pixels = 0;
};

class Image {
  public:
    // The viewport's pixels after glFinish. The frame's swap leaves the back
    // buffer as it was on Mesa's software GLX (the swap copies), so after
    // vorlix_render it holds exactly the frame shown; the front buffer of such
    // a window reads black, and the X window may be covered by the windows of
    // tests running in parallel. Were the back buffer cleared by the swap,
    // colour probes would fail rather than pass by accident.
    static Image back_buffer() {
        glFinish();
        GLint vp[4];
        glGetIntegerv(GL_VIEWPORT, vp);
        Image img(vp[2], vp[3]);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(vp[0], vp[1], vp[2], vp[3], GL_RGB, GL_UNSIGNED_BYTE, img.rgb_.data());
        return img;
    }

    // An 8-bit RGB reading of a PNG file (rows flipped to bottom first); an
    // unreadable file adds a failure and gives an empty image.
    static Image png(const std::string &path) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path.c_str())) {
            ADD_FAILURE() << path << ": not a readable PNG";
            return Image(0, 0);
        }
        image.format = PNG_FORMAT_RGB;
        Image img(static_cast<int>(image.width), static_cast<int>(image.height));
        // A negative row stride stores the file's first (top) row last.
        const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
        EXPECT_TRUE(png_image_finish_read(&image, nullptr, img.rgb_.data(), stride, nullptr))
            << path;
        return img;
    }

    int width() const { return w_; }
    int height() const { return h_; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < w_ && y < h_; }
    // The pixel at (x, y); outside the image, black.
    Rgb at(int x, int y) const {
        if (!contains(x, y))
            return {0, 0, 0};
        const unsigned char *p = &rgb_[(static_cast<size_t>(y) * w_ + x) * 3];
        return {p[0], p[1], p[2]};
    }
    bool operator==(const Image &o) const { return w_ == o.w_ && h_ == o.h_ && rgb_ == o.rgb_; }

    // Whether some pixel of the square of the given radius about (x, y),
    // inside the image, is want within tol on every channel. Either way the
    // message names want, the pixel at (x, y) and the closest one found.
    ::testing::AssertionResult near(int x, int y, Rgb want, int radius = 0, int tol = 3) const {
        int best = -1, bx = x, by = y;
        for (int py = y - radius; py <= y + radius; ++py)
            for (int px = x - radius; px <= x + radius; ++px) {
                if (!contains(px, py))
                    continue;
                const int d = distance(at(px, py), want);
                if (best < 0 || d < best) {
                    best = d;
                    bx = px;
                    by = py;
                }
            }
        auto result = best >= 0 && best <= tol ? ::testing::AssertionSuccess()
                                               : ::testing::AssertionFailure();
        return result << "expected " << str(want) << " +-" << tol << " within " << radius << " of ("
                      << x << ", " << y << "); observed " << str(at(x, y)) << " there, closest "
                      << str(at(bx, by)) << " at (" << bx << ", " << by << ")";
    }

    // Whether every pixel of the square of the given radius about (x, y) is
    // exactly black; on failure names the first pixel that is not.
    ::testing::AssertionResult black(int x, int y, int radius = 2) const {
        for (int py = y - radius; py <= y + radius; ++py)
            for (int px = x - radius; px <= x + radius; ++px)
                if (at(px, py) != kBlack)
                    return ::testing::AssertionFailure()
                           << "expected black within " << radius << " of (" << x << ", " << y
                           << "); observed " << str(at(px, py)) << " at (" << px << ", " << py
                           << ")";
        return ::testing::AssertionSuccess()
               << "black within " << radius << " of (" << x << ", " << y << ")";
    }

    // How many pixels are want within tol: in the square of the given radius
    // about (x, y), or (radius < 0) in the whole image.
    int count(Rgb want, int tol = 3, int x = 0, int y = 0, int radius = -1) const {
        const int x0 = radius < 0 ? 0 : x - radius, x1 = radius < 0 ? w_ - 1 : x + radius;
        const int y0 = radius < 0 ? 0 : y - radius, y1 = radius < 0 ? h_ - 1 : y + radius;
        int n = 0;
        for (int py = y0; py <= y1; ++py)
            for (int px = x0; px <= x1; ++px)
                n += contains(px, py) && distance(at(px, py), want) <= tol;
        return n;
    }

    // The box around the pixels with some channel at `min` or above, leaving
    // out those inside `skip`.
    // Only the pixels inside `within` when it is given.
    Extent extent(int min, Rect skip = Rect(), Rect within = Rect()) const {
        Extent e{w_, -1, h_, -1, 0};
        const bool all = within.x1 < within.x0;
        for (int y = all ? 0 : within.y0; y <= (all ? h_ - 1 : within.y1); ++y)
            for (int x = all ? 0 : within.x0; x <= (all ? w_ - 1 : within.x1); ++x) {
                const Rgb c = at(x, y);
                if (std::max({c[0], c[1], c[2]}) < min ||
                    (x >= skip.x0 && x <= skip.x1 && y >= skip.y0 && y <= skip.y1))
                    continue;
                ++e.pixels;
                e.left = std::min(e.left, x);
                e.right = std::max(e.right, x);
                e.bottom = std::min(e.bottom, y);
                e.top = std::max(e.top, y);
            }
        return e.pixels ? e : Extent{};
    }

  private:
    Image(int w, int h) : w_(w), h_(h), rgb_(static_cast<size_t>(w) * h * 3) {}
    // The largest per-channel difference.
    static int distance(const Rgb &a, const Rgb &b) {
        return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
    }
    int w_, h_;
    std::vector<unsigned char> rgb_; // bottom row first, RGB
};

} // namespace vt

#endif
