// The model importer on bytes in memory: the first byte chooses the format
// (OBJ, PLY, STL, glTF, GLB), the rest is the model. Each input goes the
// way a user's file goes: through the child process of kxrender-import,
// under its limits, where the model library (Debian's, not instrumented)
// may crash or give up on hostile files; what must hold is that the import
// ends with status 0, or 1 and messages that each name the model, and that
// no file outside is read (a model in memory may read none). An input the
// child survived is run again in this process, on a large stack as the
// child runs it, so that the fuzzer sees the importer's own code and the
// sanitizers check it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "child.h"
#include "import.h"

namespace {

const char* const kFormats[] = {"obj", "ply", "stl", "gltf", "glb"};

// The messages of one import, as the user would see them.
struct Captured {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* f = nullptr;
    Captured() : f(open_memstream(&text, &size)) {}
    ~Captured() {
        if (f) std::fclose(f);
        std::free(text);
    }
    std::string take() {
        std::fflush(f);
        return std::string(text, size);
    }
};

// Status 0 or 1; every line names the model; status 1 says why.
void CheckMessages(int status, const std::string& name, const std::string& text) {
    if (status != 0 && status != 1) std::abort();
    if (status == 1 && text.empty()) std::abort();
    size_t at = 0;
    while (at < text.size()) {
        if (text.compare(at, name.size() + 2, name + ": ") != 0) std::abort();
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) std::abort();
        at = end + 1;
    }
}

std::FILE* Discard() {
    static std::FILE* null = std::fopen("/dev/null", "w");
    return null;
}

}  // namespace

// The library leaks what it had made when it gives up on a damaged file
// (the STL reader, for one); that memory goes with the child in a real
// import, and it is not this program's to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libassimp.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return -1;
    kx::ImportOptions options;
    options.format = kFormats[data[0] % (sizeof kFormats / sizeof kFormats[0])];
    options.fit = data[0] & 0x80;
    const std::string name = "fuzz." + options.format;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    // The user's limits, but seconds instead of minutes (the library loops
    // for ever on some files), within the fuzzer's own -timeout.
    kx::ChildLimits limits = kx::DefaultChildLimits();
    limits.cpuSeconds = 2;
    limits.wallSeconds = 4;
    Captured contained;
    const int status = kx::ImportBuffer(name, bytes, options, Discard(), contained.f, true, &limits);
    const std::string said = contained.take();
    CheckMessages(status, name, said);
    // A death or an endless loop in the library was caught and said in one
    // line: not for this process to run.
    if (status == 1 && (said.find(": the model library ") != std::string::npos ||
                        said.find(": reading the model took more than ") != std::string::npos))
        return 0;

    Captured here;
    const int again = kx::ImportBuffer(name, bytes, options, Discard(), here.f, false);
    // The same result as the child had (the limits aside).
    const std::string saidHere = here.take();
    CheckMessages(again, name, saidHere);
    if (again != status && said.find(": out of memory") == std::string::npos) std::abort();
    return 0;
}
