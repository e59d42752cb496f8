// vorlix-view: loads a point cloud or model file into one contiguous block of
// voxels, split into the library's list table, and keeps the view that the
// window shows. Everything here runs without a window; main.cpp adds GLUT.
#ifndef VORLIX_VIEWER_H
#define VORLIX_VIEWER_H

#include "vorlix.h"

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vv {

// Voxels per list of the table. Bounded so that the table stays a small,
// even split of the block however large the cloud is.
constexpr std::size_t kListLength = 4096;

// A loaded cloud: `count` voxels at the start of one block of `capacity`
// nodes (capacity exceeds count only by the points that were skipped),
// centred and scaled into -0.5..0.5, and the heads of its lists.
struct Cloud {
    std::unique_ptr<VoxelNode[]> nodes;
    std::size_t capacity = 0;
    std::size_t count = 0;
    std::vector<VoxelNode *> lists;
    // Points dropped because a coordinate was NaN or infinite.
    std::size_t skipped = 0;
};

// Axis-aligned bounds of the finite points seen so far, in double precision
// so that georeferenced coordinates keep their digits until they are centred.
struct Bounds {
    double lo[3] = {0, 0, 0};
    double hi[3] = {0, 0, 0};
    bool empty = true;
    void add(double x, double y, double z);
};

// Maps a point into the cube -0.5..0.5: centre of the bounds to the origin,
// longest side to length 1, the same factor on every axis.
struct Normaliser {
    double centre[3] = {0, 0, 0};
    double half = 0; // half the longest side
    explicit Normaliser(const Bounds &b);
    void apply(double x, double y, double z, VoxelNode &out) const;
};

// Marks a voxel whose colour is still to come from its height: file colours
// are clamped to 0..1, so a negative red never comes from a file.
constexpr float kNoColour = -1.0f;

// Allocates the block once. Returns false (and leaves the cloud empty) when
// the memory is not there.
bool allocate(Cloud &cloud, std::size_t capacity);
// Gives every voxel still marked kNoColour a colour ramp by its height (y,
// the screen's up axis at the first view): blue at the lowest of them, then
// cyan, green (half way), yellow, red at the highest; green if all are level.
void colour_by_height(Cloud &cloud);
// Links the first `count` nodes into lists of at most list_length nodes and
// fills the table of heads.
void link_lists(Cloud &cloud, std::size_t list_length = kListLength);

// Reads plain-text XYZ ("x y z" or "x y z r g b" per line, colours 0..255
// or 0..1 for the whole file; blank lines and # comments skipped; spaces,
// tabs, commas or semicolons between numbers). The stream is read twice
// (bounds, then voxels), so it must be seekable. On failure returns false
// and sets error to "NAME: line N: problem" or "NAME: problem".
bool read_xyz(std::istream &in, const std::string &name, Cloud &cloud, std::string &error);

// Checks a PLY or OFF file (told by its first line) against the row counts
// its header declares, from the start of the stream. Returns false with
// error set to "NAME: truncated: ..." when the file ends before them; true
// for complete files, other formats and headers it cannot read, which are
// left to the importer.
bool check_declared_counts(std::istream &in, const std::string &name, std::string &error);

// Loads any file: .xyz through read_xyz, everything else through the model
// importer (every distinct vertex one voxel, file colours or height). Then
// colours and links the cloud. On failure returns false with error set to
// "PATH: problem" and the cloud empty.
bool load_cloud(const std::string &path, Cloud &cloud, std::string &error);

// What the command line asked for.
struct Options {
    std::string file;
    std::string screenshot; // empty: interactive
    int width = 640;
    int height = 640;
    float yaw = 0;
    float pitch = 0;
    bool help = false;
};

// Parses argv; on failure returns nothing and sets error.
std::optional<Options> parse_options(int argc, const char *const *argv, std::string &error);
extern const char *const kUsage;

constexpr float kDegreesPerPixel = 0.5f;
// Far enough that the whole bounding cube (corners 0.87 from its centre)
// stays inside the library's field of view (half-angle atan 0.4) at every
// orientation.
constexpr float kHomeDistance = 2.6f;

// The view the window shows, and what each input does to it.
struct View {
    enum class Action { None, Redraw, Save, Quit };

    float initial_yaw = 0, initial_pitch = 0;
    float yaw = 0, pitch = 0; // degrees
    // Eye to cloud centre. The library places the cloud 2.2 in front of the
    // eye plus the depth total, so zoom() gets 2.2 - distance.
    float distance = kHomeDistance;
    int mode = SCREEN_MODE_POINTS;
    int isize = 2;
    float fsize = 0.01f;
    bool bounding_cube = true;

    View() = default;
    View(float yaw0, float pitch0)
        : initial_yaw(yaw0), initial_pitch(pitch0), yaw(yaw0), pitch(pitch0) {}

    Action key(unsigned char key);
    // Left-drag by (dx, dy) pixels, y growing downwards as GLUT reports it.
    void drag(int dx, int dy);
    // Wheel or +/-: positive steps come closer.
    void zoom_steps(int steps);
    void reset();
    float depth() const { return 2.2f - distance; }
    // The orientation for vorlix_render, column-major: turn by yaw about
    // the vertical axis, then by pitch about the screen's horizontal axis.
    void matrix(float out[16]) const;
    // Sends the settings to the library (no OpenGL call).
    void apply() const;
};

// Writes an 8-bit RGB PNG from rows stored bottom-up (as glReadPixels gives
// them), through a temporary file renamed at the end so that a failed write
// never leaves a partial image. On failure returns false with error set.
bool write_png(const std::string &path, int width, int height, const unsigned char *rgb_bottom_up,
               std::string &error);

} // namespace vv

#endif
