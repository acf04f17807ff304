// A persistent pool of helper threads for the direct engine's rasteriser.
// The calling thread hands a job of numbered tasks over (launch) and goes
// on with its own work; when it needs the results it joins in and runs the
// tasks left (finish), as worker 0, until every task is done. The helpers
// are workers 1..helpers(). Which worker runs which task is left to chance:
// a task must give the same result on any of them.
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
    // Runs task number `task` of a job on worker `worker`.
    using Task = void (*)(void* job, int task, int worker);

    WorkerPool() = default;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    // Finishes the job in hand and stops the helpers.
    ~WorkerPool();

    // Starts up to `helpers` helper threads (those the system refuses are
    // left out); returns how many run.
    int start(int helpers);
    int helpers() const { return static_cast<int>(threads_.size()); }

    // Hands tasks 0..count-1 of job to the helpers and returns at once. The
    // job launched before must be finished.
    void launch(Task task, void* job, int count);
    // Runs the tasks no helper has taken on the calling thread, then waits
    // for the others: on return every task's work is visible to the caller.
    void finish();
    bool busy() const { return busy_; }
    // Whether every task of the job launched last has been run (finish then
    // returns at once); true without a job in hand.
    bool done() const { return !busy_ || finished_.load(std::memory_order_acquire) == job_.count; }

private:
    // A job as launched; each helper takes its own copy under the mutex.
    struct Job {
        Task task = nullptr;
        void* data = nullptr;
        int count = 0;
        uint32_t generation = 0;
    };

    void helperLoop(int worker);
    // Takes and runs tasks of job until none of its generation is left.
    void runTasks(const Job& job, int worker);

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    bool stop_ = false;
    bool busy_ = false;
    Job job_;  // the job launched last; written under the mutex
    // The job's generation (high half) and its next task (low half): a
    // helper late from an earlier job sees another generation and takes
    // nothing.
    std::atomic<uint64_t> next_{0};
    std::atomic<int> finished_{0};
};

}  // namespace kx
