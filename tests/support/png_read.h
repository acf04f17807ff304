// Decoding PNG files in tests, with libpng.
#pragma once

#include <string>

#include "support/run.h"

namespace kxtest {

// Reads an 8-bit RGB PNG (no other kind is accepted); ok is false otherwise.
Image ReadPNG(const std::string& path);

}  // namespace kxtest
