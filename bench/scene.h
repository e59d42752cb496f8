// What the benchmarks draw and how: a 500x500 GLUT window like the demo's, a
// voxel list table of N random voxels, and the frame that vorlix_render draws
// written out by hand, call for call, as a client without the library would.
#ifndef VORLIX_BENCH_SCENE_H
#define VORLIX_BENCH_SCENE_H

#include "vorlix.h"

#include <vector>

namespace bench {

enum class Mode { points, cubes };
const char *mode_name(Mode mode);

// N voxels spread over six lists (as the demo's fountains are), nodes in list
// order in one array, positions inside the bounding cube, fixed seed.
struct Scene {
    std::vector<VoxelNode> nodes;
    std::vector<VoxelNode *> heads;
};
Scene make_scene(unsigned count, unsigned lists = 6);

// Opens the window once and sets the library up the way the demo does
// (points of 1 pixel, bounding cube on), then registers nothing.
void open_window();
// Registers the scene with the library and selects the mode.
void use_scene(const Scene &scene, Mode mode);

// The caller's matrix of every frame: the demo's constant identity.
extern const float identity_matrix[16];

// One library frame: vorlix_render with the identity.
void library_frame();

// Parts of the bare frame, for telling where the driver spends or allocates.
enum Segment {
    seg_setup,
    seg_bounding_cube,
    seg_voxel_calls,
    seg_voxel_end,
    seg_gizmo,
    seg_swap,
    seg_count
};
extern const char *const segment_names[seg_count];

// The same frame without the library: the same calls with the same
// arguments in the same order, walking the same table, then the swap. When
// given, mark(segment) runs before each segment.
void bare_frame(const Scene &scene, Mode mode, void (*mark)(Segment) = nullptr);

// Monotonic clock in seconds.
double now();

} // namespace bench

#endif
