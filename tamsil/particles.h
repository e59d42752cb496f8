// Internal view of the particle library: its fixed sizes and the bare step,
// for the tests and benchmarks that link its objects. Nothing here is
// exported from libtamsil.so.
#ifndef TAMSIL_PARTICLES_H
#define TAMSIL_PARTICLES_H

// Chosen so that the demo keeps above 60 frames per second on a small
// software-rendered machine; the build may override it.
#ifndef TAMSIL_PARTICLES
#define TAMSIL_PARTICLES 20000
#endif

namespace tamsil {

constexpr unsigned particle_count = TAMSIL_PARTICLES;
// One fountain per voxel list.
constexpr unsigned fountain_count = 6;
// The cube the particles bounce in.
constexpr float lo = -0.5f;
constexpr float hi = 0.5f;

// One step of the motion; does nothing before the first init.
void step();

} // namespace tamsil

#endif
