/*
 * tamsil: the particle dynamics behind the kelvora demo.
 *
 * Six fountains on the floor of the cube -0.5..0.5 throw particles upwards;
 * gravity pulls them back, the six faces of the cube bounce them, and each
 * particle is thrown again when its lifetime runs out. Each fountain's
 * particles form one voxel list of the table registered with vorlix through
 * set_liste_voxels().
 *
 * vorlix_init_particles() allocates everything once, registers the table and
 * seeds the motion from a fixed seed; calling it again starts the same motion
 * afresh on the same storage. vorlix_update_particles() advances the motion
 * by one fixed step in place: no clock, no allocation, no OpenGL. Before the
 * first init it does nothing. Same calls, same motion, on every run.
 */
#ifndef TAMSIL_H
#define TAMSIL_H

#ifdef TAMSIL_BUILDING
#define TAMSIL_API __attribute__((visibility("default")))
#else
#define TAMSIL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

TAMSIL_API void vorlix_init_particles(void);
TAMSIL_API void vorlix_update_particles(void);

#ifdef __cplusplus
}
#endif

#endif /* TAMSIL_H */
