#include "engines/direct/worker_pool.h"

#include <new>
#include <system_error>

#include "core/threads.h"

namespace kx {

namespace {

// How many pauses a helper watches for new work before it sleeps: some
// tens of microseconds, about what waking a sleeping thread costs.
constexpr int kWatchPauses = 1000;

// A pause of the processor for a thread that spins.
void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

void WorkerPool::waitAMoment(int& waits) {
    if (++waits % 64 == 0)
        std::this_thread::yield();
    else
        Pause();
}

int WorkerPool::start(int count, Step step, void* owner) {
    step_ = step;
    owner_ = owner;
    watch_ = count > 0 && count + 1 <= UsableCpus();
    try {
        threads_.reserve(static_cast<size_t>(count > 0 ? count : 0));
        for (int i = 0; i < count; ++i) threads_.emplace_back(&WorkerPool::helperLoop, this, i + 1);
    } catch (const std::system_error&) {
        // Fewer helpers: the work is the same, done by fewer threads.
    } catch (const std::bad_alloc&) {
    }
    return helpers();
}

void WorkerPool::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_.store(true, std::memory_order_relaxed);
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
}

void WorkerPool::wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wakes_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
}

void WorkerPool::helperLoop(int worker) {
    uint64_t seen = wakes_.load(std::memory_order_acquire);
    while (!stop_.load(std::memory_order_relaxed)) {
        if (step_(owner_, worker)) continue;
        // Nothing ready: whatever is handed over after `seen` was read
        // changes wakes_.
        idle_.fetch_add(1, std::memory_order_relaxed);
        bool woken = false;
        for (int i = 0; watch_ && i < kWatchPauses && !woken; ++i) {
            Pause();
            woken = wakes_.load(std::memory_order_acquire) != seen || stop_.load(std::memory_order_relaxed);
        }
        if (!woken) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] {
                return stop_.load(std::memory_order_relaxed) || wakes_.load(std::memory_order_acquire) != seen;
            });
        }
        idle_.fetch_sub(1, std::memory_order_relaxed);
        seen = wakes_.load(std::memory_order_acquire);
    }
}

}  // namespace kx
