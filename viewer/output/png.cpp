#include "viewer/output/png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace vv {

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

// Sets "PATH: cannot be written (WHY)"; false, for the caller to return.
bool cannot_write(const std::string &path, const char *why, std::string &error) {
    error = path + ": cannot be written (" + why + ")";
    return false;
}

} // namespace

bool write_png(const std::string &path, int width, int height, const unsigned char *rgb_bottom_up,
               std::string &error) {
    const std::string tmp = path + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return cannot_write(path, std::strerror(errno), error);
    const bool encoded = encode_png(f, width, height, rgb_bottom_up);
    const bool closed = std::fclose(f) == 0;
    if (!encoded || !closed || std::rename(tmp.c_str(), path.c_str()) != 0) {
        cannot_write(path, encoded && closed ? std::strerror(errno) : "write failed", error);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

std::string next_save_name() {
    for (int n = 1;; ++n) {
        const std::string name = "vorlix-view-" + std::to_string(n) + ".png";
        struct stat st;
        if (stat(name.c_str(), &st) != 0)
            return name;
    }
}

} // namespace vv
