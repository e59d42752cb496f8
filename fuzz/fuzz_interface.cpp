// Drives the library's whole interface with arbitrary input, under a real
// OpenGL context (a small freeglut window). The input is decoded into a
// sequence of the 21 operations with arbitrary arguments (NaN, infinities,
// zeros, negative and huge values, window sizes from -1 to 2048, 0
// included) and arbitrary well-formed voxel tables, and frames are drawn.
//
// Beyond what the sanitizers catch, every input must keep these:
//   - glFrustum never gets inf or NaN from a division of ours: its side
//     planes are always finite, its near and far planes finite whenever the
//     focal factor is (and the far plane also for an infinite one);
//   - after a reshape or a focal change with a moderate focal factor, the
//     projection OpenGL built is finite;
//   - the library leaves the model-view matrix current, its stack balanced,
//     and the client's table, nodes and matrix exactly as they were.
//
// Input format (all values little-endian; missing bytes read as 0):
//   repeated: opcode byte (modulo the operation count), then its arguments.
//   real:    selector byte; below 0x80 a value from special_reals, else 4 raw
//            bytes of a float.
//   integer: selector byte; below 0x80 a value from special_ints, else 4 raw
//            bytes of an int.
//   size:    selector byte; below 0x80 a value from special_sizes, else 4 raw
//            bytes taken modulo 2050, minus 1.
//   matrix:  selector byte; below 0x40 the identity, else 16 reals.
//   table:   byte (mode: %4 == 0 null table with an integer count, %4 == 1 a
//            table with count 0, else lists), byte (lists, %17), byte (nodes,
//            %65), then per node 6 reals (x y z r g b) and a link byte (0:
//            end; else a later node), then per list a head byte (node index
//            modulo nodes+1; nodes means null).
//   move:    node byte, then 6 reals.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "glut_window.h"
#include "internal.h"

extern "C" void __real_glFrustum(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble);

namespace {

enum Op : uint8_t {
    Render,
    Reshape,
    SetFocale,
    InitTransformation,
    SetDeltaRotation,
    RotationX,
    RotationY,
    RotationZ,
    SetDeltaTranslation,
    TranslationX,
    TranslationY,
    TranslationZ,
    Zoom,
    SetScaleX,
    SetScaleY,
    SetScaleZ,
    SetIsize,
    SetFsize,
    SetScreenMode,
    SetCubeEnglobant,
    SetListeVoxels,
    // Not an operation of the library: the client moving and recolouring a
    // registered voxel in place, as the particle library does every frame.
    MoveVoxel,
    OpCount
};

const float special_reals[] = {
    NAN,    -NAN,  INFINITY, -INFINITY, 0.0f,    -0.0f,   1.0f,     -1.0f,
    0.5f,   2.0f,  48.0f,    1e-45f,    FLT_MIN, FLT_MAX, -FLT_MAX, 17.320508f,
    1e-20f, 1e20f, 360.0f,   -720.0f,   0.01f,   0.1f,    -1e-45f,  3e38f,
};
const int special_ints[] = {0,   1,   -1,   2,       9,       48,      49,         -48,
                            255, 256, 1000, INT_MAX, INT_MIN, 1 << 24, -(1 << 24), 3};
const int special_sizes[] = {0, 1, 2, 500, 300, 800, 2048, -1};

template <typename T, size_t N> constexpr size_t count_of(const T (&)[N]) {
    return N;
}

class Decoder {
  public:
    Decoder(const uint8_t *data, size_t size) : p_(data), end_(data + size) {}
    bool done() const { return p_ == end_; }
    uint8_t byte() { return p_ == end_ ? 0 : *p_++; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(byte()) << (8 * i);
        return v;
    }
    float real() { return special_or_raw(special_reals); }
    int integer() { return special_or_raw(special_ints); }
    int size() {
        const uint8_t s = byte();
        if (s < 0x80)
            return special_sizes[s % count_of(special_sizes)];
        return static_cast<int>(u32() % 2050u) - 1;
    }

  private:
    // Below 0x80 a value of `special`, else 4 raw bytes of a T.
    template <typename T, size_t N> T special_or_raw(const T (&special)[N]) {
        const uint8_t s = byte();
        if (s < 0x80)
            return special[s % N];
        const uint32_t bits = u32();
        static_assert(sizeof(T) == sizeof bits, "4 raw bytes");
        T v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    const uint8_t *p_;
    const uint8_t *end_;
};

// Everything the client side owns lives in fixed storage here. The table is
// placed at the end of its array so that a read past the registered count
// runs into the sanitizer's red zone after it.
constexpr unsigned max_lists = 16;
constexpr unsigned max_nodes = 64;
VoxelNode pool[max_nodes];
VoxelNode *table_storage[max_lists];
float client_matrix[16];
unsigned pool_used = 0;

// The fuzzer's own record of the focal factor last handed over.
float last_focale = 1.0f;
unsigned frustum_calls = 0;

RendererState load_time_state;
bool initialised = false;

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "vorlix fuzz: %s\n", what);
    std::abort();
}

