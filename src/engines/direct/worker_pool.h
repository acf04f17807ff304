// A persistent pool of helper threads for the direct engine's rasteriser.
// The owner hands its work out through one function, step(owner, worker),
// which does one piece of work and returns true, or returns false when none
// is ready; the owner's own thread calls it too, as worker 0, while it
// waits. The helpers are workers 1..helpers(). A helper that finds nothing
// to do watches for a moment (handing work over is frequent, and a
// sleeping thread is slow to wake), then sleeps until the owner calls
// wake(). Which worker does which piece is left to chance: a piece must
// give the same result on any of them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace kx {

class WorkerPool {
public:
    using Step = bool (*)(void* owner, int worker);

    WorkerPool() = default;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool() { stop(); }

    // Starts up to `helpers` helper threads calling step(owner, worker)
    // (those the system refuses are left out); returns how many run.
    int start(int helpers, Step step, void* owner);
    int helpers() const { return static_cast<int>(threads_.size()); }
    // Stops and joins the helpers: step is not called again.
    void stop();

    // New work may be ready: the helpers look again.
    void wake();
    // Whether a helper is looking for work.
    bool idle() const { return idle_.load(std::memory_order_relaxed) > 0; }

    // Waits a moment, while worker 0 (the owner) finds nothing ready but
    // what it waits for is still being done on other threads; waits counts
    // the calls, and now and then the processor is given up, for those
    // threads when there are more threads than cores.
    static void waitAMoment(int& waits);

private:
    void helperLoop(int worker);

    std::vector<std::thread> threads_;
    Step step_ = nullptr;
    void* owner_ = nullptr;
    bool watch_ = false;  // helpers watch before they sleep (no more threads than cores)
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> wakes_{0};  // calls of wake
    std::atomic<int> idle_{0};        // helpers finding nothing to do
};

}  // namespace kx
