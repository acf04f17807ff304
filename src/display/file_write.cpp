#include "display/file_write.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "core/errors.h"
#include "core/paths.h"
#include "core/printable.h"

namespace kx {

namespace {

// The line for a file that cannot be written. inFolder: the file could not
// be made in its folder; when the reason is the folder's own (missing, not a
// folder, not writable), the line names the folder.
int WriteFailed(const std::string& path, int error, bool inFolder = false) {
    std::string text = "cannot write " + PrintableName(path) + ": ";
    if (inFolder && (error == ENOENT || error == ENOTDIR || error == EACCES || error == EPERM || error == EROFS)) {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        text += "folder " + PrintableName(folder) + ": ";
    }
    text += std::string(std::strerror(error != 0 ? error : EIO)) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    return kErrEndOfFile;
}

// The temporary file being written, removed by the interrupt handler. It is
// set and cleared only while the interrupts are blocked.
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
char gTemporary[4096];
volatile sig_atomic_t gTemporaryActive = 0;

extern "C" void RemoveTemporaryAndEnd(int sig) {
    if (gTemporaryActive) unlink(gTemporary);
    // The handler was reset to the default on entry: the signal ends the
    // process as it would have without the handler.
    raise(sig);
}

// Holds the interrupts back for its lifetime.
class InterruptsHeld {
public:
    InterruptsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : kInterrupts) sigaddset(&set, sig);
        pthread_sigmask(SIG_BLOCK, &set, &saved_);
    }
    ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t saved_;
};

// Creates a new temporary file next to path with the given permission bits;
// its name goes to temp, and to the interrupt handler.
int CreateTemporary(const std::string& path, mode_t mode, std::string& temp) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // Short enough that the folder's name length limit cannot refuse it when
    // it accepts the final name.
    if (base.size() > 200) base.resize(200);
    char pid[32];
    snprintf(pid, sizeof pid, ".%ld", static_cast<long>(getpid()));
    std::string stem = folder;
    stem += '.';
    stem += base;
    stem += pid;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = stem;
        if (attempt) {
            char suffix[16];
            snprintf(suffix, sizeof suffix, "-%d", attempt);
            temp += suffix;
        }
        temp += ".tmp";
        if (temp.size() >= sizeof gTemporary) {
            errno = ENAMETOOLONG;
            return -1;
        }
        int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            std::memcpy(gTemporary, temp.c_str(), temp.size() + 1);
            gTemporaryActive = 1;
        }
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

void RemoveTemporaryOnInterrupt() {
    for (int sig : kInterrupts) {
        struct sigaction old {};
        // A signal ignored by whoever started the program stays ignored.
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = RemoveTemporaryAndEnd;
        sigemptyset(&action.sa_mask);
        for (int other : kInterrupts) sigaddset(&action.sa_mask, other);
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        sigaction(sig, &action, nullptr);
    }
}

int WriteWholeFile(const std::string& name, const std::function<bool(std::FILE*)>& write, size_t expectedSize) {
    const std::string path = ConfinedPath(name);
    // A NUL inside (a "\0" escape in the display name) would cut the name
    // short, and the image would land on another file.
    if (path.find('\0') != std::string::npos) return WriteFailed(path, EINVAL);
    // A file that is replaced keeps its permission bits and, where the
    // system allows it, its owner.
    struct stat existing {};
    const bool replacing = stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    const mode_t mode = replacing ? (existing.st_mode & 0777) : 0666;
    std::string temp;
    int fd;
    {
        InterruptsHeld held;
        fd = CreateTemporary(path, mode, temp);
    }
    if (fd < 0) return WriteFailed(path, errno, true);
    if (replacing) {
        if (existing.st_uid != geteuid() || existing.st_gid != getegid())
            (void)!fchown(fd, existing.st_uid, existing.st_gid);
        (void)!fchmod(fd, mode);  // the creation mask may have taken bits away
    }
    // Only a reservation: the size stays that of what is written, and a
    // file system without it writes as before.
    if (expectedSize > 0) (void)!fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(expectedSize));
    bool ok = false;
    int error = 0;
    if (std::FILE* f = fdopen(fd, "wb")) {
        errno = 0;
        ok = write(f);
        error = errno;
        if (std::fflush(f) != 0 && ok) {
            ok = false;
            error = errno;
        }
        if (std::ferror(f)) ok = false;
        if (std::fclose(f) != 0 && ok) {
            ok = false;
            error = errno;
        }
    } else {
        error = errno;
        close(fd);
    }
    {
        InterruptsHeld held;
        if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
            ok = false;
            error = errno;
        }
        if (!ok) unlink(temp.c_str());
        gTemporaryActive = 0;
    }
    if (!ok) return WriteFailed(path, error);
    return 0;
}

}  // namespace kx
