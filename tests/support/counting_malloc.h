// A program that links counting_malloc.cpp has its malloc family (and so
// operator new, which allocates through it) replaced by versions that report
// each allocation to counted_allocation(), which that program defines, and
// then hand over to the C library's own allocator. Not for sanitized builds:
// their runtime owns malloc.
#ifndef VORLIX_TEST_COUNTING_MALLOC_H
#define VORLIX_TEST_COUNTING_MALLOC_H

#include <cstddef>

// Called before every allocation, from whichever thread makes it. It must
// not allocate itself unless it guards against coming back in.
void counted_allocation(std::size_t bytes);

#endif
