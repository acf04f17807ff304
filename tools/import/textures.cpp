#include "textures.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "display/frame_buffer.h"
#include "display/png_device.h"
#include "import_text.h"

namespace kx {

namespace {

// A name of more parts than this is not walked part by part; a folder of
// more entries than this is not searched for a name in another case.
constexpr size_t kMaxParts = 64;
constexpr size_t kMaxFolderEntries = 100000;
// Names tried for one file written beside the scene.
constexpr int kMaxNameTries = 100;

// The entry of folder named name without regard to case (the first in
// byte order when several are); "" when none.
std::string FindIgnoringCase(const std::string& folder, const std::string& name) {
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return "";
    std::string best;
    size_t seen = 0;
    while (const dirent* e = readdir(d)) {
        if (++seen > kMaxFolderEntries) break;
        const bool same = std::strlen(e->d_name) == name.size() && strcasecmp(e->d_name, name.c_str()) == 0;
        if (same && (best.empty() || best > e->d_name)) best = e->d_name;
    }
    closedir(d);
    return best;
}

// Whole file at path equals bytes.
bool SameBytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string have(bytes.size() + 1, '\0');
    const size_t n = std::fread(have.data(), 1, have.size(), f);
    std::fclose(f);
    return n == bytes.size() && have.compare(0, n, bytes) == 0;
}

// The system's reason why a name was not found: the first that says more
// than that it does not exist.
void NoteError(int& error, int now) {
    if (error == 0 || error == ENOENT) error = now;
}

std::string FileName(const std::string& stem, const std::string& tag, const std::string& ext, int attempt) {
    std::string name = stem + "_" + tag;
    if (attempt > 1) (name += '-') += std::to_string(attempt);
    return name + "." + ext;
}

}  // namespace

// ---------------------------------------------------------------------------
// Finding textures

TextureFolder::TextureFolder(const std::string& modelPath) {
    shown_ = modelPath == "-" ? "" : Folder(modelPath);
    folder_ = shown_.empty() ? "./" : shown_;
    real_ = RealPath(folder_);
}

bool TextureFolder::Inside(const std::string& path, std::string& real) const {
    real = RealPath(path);
    return Below(real, real_);
}

// The parts from `from` on, each matched exactly or else without regard to
// case, below the model's folder.
bool TextureFolder::Walk(const std::vector<std::string>& parts, size_t from, Found& found, std::string& refusal,
                         int& error) const {
    std::string at = folder_;
    std::string shown = shown_;
    for (size_t i = from; i < parts.size(); ++i) {
        struct stat st;
        std::string next = at + parts[i];
        if (lstat(next.c_str(), &st) != 0) {
            const int missing = errno;
            const std::string other = FindIgnoringCase(at, parts[i]);
            if (other.empty()) {
                NoteError(error, missing);
                return false;
            }
            next = at + other;
        }
        shown += next.substr(at.size());
        at = i + 1 < parts.size() ? next + "/" : next;
        if (i + 1 < parts.size()) shown += '/';
    }
    found.shown = shown;
    return Usable(at, found.real, refusal, error);
}

// A regular file in or below the model's folder. A file there that is
// not one (a folder, a FIFO, a device), or a link that leads outside, sets
// refusal, once.
bool TextureFolder::Usable(const std::string& path, std::string& real, std::string& refusal, int& error) const {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        NoteError(error, errno);
        return false;
    }
    const char* why = !Inside(path, real)      ? "leads outside the model's folder"
                      : !S_ISREG(st.st_mode) ? "not a regular file"
                                             : nullptr;
    if (!why) return true;
    if (refusal.empty()) refusal = why;
    return false;
}

