// The screen device: a GLUT window showing the frame buffer.
#pragma once

#include <memory>

#include "display/device.h"

namespace kx {

enum class ScreenMode { Single, Object, Double };

std::unique_ptr<DisplayDevice> MakeScreenDevice(ScreenMode mode);

}  // namespace kx
