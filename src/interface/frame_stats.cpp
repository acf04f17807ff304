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

void BeginFrameStats(int frame) {
    FrameStats& s = frameStats();
    s.polygons = s.pixels = s.objects = 0;
    s.rays.store(0, std::memory_order_relaxed);
    s.frame = frame;
    s.start = std::chrono::steady_clock::now();
}

namespace {

// Overwrites the shown line with blanks; the caller holds the lock.
void ClearLine(FrameStats& s) {
    if (s.shownPercent < 0) return;
    char blanks[64];
    int n = s.shownLength < static_cast<int>(sizeof blanks) ? s.shownLength : static_cast<int>(sizeof blanks) - 1;
    std::memset(blanks, ' ', static_cast<size_t>(n));
    blanks[n] = '\0';
    std::fprintf(s.out(), "\r%s\r", blanks);
    std::fflush(s.out());
    s.shownPercent = -1;
    s.shownLength = 0;
}

}  // namespace

void ReportFrame(std::initializer_list<StatCount> counts) {
    FrameStats& s = frameStats();
    if (!s.enabled) return;
    ClearProgress();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - s.start).count();
    std::FILE* f = s.out();
    std::fprintf(f, "Statistics: frame %d, %.3f s", s.frame, seconds);
    for (const StatCount& c : counts) std::fprintf(f, ", %s %llu", c.name, c.value);
    std::fputc('\n', f);
    std::fflush(f);
}

void ReportRowsDone(int done, int total) {
    FrameStats& s = frameStats();
    std::lock_guard<std::mutex> hold(s.progressLock);
    if (s.terminal < 0) s.terminal = isatty(fileno(s.out())) ? 1 : 0;
    if (s.terminal == 0 || total <= 0) return;
    if (done >= total) {
        ClearLine(s);
        return;
    }
    int percent = done <= 0 ? 0 : static_cast<int>(static_cast<long long>(done) * 100 / total);
    if (percent == s.shownPercent) return;
    int n = std::fprintf(s.out(), "\rTracing: %3d%%", percent);
    std::fflush(s.out());
    s.shownPercent = percent;
    if (n - 1 > s.shownLength) s.shownLength = n - 1;
}

void ClearProgress() {
    FrameStats& s = frameStats();
    std::lock_guard<std::mutex> hold(s.progressLock);
    ClearLine(s);
}

}  // namespace kx
