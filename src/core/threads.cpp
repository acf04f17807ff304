#include "core/threads.h"

#include <sched.h>

#include <cerrno>
#include <thread>

namespace kx {

namespace {

// The affinity set in a set sized for cpus CPUs; 0 when it cannot be read,
// -1 when the set is too small for the kernel's mask.
int AffinityCount(int cpus) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (!set) return 0;
    const size_t bytes = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(bytes, set);
    int count = 0;
    if (sched_getaffinity(0, bytes, set) == 0)
        count = CPU_COUNT_S(bytes, set);
    else if (errno == EINVAL)
        count = -1;
    CPU_FREE(set);
    return count;
}

}  // namespace

int UsableCpus() {
    // A set of 1024 CPUs first; a machine with more gets a larger one,
    // doubled until the kernel's mask fits.
    int count = -1;
    for (int cpus = CPU_SETSIZE; count < 0 && cpus <= (1 << 22); cpus *= 2) count = AffinityCount(cpus);
    if (count > 0) return count;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 && cores <= (1u << 22) ? static_cast<int>(cores) : 1;
}

int ThreadsFor(int requested, int most) {
    int n = requested > 0 ? requested : UsableCpus();
    if (n > most) n = most;
    return n < 1 ? 1 : n;
}

}  // namespace kx
