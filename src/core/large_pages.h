// An allocator for the image-sized buffers (frame and depth): a buffer of half
// a megabyte or more is a fresh mapping of whole 2 MB pages and the kernel is
// asked to back it with huge pages, so that filling a 640 x 480 frame takes
// one page fault instead of several hundred. Where the kernel has no huge
// pages it is an ordinary mapping. Such a buffer reads as zeros until it is
// written (Zeroed), and a page never written costs nothing. Smaller buffers
// are left to operator new. A vector's resize leaves the elements it adds
// unset (UnsetElements).
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/unset_elements.h"

// Under AddressSanitizer (GCC's macro, clang's feature test) the buffers
// are the sanitizer's own memory, so that it checks every access to them.
#if defined(__SANITIZE_ADDRESS__)
#define KX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_ADDRESS_SANITIZER 1
#endif
#endif

namespace kx {

template <class T>
struct LargePageAllocator : UnsetElements {
    using value_type = T;

    static constexpr size_t kHugePage = size_t(2) << 20;
    static constexpr size_t kThreshold = size_t(1) << 19;

    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) {}

    // Whether a buffer of n elements comes zeroed.
    static bool Zeroed(size_t n) { return n * sizeof(T) >= kThreshold; }

    T* allocate(size_t n) {
        if (n > static_cast<size_t>(-1) / sizeof(T) - 2 * kHugePage) throw std::bad_alloc();
        const size_t bytes = n * sizeof(T);
        if (bytes < kThreshold) return static_cast<T*>(::operator new(bytes));
        const size_t whole = Whole(bytes);
#if defined(KX_ADDRESS_SANITIZER)
        void* p = std::aligned_alloc(kHugePage, whole);
        if (!p) throw std::bad_alloc();
        std::memset(p, 0, whole);
#else
        // A mapping a page larger, cut down to whole pages on a page boundary.
        void* mapped = mmap(nullptr, whole + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        const uintptr_t start = (reinterpret_cast<uintptr_t>(mapped) + kHugePage - 1) & ~(kHugePage - 1);
        const size_t head = start - reinterpret_cast<uintptr_t>(mapped);
        if (head > 0) munmap(mapped, head);
        munmap(reinterpret_cast<void*>(start + whole), kHugePage - head);  // head < kHugePage
        void* p = reinterpret_cast<void*>(start);
#endif
        madvise(p, whole, MADV_HUGEPAGE);  // advice only: without huge pages, small ones
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n) {
        const size_t bytes = n * sizeof(T);
        if (bytes < kThreshold) {
            ::operator delete(p);
            return;
        }
#if defined(KX_ADDRESS_SANITIZER)
        std::free(p);
#else
        munmap(p, Whole(bytes));
#endif
    }

    template <class U>
    bool operator==(const LargePageAllocator<U>&) const { return true; }

private:
    static size_t Whole(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }
};

}  // namespace kx
