#include "engines/direct/worker_pool.h"

#include <system_error>

namespace kx {

WorkerPool::~WorkerPool() {
    if (busy_) finish();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

int WorkerPool::start(int count) {
    try {
        threads_.reserve(static_cast<size_t>(count > 0 ? count : 0));
        for (int i = 0; i < count; ++i) threads_.emplace_back(&WorkerPool::helperLoop, this, i + 1);
    } catch (const std::system_error&) {
        // Fewer helpers: the work is the same, done by fewer threads.
    } catch (const std::bad_alloc&) {
    }
    return helpers();
}

void WorkerPool::launch(Task task, void* job, int count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_.store(0, std::memory_order_relaxed);
        job_ = Job{task, job, count, job_.generation + 1};
        next_.store(static_cast<uint64_t>(job_.generation) << 32, std::memory_order_release);
        busy_ = true;
    }
    wake_.notify_all();
}

void WorkerPool::runTasks(const Job& job, int worker) {
    uint64_t v = next_.load(std::memory_order_acquire);
    for (;;) {
        if (static_cast<uint32_t>(v >> 32) != job.generation) return;
        const int index = static_cast<int>(static_cast<uint32_t>(v));
        if (index >= job.count) return;
        if (!next_.compare_exchange_weak(v, v + 1, std::memory_order_acq_rel, std::memory_order_acquire)) continue;
        job.task(job.data, index, worker);
        if (finished_.fetch_add(1, std::memory_order_acq_rel) + 1 == job.count) {
            std::lock_guard<std::mutex> lock(mutex_);
            done_.notify_all();
        }
        v = next_.load(std::memory_order_acquire);
    }
}

void WorkerPool::finish() {
    if (!busy_) return;
    runTasks(job_, 0);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return finished_.load(std::memory_order_acquire) == job_.count; });
    busy_ = false;
}

void WorkerPool::helperLoop(int worker) {
    uint32_t seen = 0;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || job_.generation != seen; });
            if (stop_) return;
            job = job_;
            seen = job.generation;
        }
        runTasks(job, worker);
    }
}

}  // namespace kx
