#include "particles.h"

#include "tamsil.h"
#include "vorlix.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace tamsil {
namespace {

// Units are per step: a step stands for 1/60 s, velocities are stored as the
// displacement of one step and gravity as the change of velocity in one step,
// so the hot loop has no time factor to multiply by.
constexpr float step_seconds = 1.0f / 60.0f;
constexpr float gravity = 1.2f * step_seconds * step_seconds;
constexpr float launch_speed = 1.25f * step_seconds;
// Sideways share of the launch velocity along the nozzle's tilt, and the
// random scatter around it.
constexpr float tilt_share = 0.32f;
constexpr float scatter = 0.1f;
// Fraction of the speed across a face kept by a bounce, and of the sliding
// speed kept by a floor bounce.
constexpr float floor_bounce = 0.55f;
constexpr float wall_bounce = 0.7f;
constexpr float floor_friction = 0.92f;
// Lifetimes in steps; a particle is thrown again when its life runs out.
constexpr unsigned min_life = 150;
constexpr unsigned max_life = 300;
// Steps run by init so that the first frame already shows full fountains.
constexpr unsigned warm_up_steps = max_life;
// Nozzles sit on a circle on the floor; their tilt sweeps round it.
constexpr float nozzle_radius = 0.3f;
constexpr float nozzle_height = lo + 0.02f;
constexpr double sweep_degrees_per_step = 0.5;
// Fast particles glow towards white: squared speed per step times this.
constexpr float glow_gain = 700.0f;
constexpr float glow_max = 0.6f;
constexpr std::uint32_t seed = 0x9e3779b9u;

struct Motion {
    float vx, vy, vz;
    float life;  // 1 at launch, thrown again at 0
    float decay; // life lost per step
};

struct Fountain {
    float x, z;           // nozzle
    float tilt_x, tilt_z; // unit horizontal direction the nozzle leans to
    float r, g, b;        // colour of a fresh, slow particle
    unsigned begin, end;  // its particles, also its voxel list in node order
};

// All of the library's mutable data. The node and motion arrays are
// allocated by the first init and kept for the life of the process.
struct Store {
    VoxelNode *nodes = nullptr;
    Motion *motion = nullptr;
    VoxelNode *heads[fountain_count] = {};
    Fountain fountains[fountain_count] = {};
    float sweep_cos = 1.0f, sweep_sin = 0.0f;
    std::uint32_t rng = seed;
    bool ready = false;
};
Store store;

// xorshift32: small, fast and the same everywhere, unlike rand().
inline std::uint32_t next_random() {
    std::uint32_t s = store.rng;
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    store.rng = s;
    return s;
}
// Uniform in [-1, 1).
inline float random_signed() {
    return static_cast<float>(next_random() >> 8) * (2.0f / 16777216.0f) - 1.0f;
}

void launch(const Fountain &f, VoxelNode &n, Motion &m) {
    n.x = f.x + 0.01f * random_signed();
    n.y = nozzle_height;
    n.z = f.z + 0.01f * random_signed();
    m.vx = launch_speed * (tilt_share * f.tilt_x + scatter * random_signed());
    m.vy = launch_speed * (1.0f + 0.1f * random_signed());
    m.vz = launch_speed * (tilt_share * f.tilt_z + scatter * random_signed());
    m.life = 1.0f;
    m.decay = 1.0f / static_cast<float>(min_life + next_random() % (max_life - min_life + 1));
}

// A coordinate that left [lo, hi] comes back mirrored in the face it
// crossed, its velocity turned round and shortened to keep. Steps are far
// shorter than the cube, so one mirror suffices.
inline void bounce(float &p, float &v, float keep) {
    const bool below = p < lo;
    const bool above = p > hi;
    p = below ? 2.0f * lo - p : p;
    p = above ? 2.0f * hi - p : p;
    v = (below || above) ? -keep * v : v;
}

inline float at_most_one(float c) {
    return c < 1.0f ? c : 1.0f;
}

void advance(Fountain &f) {
    // Turn the nozzle's tilt a little; the length is pulled back to 1 so
    // rounding does not build up over long runs.
    const float tx = f.tilt_x * store.sweep_cos - f.tilt_z * store.sweep_sin;
    const float tz = f.tilt_x * store.sweep_sin + f.tilt_z * store.sweep_cos;
    const float fix = 1.5f - 0.5f * (tx * tx + tz * tz);
    f.tilt_x = tx * fix;
    f.tilt_z = tz * fix;

    // Locals, so that the stores into the nodes need not be assumed to
    // change them.
    VoxelNode *const nodes = store.nodes;
    Motion *const motion = store.motion;
    const float base_r = f.r, base_g = f.g, base_b = f.b;
    const unsigned end = f.end;
    for (unsigned i = f.begin; i < end; ++i) {
        VoxelNode &n = nodes[i];
        Motion &m = motion[i];
        m.life -= m.decay;
        if (m.life <= 0.0f)
            launch(f, n, m);

        // Work on copies: the compiler cannot tell the node and motion
        // arrays apart, and would reload after every store.
        float x = n.x, y = n.y, z = n.z;
        float vx = m.vx, vy = m.vy - gravity, vz = m.vz;
        x += vx;
        y += vy;
        z += vz;
        // The floor keeps less of the bounce than the other faces and also
        // slows the sliding motion, so spent particles pool and drift.
        const bool on_floor = y < lo;
        const float drag = on_floor ? floor_friction : 1.0f;
        vx *= drag;
        vz *= drag;
        bounce(y, vy, on_floor ? floor_bounce : wall_bounce);
        bounce(x, vx, wall_bounce);
        bounce(z, vz, wall_bounce);

        // The fountain's colour fades with age; speed adds a white glow.
        const float fade = 0.25f + 0.75f * m.life;
        float glow = glow_gain * (vx * vx + vy * vy + vz * vz);
        glow = glow < glow_max ? glow : glow_max;
        n.x = x;
        n.y = y;
        n.z = z;
        n.r = at_most_one(base_r * fade + glow);
        n.g = at_most_one(base_g * fade + glow);
        n.b = at_most_one(base_b * fade + glow);
        m.vx = vx;
        m.vy = vy;
        m.vz = vz;
    }
}

bool allocate() {
    if (store.nodes != nullptr)
        return true; // a later init reuses the storage of the first
    auto *nodes = static_cast<VoxelNode *>(std::calloc(particle_count, sizeof(VoxelNode)));
    auto *motion = static_cast<Motion *>(std::calloc(particle_count, sizeof(Motion)));
    if (nodes == nullptr || motion == nullptr) {
        std::free(nodes);
        std::free(motion);
        return false;
    }
    store.nodes = nodes;
    store.motion = motion;
    return true;
}

} // namespace

