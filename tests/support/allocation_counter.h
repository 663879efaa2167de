// Counts the heap allocations of the whole program by wrapping the C
// allocator: every allocation (operator new's, Eigen's) ends in one of these,
// which count and hand over to the C library. Include this header in exactly
// one source file of a program. Sanitizer builds bring their own allocator,
// so there nothing is counted (countsAllocations is false).
#pragma once

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORVANE_COUNT_ALLOCATIONS 0
#else
#define QUORVANE_COUNT_ALLOCATIONS 1
#endif

namespace allocation_counter {

inline std::atomic<long> allocations{0};
constexpr bool countsAllocations = QUORVANE_COUNT_ALLOCATIONS != 0;

inline long count() {
    return allocations.load(std::memory_order_relaxed);
}

}  // namespace allocation_counter

#if QUORVANE_COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
    allocation_counter::allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    allocation_counter::allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    allocation_counter::allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    allocation_counter::allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** p, size_t alignment, size_t size) {
    allocation_counter::allocations.fetch_add(1, std::memory_order_relaxed);
    *p = __libc_memalign(alignment, size);
    return *p ? 0 : 12;  // ENOMEM
}
void free(void* p) {
    __libc_free(p);
}
}
#endif
