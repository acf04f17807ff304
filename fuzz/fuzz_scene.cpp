// Any bytes as a scene file, through the parser and the engine it selects.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kxfuzz::Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kxfuzz::RunScene(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
