#include "engines/raytrace/row_pipeline.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "core/limits.h"
#include "core/threads.h"

namespace kx::raytrace {

int ResolveThreadCount(int requested, int rows) {
    // By default one per CPU the process may use.
    return ThreadsFor(requested, rows > kRayMaxThreads ? kRayMaxThreads : rows);
}

namespace {

constexpr size_t kRingBytes = size_t(64) << 20;

class Pipeline {
public:
    Pipeline(int width, int height, int ring, const RowCompute& compute)
        : width_(width), height_(height), ring_(ring), compute_(compute) {}

    bool allocate() {
        try {
            rows_.resize(static_cast<size_t>(ring_) * static_cast<size_t>(width_));
            done_.assign(static_cast<size_t>(ring_), 0);
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        return true;
    }

    // A helper: claims and computes rows until none is left.
    void help() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return next_ >= height_ || next_ < shown_ + ring_; });
            if (next_ >= height_) return;
            computeClaimed(lock);
        }
    }

    // The calling thread: shows every row in order, computing rows itself
    // whenever the next one to show is not ready.
    void lead(const RowShow& show) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (shown_ < height_) {
            size_t slot = static_cast<size_t>(shown_ % ring_);
            if (done_[slot]) {
                done_[slot] = 0;
                int y = shown_;
                lock.unlock();
                // The slot stays ours until shown_ moves past it.
                show(y, rowAt(slot));
                lock.lock();
                ++shown_;
                changed_.notify_all();
            } else if (next_ < height_ && next_ < shown_ + ring_) {
                computeClaimed(lock);
            } else {
                changed_.wait(lock);
            }
        }
    }

private:
    // Claims row next_ and computes it (lock held on entry and exit).
    void computeClaimed(std::unique_lock<std::mutex>& lock) {
        int y = next_++;
        size_t slot = static_cast<size_t>(y % ring_);
        lock.unlock();
        compute_(y, rowAt(slot));
        lock.lock();
        done_[slot] = 1;
        changed_.notify_all();
    }

    ColorRGB* rowAt(size_t slot) { return rows_.data() + slot * static_cast<size_t>(width_); }

    const int width_, height_, ring_;
    const RowCompute& compute_;
    std::vector<ColorRGB> rows_;
    std::vector<char> done_;  // per slot: computed and not yet shown
    int next_ = 0;            // the next row to claim
    int shown_ = 0;           // rows shown so far
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace

bool RunRows(int width, int height, int threads, const RowCompute& compute, const RowShow& show) {
    if (width <= 0 || height <= 0) return true;
    if (threads > height) threads = height;
    if (threads <= 1) {
        std::vector<ColorRGB> row;
        try {
            row.resize(static_cast<size_t>(width));
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        for (int y = 0; y < height; ++y) {
            compute(y, row.data());
            show(y, row.data());
        }
        return true;
    }
    // Enough slots that a thread rarely waits for the rows before it, but
    // never more than kRingBytes of them: an absurdly wide image is better
    // computed in place on one thread than through rows of gigabytes.
    const size_t rowBytes = sizeof(ColorRGB) * static_cast<size_t>(width);
    int ring = height < 4 * threads ? height : 4 * threads;
    if (static_cast<size_t>(ring) * rowBytes > kRingBytes) ring = static_cast<int>(kRingBytes / rowBytes);
    if (ring < 2) return false;
    Pipeline pipeline(width, height, ring, compute);
    if (!pipeline.allocate()) return false;
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<size_t>(threads - 1));
    for (int i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back([&pipeline] { pipeline.help(); });
        } catch (const std::system_error&) {
            break;  // the threads already started, and this one, do the work
        }
    }
    pipeline.lead(show);
    for (std::thread& t : helpers) t.join();
    return true;
}

}  // namespace kx::raytrace