void step() {
    if (!store.ready)
        return;
    for (Fountain &f : store.fountains)
        advance(f);
}

} // namespace tamsil

using namespace tamsil;

extern "C" void vorlix_init_particles(void) {
    store.ready = false;
    if (!allocate()) {
        // Nothing to show: the frames keep their cube and gizmo.
        set_liste_voxels(nullptr, 0);
        return;
    }
    store.rng = seed;
    const double sweep = sweep_degrees_per_step * M_PI / 180.0;
    store.sweep_cos = static_cast<float>(std::cos(sweep));
    store.sweep_sin = static_cast<float>(std::sin(sweep));

    // Hues round the colour wheel, one per fountain.
    static const float colours[fountain_count][3] = {{1.0f, 0.25f, 0.1f}, {1.0f, 0.8f, 0.1f},
                                                     {0.3f, 1.0f, 0.2f},  {0.1f, 0.9f, 1.0f},
                                                     {0.3f, 0.4f, 1.0f},  {0.9f, 0.3f, 1.0f}};
    for (unsigned k = 0; k < fountain_count; ++k) {
        Fountain &f = store.fountains[k];
        const double a = 2.0 * M_PI * k / fountain_count;
        f.x = static_cast<float>(nozzle_radius * std::cos(a));
        f.z = static_cast<float>(nozzle_radius * std::sin(a));
        // Lean towards the centre but 40 degrees aside, so the jets cross in
        // a twist rather than meet head on.
        const double lean = a + M_PI + 40.0 * M_PI / 180.0;
        f.tilt_x = static_cast<float>(std::cos(lean));
        f.tilt_z = static_cast<float>(std::sin(lean));
        f.r = colours[k][0];
        f.g = colours[k][1];
        f.b = colours[k][2];
        f.begin = static_cast<unsigned>(static_cast<unsigned long long>(particle_count) * k /
                                        fountain_count);
        f.end = static_cast<unsigned>(static_cast<unsigned long long>(particle_count) * (k + 1) /
                                      fountain_count);

        // The fountain's particles, in node order, are its list.
        store.heads[k] = f.begin < f.end ? &store.nodes[f.begin] : nullptr;
        for (unsigned i = f.begin; i < f.end; ++i) {
            store.nodes[i].next = i + 1 < f.end ? &store.nodes[i + 1] : nullptr;
            launch(f, store.nodes[i], store.motion[i]);
            // Spread the launches over a lifetime, so the warm-up ends in a
            // steady stream rather than in one burst.
            store.motion[i].life = 0.5f * (random_signed() + 1.0f);
        }
    }
    set_liste_voxels(store.heads, fountain_count);
    store.ready = true;
    for (unsigned s = 0; s < warm_up_steps; ++s)
        step();
}

extern "C" void vorlix_update_particles(void) {
    step();
}
