#include "fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "engines/echo/echo_text.h"
#include "scene/input.h"
#include "shell/process.h"
#include "shell/run.h"

namespace kxfuzz {

namespace {

std::string& scratchFolder() {
    static std::string folder;
    return folder;
}

// The example texture maps, copied into the scratch folder so that scenes
// can load them by their plain names; they stay there between runs.
std::set<std::string>& keptFiles() {
    static std::set<std::string> names;
    return names;
}

void CopyExampleMaps() {
    const std::string from = std::string(KX_SOURCE_DIR) + "/examples/textures";
    DIR* d = opendir(from.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::ifstream in(from + "/" + name, std::ios::binary);
        std::ofstream out(scratchFolder() + "/" + name, std::ios::binary);
        out << in.rdbuf();
        keptFiles().insert(name);
    }
    closedir(d);
}

// Removes every file of the scratch folder (the runs create no folders).
void EmptyScratch() {
    DIR* d = opendir(scratchFolder().c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != ".." && !keptFiles().count(name)) unlink((scratchFolder() + "/" + name).c_str());
    }
    closedir(d);
}

void RemoveScratch() {
    keptFiles().clear();
    EmptyScratch();
    if (!scratchFolder().empty()) rmdir(scratchFolder().c_str());
}

}  // namespace

void Initialize() {
    unsetenv("DISPLAY");
    char folder[] = "/tmp/kxfuzz.XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("kxfuzz: scratch folder");
        std::abort();
    }
    scratchFolder() = folder;
    CopyExampleMaps();
    std::atexit(RemoveScratch);
}

int RunScene(const std::string& text, std::string* echoOut) {
    // The run happens in the scratch folder; libFuzzer's own files (crash
    // inputs, corpora) stay where it was started.
    const int home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (home < 0 || chdir(scratchFolder().c_str()) != 0) {
        std::perror("kxfuzz: scratch folder");
        std::abort();
    }
    std::string discarded;
    kx::TextSink sink(echoOut ? echoOut : &discarded);
    kx::process().reset();
    kx::process().input.openText(text);
    kx::process().echo.out = &sink;
    const int status = kx::RunOpenedScene(kx::process(), "fuzz.kx");
    kx::process().reset();
    EmptyScratch();
    if (fchdir(home) != 0) std::abort();
    close(home);
    return status;
}

}  // namespace kxfuzz
