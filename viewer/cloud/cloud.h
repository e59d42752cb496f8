// vorlix-view's cloud: the points of a file as one contiguous block of
// voxels, fitted into the cube -0.5..0.5, coloured, and split into the
// library's list table. Readers (formats/) fill it; the window draws it.
//
// A cloud holds `count` voxels in a block of exactly `capacity` nodes. A
// reader counts the finite points first and allocates for them alone, so a
// loaded cloud has count == capacity; points with a NaN or infinite
// coordinate take no node and are only counted in `skipped`.
#ifndef VORLIX_VIEWER_CLOUD_H
#define VORLIX_VIEWER_CLOUD_H

#include "viewer/cloud/field.h"
#include "vorlix.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vv {

// Voxels per list of the table. Bounded so that the table stays a small,
// even split of the block however large the cloud is.
constexpr std::size_t kListLength = 4096;

struct Cloud {
    std::unique_ptr<VoxelNode[]> nodes;
    std::size_t capacity = 0; // nodes in the block
    std::size_t count = 0;    // of them in use, from the start
    std::vector<VoxelNode *> lists;
    // Points dropped because a coordinate was NaN or infinite.
    std::size_t skipped = 0;
    // Scalars the file gives per point (intensity, classification, ...), in
    // the file's order, each with `count` values.
    std::vector<Field> fields;
    // Whether the file gave the points their colours (set by
    // colour_by_height, which sees every node).
    bool file_colours = false;
    // Those colours, 8 bits a channel, once something else replaced them.
    std::vector<std::uint32_t> file_rgb;
    // Cube units per unit of the file's coordinates (the Normaliser's
    // factor); 0 when every point is at one place.
    double unit = 0;
};

// Marks a voxel whose colour is still to come from its height: file colours
// are clamped to 0..1, so a negative red never comes from a file.
constexpr float kNoColour = -1.0f;

// Releases the block and the list table; the cloud is as new.
void clear(Cloud &cloud);

// Clears the cloud, then allocates a block of `capacity` nodes, left
// uninitialised (none for 0). Returns false, the cloud cleared, when the
// memory is not there.
bool allocate(Cloud &cloud, std::size_t capacity);

// The step every reader takes once it has counted the file NAME: allocates
// for its `points` finite points, and a field for each of `fields`.
// Returns false with error set to "NAME: no WHAT" (adding " with finite
// coordinates (N skipped: NaN or infinite)" when `skipped` > 0) when there
// are none, or to "NAME: not enough memory for N points".
bool allocate_points(Cloud &cloud, std::size_t points, std::size_t skipped, const std::string &name,
                     const char *what, std::string &error,
                     const std::vector<std::string> &fields = {});

// The height ramp at t (0 lowest .. 1 highest, clamped; NaN the middle).
void height_colour(float t, float rgb[3]);

// Gives every voxel still marked kNoColour a colour ramp by its height (y,
// the screen's up axis at the first view): blue at the lowest of them, then
// cyan, green (half way), yellow, red at the highest; green if all are level.
// Sets file_colours when some voxel already had a colour.
void colour_by_height(Cloud &cloud);

// Adds a field named `name` with room for `count` values, all NaN, and
// returns it (valid until the next add_field). Fails (nullptr) only when
// the memory is not there.
Field *add_field(Cloud &cloud, const std::string &name, std::size_t count);

// add_field for each name in turn; false as soon as one cannot be had.
bool add_fields(Cloud &cloud, const std::vector<std::string> &names, std::size_t count);

// Links the first `count` nodes into lists of at most list_length nodes, in
// storage order, and fills the table of heads.
void link_lists(Cloud &cloud, std::size_t list_length = kListLength);

// Axis-aligned bounds of the finite points seen so far, in double precision
// so that georeferenced coordinates keep their digits until they are centred.
struct Bounds {
    double lo[3] = {0, 0, 0};
    double hi[3] = {0, 0, 0};
    bool empty = true;
    void add(double x, double y, double z);
};

// Maps a point into the cube -0.5..0.5: centre of the bounds to the origin,
// longest side to length 1, the same factor on every axis. A single point
// (or many at one place) is only centred.
struct Normaliser {
    double centre[3] = {0, 0, 0};
    double half = 0; // half the longest side
    explicit Normaliser(const Bounds &b);
    // Cube units per unit of the input (0 for a single place).
    double unit() const { return half > 0 ? 0.5 / half : 0; }
    void apply(double x, double y, double z, VoxelNode &out) const;
};

} // namespace vv

#endif
