#include "shell/watch.h"

#include <limits.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/printable.h"
#include "scene/report.h"
#include "shell/run.h"

namespace kx {

namespace {

// What happens to a name in a watched folder that may change what a run
// reads. Editors replace a file by a rename as often as they write it in
// place, and may delete it first; touch changes its times only.
constexpr uint32_t kFolderEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_ATTRIB | IN_ONLYDIR;

// An editor writes a file in several steps (a rename, or a truncation and
// then the writes, the times set last): the run waits until no watched name
// has changed for kSettle, and at most kSettleRounds times that.
constexpr std::chrono::milliseconds kSettle(100);
constexpr int kSettleRounds = 20;
// How long an idle step of an open window waits for a change: the window's
// events wait at most that long meanwhile.
constexpr std::chrono::milliseconds kWindowWait(100);

// The exit status of a watch that cannot start or go on.
constexpr int kWatchFailed = 1;

// The folders of the files a run read, watched by inotify, and the names in
// each that matter.
class FileWatch {
public:
    FileWatch() = default;
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;
    ~FileWatch() {
        if (fd_ >= 0) close(fd_);
    }

    // 0, or the system's error number.
    int open() {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        return fd_ < 0 ? errno : 0;
    }
    // Forgets the names; the folders stay watched.
    void clearNames() { names_.clear(); }
    // Watches the name of a file in its folder, and, for a symbolic link,
    // the file it leads to as well: 0, or the system's error number for the
    // folder of path.
    int add(const std::string& path) {
        const int status = addName(path);
        if (char* real = realpath(path.c_str(), nullptr)) {
            if (path != real) addName(real);
            std::free(real);
        }
        return status;
    }
    // Whether a watched name changed within the time (or, with none, at
    // all): true as soon as one did.
    bool changedWithin(const std::chrono::milliseconds* limit);

private:
    int addName(const std::string& path) {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (name.empty()) return 0;
        const int wd = inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
        if (wd < 0) return errno;
        std::vector<std::string>& names = names_[wd];
        for (const std::string& n : names)
            if (n == name) return 0;
        names.push_back(name);
        return 0;
    }
    // Reads the events waiting: whether one concerns a watched name.
    bool readEvents();

    int fd_ = -1;
    std::map<int, std::vector<std::string>> names_;  // by watch descriptor: the names in its folder
};

bool FileWatch::readEvents() {
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    bool hit = false;
    for (;;) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return hit;  // EAGAIN: nothing more waits
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            // Events were lost: any of them may have been ours.
            if (e->mask & IN_Q_OVERFLOW) hit = true;
            const auto watched = names_.find(e->wd);
            if (watched == names_.end()) continue;
            // The folder itself is gone: the run finds out what is left.
            if (e->mask & IN_IGNORED) {
                names_.erase(watched);
                hit = true;
                continue;
            }
            if (e->len == 0) continue;
            for (const std::string& name : watched->second)
                if (name == e->name) hit = true;
        }
    }
}

bool FileWatch::changedWithin(const std::chrono::milliseconds* limit) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = limit ? Clock::now() + *limit : Clock::time_point::max();
    for (;;) {
        int timeout = -1;
        if (limit) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) return false;
            timeout = static_cast<int>(left);
        }
        pollfd wait{fd_, POLLIN, 0};
        const int ready = poll(&wait, 1, timeout);
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && readEvents()) return true;
    }
}

// The watch of a run of the program. The window toolkit's idle callback
// carries no data: it finds it here. It outlives the runs, each of which
// starts from a Process reset.
struct Watch {
    Process* p = nullptr;
    CommandLine line;
    WindowHooks hooks;  // a plain run's: hooks.idle is one parse step of a run whose window is open
    FileWatch files;
    bool running = false;  // a run is under way in the window's idle steps
};

Watch& watch() {
    static Watch w;
    return w;
}

bool WatchIdle();

