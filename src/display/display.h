// The display library as the engines and the shell see it: the device
// interface, the display state with its commands, the frame buffer and the
// command line's image selection.
#pragma once

#include "display/device.h"
#include "display/display_state.h"
#include "display/frame_buffer.h"
#include "display/image_selection.h"
