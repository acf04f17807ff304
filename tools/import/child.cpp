#include "child.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

// Sanitizers reserve terabytes of address space, and their reports are
// what such a build is for: there the child gets no address space limit and
// its sanitizer reports on the standard error it was given, the library not.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KX_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define KX_SANITIZED 1
#endif
#endif
#ifdef KX_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

namespace kx {

namespace {

// The child's messages beyond this many bytes are left out.
constexpr size_t kMessageBytes = 1 << 20;
// Ends the child's messages: the status it returned follows.
constexpr char kDone = '\x01';

struct ChildState {
    bool inChild = false;
    ChildLimits limits{};
    std::string path;
    std::FILE* err = nullptr;
};
ChildState child;

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

[[noreturn]] void ChildExit(int status) {
    std::fflush(stdout);
    std::fflush(child.err);
    const char done[2] = {kDone, static_cast<char>('0' + std::clamp(status, 0, 9))};
    WriteAll(fileno(child.err), done, 2);
    _exit(status);
}

// An exception that nothing caught (inside the library, or on the way out
// of it): memory the limit refused is said as such.
[[noreturn]] void Terminate() {
    std::string what = "the model library failed (an error it did not handle)";
    try {
        if (std::exception_ptr e = std::current_exception()) std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
        what = "out of memory";
    } catch (...) {
    }
    std::fprintf(child.err, "%s: %s\n", child.path.c_str(), what.c_str());
    ChildExit(1);
}

void Limit(int resource, rlim_t value) {
    struct rlimit r;
    if (getrlimit(resource, &r) != 0) return;
    if (r.rlim_max != RLIM_INFINITY) value = std::min(value, r.rlim_max);
    if (r.rlim_cur != RLIM_INFINITY && r.rlim_cur < value) return;
    r.rlim_cur = value;
    setrlimit(resource, &r);
}

[[noreturn]] void BecomeChild(const std::string& path, const ChildLimits& limits, int errFd, pid_t parent,
                              const std::function<int(std::FILE* err)>& work) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGALRM, SIGXCPU, SIGPIPE, SIGTRAP, SIGSYS})
        signal(sig, SIG_DFL);
    Limit(RLIMIT_CORE, 0);
#ifdef KX_SANITIZED
    const int report = dup(2);
    if (report >= 0) __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(report)));
#else
    Limit(RLIMIT_AS, limits.memoryBytes);
#endif
    // What the library might print goes nowhere: the user sees our lines.
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, 2);
        close(null);
    }
    child.inChild = true;
    child.limits = limits;
    child.path = path;
    child.err = fdopen(errFd, "w");
    if (!child.err) _exit(1);
    std::set_terminate(Terminate);
    const int status = RunOnLargeStack(limits.stackBytes, [&] { return work(child.err); });
    ChildExit(status);
}

std::string SignalText(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "segmentation fault";
        case SIGBUS:
            return "bus error";
        case SIGILL:
            return "illegal instruction";
        case SIGFPE:
            return "arithmetic error";
        case SIGABRT:
            return "aborted";
        case SIGTRAP:
            return "trap";
        case SIGSYS:
            return "bad system call";
        default:
            return "signal " + std::to_string(sig);
    }
}

// The processor time limit the child had: ours, or a lower one it was given.
unsigned CpuLimit(const ChildLimits& limits) {
    struct rlimit r;
    if (getrlimit(RLIMIT_CPU, &r) == 0 && r.rlim_cur != RLIM_INFINITY && r.rlim_cur < limits.cpuSeconds)
        return static_cast<unsigned>(r.rlim_cur);
    return limits.cpuSeconds;
}

}  // namespace

ChildLimits DefaultChildLimits() {
    ChildLimits limits{uint64_t{1} << 30, 120, 600, size_t{512} << 20};
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        limits.memoryBytes = std::clamp(static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 2,
                                        uint64_t{1} << 30, uint64_t{64} << 30);
    return limits;
}

