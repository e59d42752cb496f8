#include "counting_malloc.h"

#include <cerrno>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void *__libc_valloc(size_t);
void *__libc_pvalloc(size_t);
void __libc_free(void *);

void *malloc(size_t n) {
    counted_allocation(n);
    return __libc_malloc(n);
}
void *calloc(size_t n, size_t size) {
    counted_allocation(n * size);
    return __libc_calloc(n, size);
}
void *realloc(void *p, size_t n) {
    counted_allocation(n);
    return __libc_realloc(p, n);
}
void *memalign(size_t alignment, size_t n) {
    counted_allocation(n);
    return __libc_memalign(alignment, n);
}
void *aligned_alloc(size_t alignment, size_t n) {
    counted_allocation(n);
    return __libc_memalign(alignment, n);
}
int posix_memalign(void **p, size_t alignment, size_t n) {
    counted_allocation(n);
    *p = __libc_memalign(alignment, n);
    return *p != nullptr ? 0 : ENOMEM;
}
void *valloc(size_t n) {
    counted_allocation(n);
    return __libc_valloc(n);
}
void *pvalloc(size_t n) {
    counted_allocation(n);
    return __libc_pvalloc(n);
}
void free(void *p) {
    __libc_free(p);
}
}