void build_table(Decoder &in) {
    const uint8_t mode = in.byte();
    if (mode % 4 == 0) {
        // A null table counts as empty whatever the count.
        set_liste_voxels(nullptr, static_cast<unsigned>(in.integer()));
        return;
    }
    if (mode % 4 == 1) {
        set_liste_voxels(table_storage, 0);
        return;
    }
    const unsigned lists = in.byte() % (max_lists + 1);
    const unsigned nodes = in.byte() % (max_nodes + 1);
    for (unsigned i = 0; i < nodes; ++i) {
        VoxelNode &n = pool[i];
        n.x = in.real();
        n.y = in.real();
        n.z = in.real();
        n.r = in.real();
        n.g = in.real();
        n.b = in.real();
        // Links only point forward, so every list ends; lists may share tails.
        const uint8_t link = in.byte();
        const unsigned later = nodes - i - 1;
        n.next = (link == 0 || later == 0) ? nullptr : &pool[i + 1 + (link - 1u) % later];
    }
    pool_used = nodes;
    VoxelNode **table = table_storage + (max_lists - lists);
    for (unsigned l = 0; l < lists; ++l) {
        const unsigned h = in.byte() % (nodes + 1);
        table[l] = h == nodes ? nullptr : &pool[h];
    }
    set_liste_voxels(table, lists);
}

void move_voxel(Decoder &in) {
    const uint8_t which = in.byte();
    float v[6];
    for (float &x : v)
        x = in.real();
    if (pool_used == 0)
        return;
    VoxelNode &n = pool[which % pool_used];
    n.x = v[0];
    n.y = v[1];
    n.z = v[2];
    n.r = v[3];
    n.g = v[4];
    n.b = v[5];
}

void expect_modelview_current() {
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    if (mode != GL_MODELVIEW)
        fail("the model-view matrix is not current");
}

void check_after_projection(unsigned calls_before) {
    if (frustum_calls != calls_before + 1)
        fail("the projection was not rebuilt exactly once");
    expect_modelview_current();
    GLdouble m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i)
        if (m[i] != (i % 5 == 0 ? 1.0 : 0.0))
            fail("the model-view matrix is not the identity after a reshape");
    // Beyond this range OpenGL's own single-precision arithmetic may overflow
    // whatever we pass; within it, the result must be finite.
    const float f = std::fabs(last_focale);
    if (f >= 1e-3f && f <= 1e3f) {
        glGetDoublev(GL_PROJECTION_MATRIX, m);
        for (double v : m)
            if (!std::isfinite(v))
                fail("the projection matrix holds inf or NaN");
    }
}

void render(Decoder &in) {
    if (in.byte() < 0x40) {
        for (int i = 0; i < 16; ++i)
            client_matrix[i] = i % 5 == 0 ? 1.0f : 0.0f;
    } else {
        for (float &x : client_matrix)
            x = in.real();
    }
    // The library only reads what the client owns: compare the bytes.
    static unsigned char before[sizeof pool + sizeof table_storage + sizeof client_matrix];
    std::memcpy(before, pool, sizeof pool);
    std::memcpy(before + sizeof pool, table_storage, sizeof table_storage);
    std::memcpy(before + sizeof pool + sizeof table_storage, client_matrix, sizeof client_matrix);

    vorlix_render(client_matrix);

    if (std::memcmp(before, pool, sizeof pool) != 0 ||
        std::memcmp(before + sizeof pool, table_storage, sizeof table_storage) != 0 ||
        std::memcmp(before + sizeof pool + sizeof table_storage, client_matrix,
                    sizeof client_matrix) != 0)
        fail("a frame wrote into the client's table, nodes or matrix");
    expect_modelview_current();
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    if (depth != 1)
        fail("a frame left the model-view stack unbalanced");
}

// Each input starts from the library's load-time state and a fresh OpenGL
// state, so that a crash reproduces from its input alone.
void reset() {
    vorlix_state = load_time_state;
    last_focale = 1.0f;
    pool_used = 0;
    std::memset(pool, 0, sizeof pool);
    std::memset(table_storage, 0, sizeof table_storage);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport(0, 0, 128, 128);
    glPointSize(1.0f);
    glDisable(GL_LIGHT0);
    glDisable(GL_NORMALIZE);
}

