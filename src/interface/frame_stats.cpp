#include "interface/frame_stats.h"

#include <unistd.h>

#include <cstring>

namespace kx {

void FrameStats::reset() {
    std::lock_guard<std::mutex> hold(progressLock);
    enabled = false;
    polygons = pixels = objects = 0;
    rays.store(0, std::memory_order_relaxed);
    frame = 0;
    start = {};
    stream = nullptr;
    terminal = -1;
    shownPercent = -1;
    shownLength = 0;
}

void FrameStats::beginFrame(int frameNumber) {
    polygons = pixels = objects = 0;
    rays.store(0, std::memory_order_relaxed);
    frame = frameNumber;
    start = std::chrono::steady_clock::now();
}

void FrameStats::clearLine() {
    if (shownPercent < 0) return;
    char blanks[64];
    int n = shownLength < static_cast<int>(sizeof blanks) ? shownLength : static_cast<int>(sizeof blanks) - 1;
    std::memset(blanks, ' ', static_cast<size_t>(n));
    blanks[n] = '\0';
    std::fprintf(out(), "\r%s\r", blanks);
    std::fflush(out());
    shownPercent = -1;
    shownLength = 0;
}

void FrameStats::reportFrame(std::initializer_list<Count> counts) {
    if (!enabled) return;
    clearProgress();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::FILE* f = out();
    std::fprintf(f, "Statistics: frame %d, %.3f s", frame, seconds);
    for (const Count& c : counts) std::fprintf(f, ", %s %llu", c.name, c.value);
    std::fputc('\n', f);
    std::fflush(f);
}

void FrameStats::reportRowsDone(int done, int total) {
    std::lock_guard<std::mutex> hold(progressLock);
    if (terminal < 0) terminal = isatty(fileno(out())) ? 1 : 0;
    if (terminal == 0 || total <= 0) return;
    if (done >= total) {
        clearLine();
        return;
    }
    int percent = done <= 0 ? 0 : static_cast<int>(static_cast<long long>(done) * 100 / total);
    if (percent == shownPercent) return;
    int n = std::fprintf(out(), "\rTracing: %3d%%", percent);
    std::fflush(out());
    shownPercent = percent;
    if (n - 1 > shownLength) shownLength = n - 1;
}

void FrameStats::clearProgress() {
    std::lock_guard<std::mutex> hold(progressLock);
    clearLine();
}

}  // namespace kx