TextureFolder::Found TextureFolder::Find(const std::string& given, std::string& why) const {
    std::string name = given;
    if (name.rfind("file://", 0) == 0) name = name.substr(7);
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool drive = name.size() >= 2 && name[1] == ':' &&
                       ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
    const bool absolute = drive || (!name.empty() && name[0] == '/');
    std::vector<std::string> parts;
    size_t start = drive ? 2 : 0;
    while (start <= name.size() && parts.size() <= kMaxParts) {
        size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        const std::string part = name.substr(start, slash - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = slash + 1;
    }
    why = "not found";
    Found found;
    if (parts.empty() || parts.size() > kMaxParts) return found;

    // As written: a relative name from the model's folder, `..` taken by
    // name; an absolute one where it is, if that is in the folder.
    std::string refusal;
    int error = 0;
    std::string looked;  // the folders looked in, for the reason
    bool leaves = absolute;
    if (!absolute) {
        std::vector<std::string> path;
        for (const std::string& p : parts) {
            if (p != "..") {
                path.push_back(p);
            } else if (path.empty()) {
                leaves = true;
                break;
            } else {
                path.pop_back();
            }
        }
        if (!leaves && Walk(path, 0, found, refusal, error)) return found;
    } else if (!drive) {
        found.shown = name;
        std::string elsewhere;  // the name's own place outside is no reason to give
        if (Usable(name, found.real, elsewhere, error)) return found;
        // Its own folder was looked in when the file is not there.
        const size_t slash = name.find_last_of('/');
        if (error != 0) looked = (slash == 0 ? "/" : name.substr(0, slash)) + " and ";
    }
    // The name's last parts in the model's folder, fewer and fewer; none
    // that holds a "..".
    size_t first = 0;
    for (size_t i = 0; i < parts.size(); ++i)
        if (parts[i] == "..") first = i + 1;
    for (size_t k = std::max<size_t>(first, leaves ? 0 : 1); k < parts.size(); ++k)
        if (Walk(parts, k, found, refusal, error)) return found;
    const std::string modelFolder = shown_.empty() ? "." : shown_ == "/" ? "/" : shown_.substr(0, shown_.size() - 1);
    if (looked != modelFolder + " and ") looked += modelFolder;
    else looked = modelFolder;
    if (!refusal.empty())
        why = refusal;
    else if (leaves)
        why = "outside the model's folder, and not found in it";
    if (refusal.empty())
        why += " (looked in " + looked + ": " + std::strerror(error != 0 ? error : ENOENT) + ")";
    found = Found{};
    return found;
}

// ---------------------------------------------------------------------------
// Files beside the scene

OutputFolder::OutputFolder(const std::string& output, const std::string& stem) : stem_(stem) {
    given_ = !output.empty();
    folder_ = Folder(output);
    real_ = RealPath(folder_.empty() ? "." : folder_);
}

std::string OutputFolder::SceneName(const std::string& real, const std::string& shown) const {
    if (!given_ || shown.empty()) return shown;
    if (Below(real, real_)) return real.substr(real_ == "/" ? 1 : real_.size() + 1);
    if (shown[0] == '/') return shown;
    // From the current folder, "." and ".." taken by name.
    return LexicalPath(shown);
}

std::string OutputFolder::WriteFile(const std::string& tag, const std::string& ext, const std::string& bytes,
                                    std::string& why) const {
    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        const std::string name = FileName(stem_, tag, ext, attempt);
        const std::string path = folder_ + name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0) {
            if (S_ISREG(st.st_mode) && SameBytes(path, bytes)) return name;
            continue;  // another file's name
        }
        // A temporary file in the same folder, linked under the name only
        // when whole: the link fails rather than replace a file made since.
        std::string temp = path + ".XXXXXX";
        const int fd = mkstemp(temp.data());
        if (fd < 0) {
            why = "cannot write " + path + ": " + std::strerror(errno);
            return "";
        }
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        const int error = done == bytes.size() ? 0 : errno ? errno : EIO;
        if (close(fd) != 0 || error != 0) {
            why = "cannot write " + path + ": " + std::strerror(error ? error : errno);
            unlink(temp.c_str());
            return "";
        }
        const int linked = link(temp.c_str(), path.c_str());
        const int linkError = errno;
        unlink(temp.c_str());
        if (linked == 0) return name;
        if (linkError == EEXIST) continue;
        why = "cannot write " + path + ": " + std::strerror(linkError);
        return "";
    }
    why = "no free name for " + folder_ + FileName(stem_, tag, ext, 1);
    return "";
}

std::string OutputFolder::Link(const std::string& tag, const std::string& ext, const std::string& target,
                               std::string& why) const {
    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        const std::string name = FileName(stem_, tag, ext, attempt);
        const std::string path = folder_ + name;
        if (symlink(target.c_str(), path.c_str()) == 0) return name;
        if (errno != EEXIST) {
            why = "cannot make the link " + path + ": " + std::strerror(errno);
            return "";
        }
        std::string have(PATH_MAX + 1, '\0');
        const ssize_t n = readlink(path.c_str(), have.data(), have.size());
        if (n >= 0 && have.compare(0, static_cast<size_t>(n), target) == 0 && static_cast<size_t>(n) == target.size())
            return name;
    }
    why = "no free name for " + folder_ + FileName(stem_, tag, ext, 1);
    return "";
}

std::string EncodePng(int width, int height, const uint8_t* rgb) {
    FrameBuffer image;
    image.width = width;
    image.height = height;
    image.pixels.assign(rgb, rgb + static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    char* data = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&data, &size);
    if (!f) return "";
    const bool ok = WritePng(f, image);
    std::fclose(f);
    std::string bytes = ok ? std::string(data, size) : std::string();
    std::free(data);
    return bytes;
}

}  // namespace kx