int RunOnLargeStack(size_t stackBytes, const std::function<int()>& work) {
    struct Call {
        const std::function<int()>* work;
        int result;
    } call{&work, 1};
    auto run = [](void* arg) -> void* {
        Call* c = static_cast<Call*>(arg);
        c->result = (*c->work)();
        return nullptr;
    };
    // Smaller stacks where the address space is limited more tightly.
    for (size_t bytes = stackBytes; bytes >= (size_t{16} << 20); bytes /= 4) {
        pthread_attr_t attr;
        if (pthread_attr_init(&attr) != 0) break;
        pthread_t thread;
        const bool made =
            pthread_attr_setstacksize(&attr, bytes) == 0 && pthread_create(&thread, &attr, run, &call) == 0;
        pthread_attr_destroy(&attr);
        if (made) {
            pthread_join(thread, nullptr);
            return call.result;
        }
    }
    return work();
}

void StartLibraryClock() {
    if (!child.inChild) return;
    struct rusage used;
    rlim_t seconds = 0;
    if (getrusage(RUSAGE_SELF, &used) == 0) seconds = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec);
    Limit(RLIMIT_CPU, seconds + child.limits.cpuSeconds);
    alarm(child.limits.wallSeconds);
}

int RunInChild(const std::string& path, const ChildLimits& limits, std::FILE* err,
               const std::function<int(std::FILE* err)>& work) {
    auto fail = [&](const std::string& what) {
        std::fprintf(err, "%s: %s\n", path.c_str(), what.c_str());
        return 1;
    };
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return fail(std::string("cannot start the import: ") + std::strerror(errno));
    std::fflush(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        const int e = errno;
        close(fds[0]);
        close(fds[1]);
        return fail(std::string("cannot start the import: ") + std::strerror(e));
    }
    if (pid == 0) {
        close(fds[0]);
        BecomeChild(path, limits, fds[1], parent, work);
    }
    close(fds[1]);

    std::string kept;
    char tail[2] = {0, 0};
    bool cut = false;
    char buf[1 << 14];
    for (;;) {
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const size_t room = kMessageBytes - std::min(kMessageBytes, kept.size());
        kept.append(buf, std::min(room, static_cast<size_t>(n)));
        cut = cut || static_cast<size_t>(n) > room;
        if (n >= 2) {
            tail[0] = buf[n - 2];
            tail[1] = buf[n - 1];
        } else {
            tail[0] = tail[1];
            tail[1] = buf[0];
        }
    }
    close(fds[0]);
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR) return fail(std::string("the import was lost: ") + std::strerror(errno));

    if (WIFEXITED(status) && tail[0] == kDone) {
        // Its own lines, as it wrote them.
        if (!cut) kept.resize(kept.size() - 2);
        if (cut) kept = kept.substr(0, kept.rfind('\n') + 1) + path + ": warning: further messages left out\n";
        std::fwrite(kept.data(), 1, kept.size(), err);
        std::fflush(err);
        return tail[1] - '0';
    }
    if (WIFEXITED(status))
        return fail("the model library failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")");
    const int sig = WTERMSIG(status);
    if (sig == SIGPIPE) {
        // The reader of the output went away: end as the writer would have.
        signal(SIGPIPE, SIG_DFL);
        raise(SIGPIPE);
        return 1;
    }
    const unsigned cpu = CpuLimit(limits);
    // A limit the shell set equal to the hard one kills at once.
    const double usedCpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (sig == SIGXCPU || (sig == SIGKILL && usedCpu + 1 >= static_cast<double>(cpu)))
        return fail("reading the model took more than " + std::to_string(cpu) + " s of processor time");
    if (sig == SIGALRM) return fail("reading the model took more than " + std::to_string(limits.wallSeconds) + " s");
    if (sig == SIGKILL) return fail("the model library was killed (signal 9)");
    return fail("the model library failed (" + SignalText(sig) + ")");
}

}  // namespace kx