void Say(const std::string& text) {
    const std::string line = std::string(program_invocation_name) + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// A run from a fresh state, as a new process would start it, up to its
// opened scene: 0, or the status after its report.
int StartRun(Watch& w) {
    Process& p = *w.p;
    p.reset();
    p.display.exitStatus = 0;
    const std::string& file = w.line.file;
    if (int status = p.input.open(file)) {
        ReportError(status, file, p.input);
        p.display.exitStatus = status;
        return status;
    }
    p.sceneFolder.setFromScene(file);
    ApplyCommandLine(w.line, p);
    p.display.window = w.hooks;
    p.display.window.idle = WatchIdle;
    return 0;
}

// After a run: the files it read are watched, and the user is told. False
// when the scene's own folder cannot be watched: the watch ends.
bool WatchFilesRead(Watch& w) {
    Process& p = *w.p;
    w.files.clearNames();
    const std::string& scene = w.line.file;
    if (int error = w.files.add(scene)) {
        Say("cannot watch " + PrintableName(scene) + ": " + std::strerror(error));
        return false;
    }
    // Of the map files whose folder cannot be watched, the first is named.
    bool named = false;
    for (const MapList* maps : {&p.maps, &p.ray.maps})
        for (const std::string& file : maps->filesLooked)
            if (int error = w.files.add(file); error != 0 && !named) {
                Say("cannot watch " + PrintableName(file) + ": " + std::strerror(error));
                named = true;
            }
    Say("watching " + PrintableName(scene) + " for changes (Ctrl-C ends)");
    return true;
}

// The end of a run in the window's idle steps: its files watched, or the
// watch ended, through the window's way out, with status 1.
void EndWindowRun(Watch& w) {
    Shutdown(*w.p);
    if (WatchFilesRead(w)) return;
    w.p->display.exitStatus = kWatchFailed;
    w.hooks.leave();
}

// After a change seen: the changes that follow it at once, then whether the
// scene is there to be read (an editor may have removed it for a moment;
// its return is a change again).
bool ChangeSettled(Watch& w) {
    for (int round = 0; round < kSettleRounds && w.files.changedWithin(&kSettle); ++round) {
    }
    struct stat st {};
    return stat(w.line.file.c_str(), &st) == 0;
}

// One idle step of an open window: a parse step of the run under way, or,
// once it is done, a bounded wait for a change and the start of the next.
bool WatchIdle() {
    Watch& w = watch();
    Process& p = *w.p;
    if (w.running) {
        if (w.hooks.idle()) return true;
        w.running = false;
        EndWindowRun(w);
        return true;
    }
    if (!w.files.changedWithin(&kWindowWait) || !ChangeSettled(w)) return true;
    if (StartRun(w) == 0 && BeginOpenedScene(p, w.line.file) == 0) {
        w.running = true;
        return true;
    }
    EndWindowRun(w);
    return true;
}

}  // namespace

int RunWatched(Process& p, const CommandLine& line, const WindowHooks& hooks) {
    Watch& w = watch();
    w.p = &p;
    w.line = line;
    w.hooks = hooks;
    if (int error = w.files.open()) {
        Say(std::string("cannot watch files: ") + std::strerror(error));
        return kWatchFailed;
    }
    // The scene's folder is watched before the first run reads it.
    if (int error = w.files.add(line.file)) {
        Say("cannot watch " + PrintableName(line.file) + ": " + std::strerror(error));
        return kWatchFailed;
    }
    // A run that opens a window goes on in the window's idle steps, and the
    // watch with it: this loop then never comes back.
    for (;;) {
        if (StartRun(w) == 0) {
            w.running = true;
            p.display.exitStatus = RunOpenedScene(p, line.file);
            w.running = false;
        }
        if (!WatchFilesRead(w)) return kWatchFailed;
        do {
            while (!w.files.changedWithin(nullptr)) {
            }
        } while (!ChangeSettled(w));
    }
}

}  // namespace kx
