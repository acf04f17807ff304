#include "display/window_library.h"

#include <dlfcn.h>

#include <initializer_list>
#include <type_traits>

namespace kx {

namespace {

// The first of the names that loads. Loaded as if linked: the libraries'
// symbols are global, as the GL drivers they load in turn expect.
void* OpenFirst(std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (void* handle = dlopen(name, RTLD_NOW | RTLD_GLOBAL)) return handle;
    return nullptr;
}

}  // namespace

bool WindowLibrary::load() {
    if (loaded()) return true;
    // freeglut's library name carries its minor version since 3.4.
    void* glut = OpenFirst({"libglut.so.3.12", "libglut.so.3"});
    void* gl = OpenFirst({"libGL.so.1"});
    void* x = OpenFirst({"libX11.so.6"});
    if (!glut || !gl || !x) return false;
    WindowLibrary found;
    bool complete = true;
    auto find = [&complete](void* library, const char* name, auto& function) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
        if (!function) complete = false;
    };
#define KX_WINDOW_FUNCTION_FIND(library, function) find(library, #function, found.function);
    KX_WINDOW_FUNCTIONS(KX_WINDOW_FUNCTION_FIND)
#undef KX_WINDOW_FUNCTION_FIND
    if (!complete) return false;
    *this = found;
    return true;
}

}  // namespace kx
