// What a frame cost, and how far a long render has come.
//
// With OptionBool "Statistics" on, each engine that draws prints one line on
// the error stream after every image it finishes:
//
//   Statistics: frame 1, 0.004 s, polygons 2, pixels shaded 400
//   Statistics: frame 0, 0.031 s, rays cast 10240, objects 3, tree height 2
//
// The counts cover what was drawn while the option was on. The progress line
// ("Tracing: 45%", rewritten in place and cleared when the image is done)
// appears only when the error stream is a terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <mutex>

namespace kx {

struct FrameStats {
    bool enabled = false;  // OptionBool "Statistics"

    // ---- counts of the image being drawn (only while enabled) ----
    // The direct engine draws on one thread; rays may be cast on several.
    uint64_t polygons = 0;
    uint64_t pixels = 0;
    std::atomic<uint64_t> rays{0};
    uint64_t objects = 0;  // counted whether enabled or not (one per object)
    int frame = 0;
    std::chrono::steady_clock::time_point start{};

    // ---- progress line ----
    std::FILE* stream = nullptr;  // where both lines go; null means stderr
    int terminal = -1;            // whether stream is a terminal; -1: not asked yet
    int shownPercent = -1;        // percentage on the line, -1 when none is shown
    int shownLength = 0;          // characters of the line shown
    std::mutex progressLock;

    std::FILE* out() const { return stream ? stream : stderr; }
    // Back to program start (option off, nothing shown, error stream).
    void reset();

    // Counting hooks of the engines' drawing paths: a branch when the option
    // is off.
    void countPolygon() {
        if (enabled) ++polygons;
    }
    void countPixelShaded() {
        if (enabled) ++pixels;
    }
    void countRay() {
        if (enabled) rays.fetch_add(1, std::memory_order_relaxed);
    }
    void countObject() { ++objects; }

    // An engine starts drawing an image of a frame: counts to zero, clock
    // started.
    void beginFrame(int frameNumber);

    struct Count {
        const char* name;
        unsigned long long value;
    };
    // When the option is on, prints the statistics line of the image just
    // drawn: "Statistics: frame F, T s, " and the counts as "name value"
    // separated by ", ". Clears a progress line first.
    void reportFrame(std::initializer_list<Count> counts);

    // The ray tracer finished done of total rows. On a terminal, rewrites the
    // progress line when the percentage changes, and clears it when done
    // reaches total. Cheap when nothing changes; safe to call from any thread.
    void reportRowsDone(int done, int total);
    // Removes the progress line if one is shown.
    void clearProgress();

private:
    // Overwrites the shown line with blanks; the caller holds the lock.
    void clearLine();
};

}  // namespace kx