// What each opcode reads from the input and calls, in opcode order (the
// corpus depends on it). A reshape and a focal change also check the
// projection they rebuild; Render is the loop's, which budgets the frames.
struct Call {
    Op op;
    void (*run)(Decoder &);
};
constexpr Call calls[] = {
    {Render, nullptr},
    {Reshape,
     [](Decoder &in) {
         const unsigned calls_before = frustum_calls;
         const int w = in.size();
         const int h = in.size();
         vorlix_reshape(w, h);
         check_after_projection(calls_before);
     }},
    {SetFocale,
     [](Decoder &in) {
         const unsigned calls_before = frustum_calls;
         last_focale = in.real();
         set_focale(last_focale);
         check_after_projection(calls_before);
     }},
    {InitTransformation, [](Decoder &) { init_transformation(); }},
    {SetDeltaRotation, [](Decoder &in) { set_delta_rotation(in.real()); }},
    {RotationX, [](Decoder &) { rotation_x(); }},
    {RotationY, [](Decoder &) { rotation_y(); }},
    {RotationZ, [](Decoder &) { rotation_z(); }},
    {SetDeltaTranslation, [](Decoder &in) { set_delta_translation(in.real()); }},
    {TranslationX, [](Decoder &) { translation_x(); }},
    {TranslationY, [](Decoder &) { translation_y(); }},
    {TranslationZ, [](Decoder &) { translation_z(); }},
    {Zoom, [](Decoder &in) { zoom(in.real()); }},
    {SetScaleX, [](Decoder &in) { set_scale_x(in.real()); }},
    {SetScaleY, [](Decoder &in) { set_scale_y(in.real()); }},
    {SetScaleZ, [](Decoder &in) { set_scale_z(in.real()); }},
    {SetIsize, [](Decoder &in) { set_isize(in.integer()); }},
    {SetFsize, [](Decoder &in) { set_fsize(in.real()); }},
    {SetScreenMode, [](Decoder &in) { set_screen_mode(in.integer()); }},
    {SetCubeEnglobant, [](Decoder &in) { set_cube_englobant(in.integer()); }},
    {SetListeVoxels, build_table},
    {MoveVoxel, move_voxel},
};

constexpr bool in_opcode_order() {
    for (size_t i = 0; i < count_of(calls); ++i)
        if (static_cast<size_t>(calls[i].op) != i)
            return false;
    return count_of(calls) == OpCount;
}
static_assert(in_opcode_order(), "calls[] must list every opcode once, in order");

} // namespace

// Every glFrustum of the library comes through here (linked with
// -Wl,--wrap=glFrustum).
extern "C" void __wrap_glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top,
                                 GLdouble near_plane, GLdouble far_plane) {
    ++frustum_calls;
    // The side planes come from the ratio of two integer sizes.
    if (!std::isfinite(left) || !std::isfinite(right) || !std::isfinite(bottom) ||
        !std::isfinite(top))
        fail("glFrustum got a non-finite side plane");
    if (std::isfinite(last_focale) && (!std::isfinite(near_plane) || !std::isfinite(far_plane)))
        fail("glFrustum got a non-finite near or far plane for a finite focal factor");
    if (std::isinf(last_focale) && !std::isfinite(far_plane))
        fail("glFrustum got a non-finite far plane for an infinite focal factor");
    __real_glFrustum(left, right, bottom, top, near_plane, far_plane);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // A small window keeps each frame cheap; viewports larger than it are
    // clipped by OpenGL. The fuzzer's options are not GLUT's.
    open_glut_window("vorlix-fuzz", "vorlix fuzz", 128, 128);
    glutDisplayFunc([] {});
    for (int i = 0; i < 10; ++i)
        glutMainLoopEvent();
    load_time_state = vorlix_state;
    initialised = true;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!initialised)
        fail("LLVMFuzzerInitialize did not run");
    reset();
    Decoder in(data, size);
    // Bounds keep one input to a few milliseconds.
    int ops = 0, frames = 0;
    while (!in.done() && ops++ < 96) {
        const Op op = static_cast<Op>(in.byte() % OpCount);
        if (op != Render)
            calls[op].run(in);
        else if (frames++ < 8)
            render(in);
    }
    // Rejected values leave OpenGL errors behind; they are not ours to report.
    while (glGetError() != GL_NO_ERROR) {
    }
    return 0;
}
