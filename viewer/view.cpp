#include "viewer.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vv {

const char *const kUsage =
    "usage: vorlix-view FILE [--screenshot OUT.png] [--size WxH] [--yaw DEG] [--pitch DEG]"
    "  (left-drag orbit, wheel or +/- zoom, P/C points/cubes, [ ] size, B bounding cube,"
    " R reset, S save PNG, Esc quit)";

namespace {

bool parse_float(const char *s, float &out) {
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || errno != 0 || !std::isfinite(v) || std::fabs(v) > 1e6)
        return false;
    out = static_cast<float>(v);
    return true;
}

bool parse_size(const char *s, int &w, int &h) {
    char *end = nullptr;
    const long a = std::strtol(s, &end, 10);
    if (end == s || (*end != 'x' && *end != 'X'))
        return false;
    const char *second = end + 1;
    const long b = std::strtol(second, &end, 10);
    if (end == second || *end != '\0' || a < 16 || b < 16 || a > 8192 || b > 8192)
        return false;
    w = static_cast<int>(a);
    h = static_cast<int>(b);
    return true;
}

} // namespace

std::optional<Options> parse_options(int argc, const char *const *argv, std::string &error) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            return o;
        } else if (arg == "--screenshot" || arg == "--size" || arg == "--yaw" || arg == "--pitch") {
            if (!has_value) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            const char *value = argv[++i];
            if (arg == "--screenshot") {
                o.screenshot = value;
                if (o.screenshot.empty()) {
                    error = "--screenshot needs a file name";
                    return std::nullopt;
                }
            } else if (arg == "--size") {
                if (!parse_size(value, o.width, o.height)) {
                    error = std::string("--size '") + value +
                            "': expected WxH, each between 16 and 8192";
                    return std::nullopt;
                }
            } else if (!parse_float(value, arg == "--yaw" ? o.yaw : o.pitch)) {
                error = arg + " '" + value + "': expected a number of degrees";
                return std::nullopt;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return std::nullopt;
        } else if (o.file.empty()) {
            o.file = arg;
        } else {
            error = "more than one file: " + o.file + ", " + arg;
            return std::nullopt;
        }
    }
    if (o.file.empty()) {
        error = "no file given";
        return std::nullopt;
    }
    return o;
}

View::Action View::key(unsigned char k) {
    switch (k) {
    case 27:
        return Action::Quit;
    case 's':
    case 'S':
        return Action::Save;
    case 'p':
    case 'P':
        mode = SCREEN_MODE_POINTS;
        break;
    case 'c':
    case 'C':
        mode = SCREEN_MODE_CUBES;
        break;
    case '[':
    case ']': {
        const bool up = k == ']';
        if (mode == SCREEN_MODE_CUBES)
            fsize = std::clamp(up ? fsize * 1.25f : fsize / 1.25f, 0.001f, 0.25f);
        else
            isize = std::clamp(isize + (up ? 1 : -1), 1, 32);
        break;
    }
    case 'b':
    case 'B':
        bounding_cube = !bounding_cube;
        break;
    case 'r':
    case 'R':
        reset();
        break;
    case '+':
    case '=':
        zoom_steps(1);
        break;
    case '-':
    case '_':
        zoom_steps(-1);
        break;
    default:
        return Action::None;
    }
    return Action::Redraw;
}

namespace {
// Keeps an angle in -180..180 so that long drags never lose precision.
float wrap(float degrees) {
    const float w = std::remainder(degrees, 360.0f);
    return w == 180.0f ? -180.0f : w;
}
} // namespace

void View::drag(int dx, int dy) {
    // Dragging right turns the front of the cloud to the right, dragging
    // down tips it towards the viewer's feet.
    yaw = wrap(yaw + static_cast<float>(dx) * kDegreesPerPixel);
    pitch = wrap(pitch + static_cast<float>(dy) * kDegreesPerPixel);
}

void View::zoom_steps(int steps) {
    // Multiplicative, so each step feels the same near and far. The near
    // limit stays clear of the near plane (0.1); far keeps the cloud visible.
    distance = std::clamp(distance * std::pow(1.1f, static_cast<float>(-steps)), 0.3f, 25.0f);
}

void View::reset() {
    yaw = initial_yaw;
    pitch = initial_pitch;
    distance = kHomeDistance;
}

void View::matrix(float m[16]) const {
    const double a = yaw * M_PI / 180.0, b = pitch * M_PI / 180.0;
    const double cy = std::cos(a), sy = std::sin(a), cp = std::cos(b), sp = std::sin(b);
    // Rx(pitch) * Ry(yaw), written column by column (m[4 * column + row]).
    const double r[16] = {cy, sp * sy,  -cp * sy, 0, //
                          0,  cp,       sp,       0, //
                          sy, -sp * cy, cp * cy,  0, //
                          0,  0,        0,        1};
    for (int i = 0; i < 16; ++i)
        m[i] = static_cast<float>(r[i]);
}

void View::apply() const {
    set_screen_mode(mode);
    set_isize(isize);
    set_fsize(fsize);
    set_cube_englobant(bounding_cube ? 48 : 0);
    zoom(depth());
}

namespace {
// The libpng part on its own: nothing it keeps changes after setjmp, so the
// jump back from a libpng error leaves no clobbered locals.
bool encode_png(FILE *f, int width, int height, const unsigned char *rgb_bottom_up) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int y = height - 1; y >= 0; --y)
        png_write_row(png, rgb_bottom_up + stride * static_cast<std::size_t>(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
} // namespace

bool write_png(const std::string &path, int width, int height, const unsigned char *rgb_bottom_up,
               std::string &error) {
    const std::string tmp = path + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        error = path + ": cannot be written (" + std::strerror(errno) + ")";
        return false;
    }
    const bool encoded = encode_png(f, width, height, rgb_bottom_up);
    const bool closed = std::fclose(f) == 0;
    if (!encoded || !closed || std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = path + ": cannot be written (" +
                (encoded && closed ? std::strerror(errno) : "write failed") + ")";
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace vv
