// An allocator for the image-sized buffers (frame and depth): a buffer of half
// a megabyte or more is placed on whole 2 MB pages and the kernel is asked to
// back it with huge pages, so that filling a 640 x 480 frame takes one page
// fault instead of several hundred. Where the kernel has no huge pages it is
// an ordinary allocation. Smaller buffers are left to operator new. A
// vector's resize leaves the elements it adds unset (UnsetElements).
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "core/unset_elements.h"

namespace kx {

template <class T>
struct LargePageAllocator : UnsetElements {
    using value_type = T;

    static constexpr size_t kHugePage = size_t(2) << 20;
    static constexpr size_t kThreshold = size_t(1) << 19;

    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) {}

    T* allocate(size_t n) {
        if (n > static_cast<size_t>(-1) / sizeof(T) - kHugePage) throw std::bad_alloc();
        const size_t bytes = n * sizeof(T);
        if (bytes < kThreshold) return static_cast<T*>(::operator new(bytes));
        const size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* p = std::aligned_alloc(kHugePage, whole);
        if (!p) throw std::bad_alloc();
        madvise(p, whole, MADV_HUGEPAGE);  // advice only: without huge pages, small ones
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n) {
        if (n * sizeof(T) < kThreshold) {
            ::operator delete(p);
        } else {
            std::free(p);
        }
    }

    template <class U>
    bool operator==(const LargePageAllocator<U>&) const { return true; }
};

}  // namespace kx
