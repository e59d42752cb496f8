// Counts heap allocations around the particle library's calls. The test
// binary replaces malloc and its kin (support/counting_malloc.cpp); under
// AddressSanitizer it counts through the sanitizer's allocation hook.
#include "particles.h"
#include "tamsil.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstddef>
#include <cstdlib>

namespace {
long allocations = 0;
}

#if defined(__SANITIZE_ADDRESS__)
#define TAMSIL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAMSIL_TEST_ASAN 1
#endif
#endif

#ifdef TAMSIL_TEST_ASAN
// AddressSanitizer owns malloc and operator new; it reports every allocation
// to a hook instead (declared here: not every compiler ships its header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void *, size_t),
                                                         void (*)(const volatile void *));

namespace {
void count_allocation(const volatile void *, size_t) {
    ++allocations;
}
void ignore_free(const volatile void *) {}
[[maybe_unused]] const int hooks_installed =
    __sanitizer_install_malloc_and_free_hooks(count_allocation, ignore_free);
} // namespace
#else
#include "counting_malloc.h"

void counted_allocation(std::size_t) {
    ++allocations;
}
#endif

namespace {

// The counter must see an allocation, or a zero below proves nothing.
TEST(TamsilAlloc, CounterSeesAllocations) {
    const long before = allocations;
    void *volatile p = std::malloc(64);
    int *volatile q = new int[16];
    delete[] q;
    std::free(p);
    EXPECT_EQ(allocations - before, 2);

    // The aligned kinds too: a vectorising change could reach for them.
    const long plain = allocations;
    void *blocks[5] = {};
    blocks[0] = std::aligned_alloc(64, 64);
    ASSERT_EQ(posix_memalign(&blocks[1], 64, 64), 0);
    blocks[2] = memalign(64, 64);
    blocks[3] = valloc(64);
    blocks[4] = pvalloc(64);
    for (void *b : blocks) {
        EXPECT_NE(b, nullptr);
        std::free(b);
    }
    EXPECT_EQ(allocations - plain, 5);
}

TEST(TamsilAlloc, OnlyTheFirstInitAllocates) {
    long before = allocations;
    vorlix_init_particles();
    EXPECT_GT(allocations - before, 0) << "the first init allocates the particles";
    before = allocations;
    vorlix_init_particles();
    EXPECT_EQ(allocations - before, 0) << "a second init reuses the storage";
}

TEST(TamsilAlloc, ThousandUpdatesAllocateNothing) {
    vorlix_init_particles();
    const long before = allocations;
    for (int i = 0; i < 1000; ++i)
        vorlix_update_particles();
    EXPECT_EQ(allocations - before, 0);
}

TEST(TamsilAlloc, UpdatesBeforeInitAllocateNothing) {
    const long before = allocations;
    for (int i = 0; i < 1000; ++i)
        vorlix_update_particles();
    EXPECT_EQ(allocations - before, 0);
}

} // namespace
