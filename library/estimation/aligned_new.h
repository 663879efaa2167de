// 16-byte aligned allocation for the objects of the estimation framework.
#pragma once

#include <Eigen/Core>
#include <cstddef>
#include <new>

namespace Utils {

// Base for every heap object of the framework (filter, EKF, models, noises).
// Their fixed-size Eigen members (4-vectors, 4 x 4 matrices) need 16-byte
// alignment for vectorised code; new and delete of any derived class go
// through the aligned global operators with that alignment, so allocation
// and release always match.
struct AlignedNew {
    // 16 bytes, or more when Eigen is built for wider vectors (AVX wants 32).
    static constexpr std::align_val_t alignment{EIGEN_MAX_ALIGN_BYTES > 16 ? EIGEN_MAX_ALIGN_BYTES
                                                                            : 16};

    static void* operator new(std::size_t size) { return ::operator new(size, alignment); }
    static void operator delete(void* p) noexcept { ::operator delete(p, alignment); }
    static void* operator new[](std::size_t size) { return ::operator new[](size, alignment); }
    static void operator delete[](void* p) noexcept { ::operator delete[](p, alignment); }
    // Placement new stays available (a class-level operator new hides it).
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}
};

}  // namespace Utils
