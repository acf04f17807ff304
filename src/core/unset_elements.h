// For allocators whose vectors leave the elements that resize adds unset
// (default-initialized; assign and the constructors with a value still set
// them): a buffer that is written before it is read is then written once.
#pragma once

#include <new>
#include <utility>

namespace kx {

struct UnsetElements {
    template <class U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

}  // namespace kx
