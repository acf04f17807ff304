#include "shell/display_screen.h"

#include "core/errors.h"
#include "shell/display_file.h"

namespace kx {

// Placeholder until the window device lands.
std::unique_ptr<DisplayDevice> MakeScreenDevice(ScreenMode) { return std::make_unique<FileDevice>(); }

}  // namespace kx
