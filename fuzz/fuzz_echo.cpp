// The scene converter's output reads back: any bytes run under the "data
// convert" engine; when that run succeeds, its output run the same way must
// succeed too, and converting that second text once more must change nothing.
// (The first conversion may differ from the second where the six significant
// digits of the number format make distinct vertices of a mesh equal.)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"

namespace {

const char kPrefix[] = "Engine \"data convert\"\n";

int Convert(const std::string& scene, std::string& out) {
    out.clear();
    return kxfuzz::RunScene(kPrefix + scene, &out);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kxfuzz::Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string first, second, third;
    if (Convert(std::string(reinterpret_cast<const char*>(data), size), first) != 0) return 0;
    int status = Convert(first, second);
    if (status == 0) status = Convert(second, third);
    if (status != 0 || third != second) {
        std::fprintf(stderr,
                     "converted text does not read back (status %d)\n--- first\n%s--- second\n%s--- third\n%s---\n",
                     status, first.c_str(), second.c_str(), third.c_str());
        std::abort();
    }
    return 0;
}
