// Never run: links every function of the window libraries that kxrender
// loads when a window opens, for dpkg-shlibdeps to name their packages.
#include "display/window_library.h"

#define KX_WINDOW_FUNCTION_ADDRESS(library, function) reinterpret_cast<void*>(&::function),
void* const kWindowFunctions[] = {KX_WINDOW_FUNCTIONS(KX_WINDOW_FUNCTION_ADDRESS)};

int main() { return kWindowFunctions[0] == nullptr; }
