#include "display/output_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/errors.h"
#include "core/paths.h"
#include "core/printable.h"

namespace kx {

namespace {

bool IsFolder(const std::string& path) {
    struct stat s {};
    return stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

int FolderFailed(const std::string& folder, int error) {
    std::string text =
        "cannot create folder " + PrintableName(folder) + ": " + std::strerror(error != 0 ? error : EIO) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    return kErrEndOfFile;
}

}  // namespace

std::string UnderOutputFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || (!name.empty() && name[0] == '/')) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

int MakeOutputFolder(const std::string& name) {
    const std::string folder = ConfinedPath(name);
    if (folder.find('\0') != std::string::npos) return FolderFailed(folder, EINVAL);
    if (IsFolder(folder)) return 0;
    // Each folder on the way down, from the first below the root; one that
    // is there already (made meanwhile by another run, perhaps) is passed.
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (!part.empty() && part.back() != '/' && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return FolderFailed(folder, errno);
        if (end == std::string::npos) break;
    }
    return IsFolder(folder) ? 0 : FolderFailed(folder, ENOTDIR);
}

}  // namespace kx
