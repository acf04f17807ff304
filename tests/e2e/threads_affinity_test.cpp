// How many threads the engines run: by default one per CPU the process may
// use (its affinity set, which taskset and Slurm narrow), not one per core
// of the machine; OptionReal "Threads" still says otherwise.
//
// The direct engine's helper threads stay while the program waits for more
// of its scene, so the real binary's threads are counted in /proc once it
// has written a frame read from a pipe that is still open.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/threads.h"
#include "engines/raytrace/row_pipeline.h"
#include "support/run.h"

using namespace kxtest;

namespace {

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer's runtime starts a thread of its own with the first other.
constexpr int kRuntimeThreads = 1;
#else
constexpr int kRuntimeThreads = 0;
#endif

// The CPUs of this thread's affinity set.
std::vector<int> OwnCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cpus;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &set)) cpus.push_back(c);
    return cpus;
}

cpu_set_t FirstOf(const std::vector<int>& cpus, int count) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int i = 0; i < count; ++i) CPU_SET(cpus[static_cast<size_t>(i)], &set);
    return set;
}

int CountThreads(pid_t pid) {
    int n = 0;
    if (DIR* d = opendir(("/proc/" + std::to_string(pid) + "/task").c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

// Runs kxrender on its standard input in dir with the first `cpus` CPUs of
// this process's set, feeds it the scene, and once t0001.ppm is written
// counts its threads; then ends the input. -1 when the image never came.
int ThreadsAfterFrame(const std::string& dir, const std::string& scene, int cpus, int* status) {
    const cpu_set_t set = FirstOf(OwnCpus(), cpus);
    int in[2];
    if (pipe(in) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0 || sched_setaffinity(0, sizeof set, &set) != 0) _exit(126);
        dup2(in[0], 0);
        close(in[0]);
        close(in[1]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl(KX_BINARY, KX_BINARY, "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    int threads = -1;
    bool ended = false;
    if (write(in[1], scene.data(), scene.size()) == static_cast<ssize_t>(scene.size())) {
        // Until the image is there, or the program has ended (a minute at
        // most: a safety net, not a measure).
        for (int i = 0; i < 60000 && threads < 0 && !ended; ++i) {
            if (FileExists(dir + "/t0001.ppm")) {
                threads = CountThreads(pid);
            } else if (waitpid(pid, status, WNOHANG) == pid) {
                ended = true;
            } else {
                usleep(1000);
            }
        }
    }
    close(in[1]);
    if (!ended) {
        if (threads < 0) kill(pid, SIGKILL);
        waitpid(pid, status, 0);
    }
    return threads;
}

std::string Scene(const std::string& option) {
    return option + "Display \"t\" \"PNM\" \"rgb\"\nFormat 64 48\nFrameBegin 1\nWorldBegin\nColor 1 0.5 0.25\n"
                    "PolySet \"P\" 3 1 -1 -1 -2 1 -1 -2 0 1 -2 0 1 2 -1\nWorldEnd\nFrameEnd\n";
}

TEST(Threads, DirectEngineRunsOnePerCpuOfItsAffinity) {
    const int own = static_cast<int>(OwnCpus().size());
    if (own == 0) GTEST_SKIP() << "more CPUs than a cpu_set_t holds";
    const int two = own < 2 ? own : 2;
    std::string reference;
    ASSERT_EQ(RunScene(Scene(""), &reference).status, 0);
    const std::string picture = ReadFile(reference + "/t0001.ppm");
    ASSERT_EQ(picture.substr(0, 2), "P6");
    struct Case {
        int cpus;
        std::string option;
        int threads;
    };
    for (const Case& c : {Case{1, "", 1}, Case{two, "", two}, Case{1, "OptionReal \"Threads\" 3\n", 3},
                          Case{two, "OptionReal \"Threads\" 1\n", 1}}) {
        const std::string dir = MakeTempDir();
        int status = -1;
        EXPECT_EQ(ThreadsAfterFrame(dir, Scene(c.option), c.cpus, &status),
                  c.threads + (c.threads > 1 ? kRuntimeThreads : 0))
            << c.cpus << " " << c.option;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_TRUE(ReadFile(dir + "/t0001.ppm") == picture);  // whatever the count
    }
}

// The ray tracer and the direct engine ask the same place; narrowed to one
// CPU, this thread is given one tracing thread, and its whole set again when
// the set is restored.
TEST(Threads, CountFollowsTheAffinitySet) {
    const std::vector<int> cpus = OwnCpus();
    if (cpus.empty()) GTEST_SKIP() << "more CPUs than a cpu_set_t holds";
    const cpu_set_t all = FirstOf(cpus, static_cast<int>(cpus.size()));
    const cpu_set_t one = FirstOf(cpus, 1);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const int narrowed = kx::UsableCpus(), traced = kx::raytrace::ResolveThreadCount(0, 480);
    const int asked = kx::raytrace::ResolveThreadCount(5, 480);
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(narrowed, 1);
    EXPECT_EQ(traced, 1);
    EXPECT_EQ(asked, 5);
    const int own = static_cast<int>(cpus.size());
    EXPECT_EQ(kx::UsableCpus(), own);
    EXPECT_EQ(kx::ThreadsFor(0, 256), own < 256 ? own : 256);
    EXPECT_EQ(kx::raytrace::ResolveThreadCount(0, 1), 1);
    EXPECT_EQ(kx::ThreadsFor(-2, 1), 1);
}

}  // namespace
