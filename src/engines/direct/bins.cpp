#include "engines/direct/bins.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "core/large_pages.h"
#include "core/limits.h"
#include "core/same_bits.h"
#include "display/display.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/pipeline.h"
#include "engines/direct/raster.h"
#include "engines/direct/scan_convert.h"
#include "interface/frame_stats.h"

namespace kx {

namespace {

// Floats bit for bit (SameBits).
inline bool Same(float a, float b) { return SameBits(a, b); }
inline bool Same(const ColorRGB& a, const ColorRGB& b) { return SameBits(a, b); }
inline bool Same(const Point3& a, const Point3& b) { return SameBits(a, b); }
inline bool Same(const Emission& a, const Emission& b) {
    return SameBits(a.color, b.color) && SameBits(a.intensity, b.intensity) && SameBits(a.ke, b.ke);
}
// Anything else by its own ==.
template <class T>
inline bool Same(const T& a, const T& b) {
    return a == b;
}
inline bool Same(const VertexLayout& a, const VertexLayout& b) {
    return a.hasPosition == b.hasPosition && a.hasColor == b.hasColor && a.hasNormal == b.hasNormal &&
           a.hasTexture == b.hasTexture && a.hasWeight == b.hasWeight && a.hasOpacity == b.hasOpacity &&
           a.count == b.count && a.position == b.position && a.color == b.color && a.normal == b.normal &&
           a.texture == b.texture && a.weight == b.weight && a.opacity == b.opacity;
}

// The first count floats of n vertices, from the pipeline's vertices to a
// batch and back; the common layouts (bins.h) copy as fixed sizes.
template <int kCount>
void CopyFixed(float* to, const AttributeVertex* const* v, int n) {
    for (int i = 0; i < n; ++i, to += kCount) std::memcpy(to, v[i]->v, kCount * sizeof(float));
}
template <int kCount>
void CopyFixed(AttributeVertex* to, const float* from, int n) {
    for (int i = 0; i < n; ++i, from += kCount) std::memcpy(to[i].v, from, kCount * sizeof(float));
}
template <class To, class From>
void CopyVertices(To to, From from, int n, int count) {
    switch (count) {
        case 8: return CopyFixed<8>(to, from, n);
        case 11: return CopyFixed<11>(to, from, n);
        case 15: return CopyFixed<15>(to, from, n);
    }
    if constexpr (std::is_same_v<To, float*>) {
        for (int i = 0; i < n; ++i, to += count) std::memcpy(to, from[i]->v, static_cast<size_t>(count) * sizeof(float));
    } else {
        for (int i = 0; i < n; ++i, from += count) std::memcpy(to[i].v, from, static_cast<size_t>(count) * sizeof(float));
    }
}

// Rows rowFirst..rowEnd-1 of a depth buffer width wide set to value.
void SetDepths(float* depth, int width, int rowFirst, int rowEnd, float value) {
    const size_t w = static_cast<size_t>(width);
    std::fill(depth + static_cast<size_t>(rowFirst) * w, depth + static_cast<size_t>(rowEnd) * w, value);
}

// Bands per thread: enough for the threads to share the work out evenly
// when polygons crowd into part of the image.
constexpr int kBandsPerThread = 8;

// A batch of this many polygons or more is handed to the threads as soon as
// one of them has nothing to do, rather than when it is full: they start
// early and keep pace with the binning.
constexpr size_t kEagerPolygons = 256;

// f(mine, theirs) for each attribute of a snapshot and the state's own.
template <class Snapshot, class State, class F>
void EachAttribute(Snapshot& a, State& s, F f) {
    f(a.color, s.color);
    f(a.ka, s.ka);
    f(a.kd, s.kd);
    f(a.ks, s.ks);
    f(a.specularColor, s.specularColor);
    f(a.specularExponent, s.specularExponent);
    f(a.emission, s.emission);
    f(a.shader, s.shader);
    f(a.interpolate, s.interpolate);
    f(a.doubleSided, s.doubleSided);
    f(a.eye, s.eye);
    f(a.layout, s.layout);
    f(a.spanPath, s.spanPath);
}

}  // namespace

void SurfaceSnapshot::take(const DirectState& s) {
    EachAttribute(*this, s, [](auto& mine, const auto& theirs) { mine = theirs; });
}

bool SurfaceSnapshot::sameAs(const DirectState& s) const {
    bool same = true;
    EachAttribute(*this, s, [&same](const auto& mine, const auto& theirs) { same = same && Same(mine, theirs); });
    return same;
}

void SurfaceSnapshot::applyTo(DirectState& s) const {
    EachAttribute(*this, s, [](const auto& mine, auto& theirs) { theirs = mine; });
}

void PolygonBins::Batch::clear() {
    floatCount = 0;
    polygonCount = 0;
    snapshotCount = 0;
    for (uint32_t& n : bandSize) n = 0;
    surface = 0;
    clearDepth = nullptr;
}

PolygonBins::PolygonBins() = default;

PolygonBins::~PolygonBins() {
    flush();
    pool_.stop();
    if (memory_) LargePageAllocator<std::byte>().deallocate(memory_, memoryBytes_);
}

void PolygonBins::prepare(int threads, const DirectState& s, int width, int height) {
    flush();
    if (threads_ == 0) threads_ = threads;
    lights_ = s.lights;
    maps_ = s.maps;
    if (width != width_ || height != height_) ready_ = refused_ = false;
    width_ = width;
    height_ = height;
}

bool PolygonBins::allocate() {
    if (refused_) return false;
    int bands = threads_ * kBandsPerThread;
    if (bands > kDirectMaxBands) bands = kDirectMaxBands;
    if (bands > height_) bands = height_;
    if (bands < 1) bands = 1;
    // Bands of whole tiles of the depth bounds: a thread keeps the bounds
    // of its own rows.
    constexpr int kTile = DepthBounds::kTile;
    bandRows_ = ((height_ + bands - 1) / bands + kTile - 1) / kTile * kTile;
    bandCount_ = (height_ + bandRows_ - 1) / bandRows_;
    bandCapacity_ = static_cast<uint32_t>(kDirectBinBandEntries / bandCount_);
    // Every band is up to date (flushed): the threads see bands with
    // nothing to fill until a batch is handed over.
    for (Band& band : bands_) band.done.store(serial_, std::memory_order_relaxed);
    taskBands_.store(bandCount_, std::memory_order_release);
    try {
        if (!memory_) {
            static_assert(std::is_trivially_destructible_v<Polygon> && std::is_trivially_destructible_v<SurfaceSnapshot>);
            constexpr size_t kFloats = sizeof(float) * kDirectBinFloats;
            constexpr size_t kPolygons = sizeof(Polygon) * kDirectBinPolygons;
            constexpr size_t kSnapshots = sizeof(SurfaceSnapshot) * kDirectBinSnapshots;
            constexpr size_t kBandLists = sizeof(uint32_t) * kDirectBinBandEntries;
            constexpr size_t kBatch = kPolygons + kSnapshots + kBandLists + kFloats;
            static_assert(kPolygons % alignof(SurfaceSnapshot) == 0 && kSnapshots % alignof(uint32_t) == 0 &&
                          kBandLists % alignof(float) == 0 && kBatch % alignof(Polygon) == 0 &&
                          kBatch % alignof(SurfaceSnapshot) == 0);
            memoryBytes_ = kBatches * kBatch;
            memory_ = LargePageAllocator<std::byte>().allocate(memoryBytes_);
            std::byte* at = memory_;
            for (Batch& b : batches_) {
                b.polygons = reinterpret_cast<Polygon*>(at);
                b.snapshots = reinterpret_cast<SurfaceSnapshot*>(at + kPolygons);
                b.bandLists = reinterpret_cast<uint32_t*>(at + kPolygons + kSnapshots);
                b.floats = reinterpret_cast<float*>(at + kPolygons + kSnapshots + kBandLists);
                at += kBatch;
            }
        }
        // The workers are made before the helpers start, and kept: a helper
        // looks at its own from then on.
        if (workers_.empty()) workers_.resize(static_cast<size_t>(threads_ > 1 ? threads_ : 1));
        for (Worker& w : workers_) {
            if (!w.state) w.state = std::make_unique<DirectState>();
            DirectState& ws = *w.state;
            ws.lights = lights_;
            ws.maps = maps_;
            ws.width = width_;
            ws.height = height_;
            ws.spanTable.assign(static_cast<size_t>(height_), -1);
        }
        writtenFirst_.assign(static_cast<size_t>(height_), INT_MAX);
        writtenLast_.assign(static_cast<size_t>(height_), -1);
    } catch (const std::bad_alloc&) {
        refused_ = true;
        return false;
    } catch (const std::length_error&) {
        refused_ = true;
        return false;
    }
    if (pool_.helpers() == 0) pool_.start(threads_ - 1, Step, this);
    ready_ = true;
    return true;
}

bool PolygonBins::add(DirectPipeline& p, const AttributeVertex* const* v, int n, uint64_t surface) {
    DirectState& s = p.state;
    DisplayDevice& dev = p.display.dev();
    FrameBuffer* frame = dev.frame();
    if (!frame || s.width != width_ || s.height != height_ || s.depth.empty()) return false;
    if (!ready_ && !allocate()) return false;
    const int count = s.layout.count;
    // The rows the polygon's edges cover, as the scan converter finds them
    // (each edge's from the rows of its ends).
    int rowFirst = height_, rowEnd = 0;
    for (int i = 0; i < n; ++i) {
        const int row = CeilIndex((*v[i])[1], height_);
        if (row < rowFirst) rowFirst = row;
        if (row > rowEnd) rowEnd = row;
    }
    if (rowFirst >= rowEnd) return true;  // no edge crosses a row: nothing to fill

    if (open_ && (dev_ != &dev || frame_ != frame || depth_ != s.depth.data() || stats_ != &p.stats)) flush();
    if (!open_) {
        open_ = true;
        dev_ = &dev;
        frame_ = frame;
        frame->markWritten();  // the threads store through rowBytes
        depth_ = s.depth.data();
        bounds_ = s.depthBounds.ready() ? &s.depthBounds : nullptr;
        stats_ = &p.stats;
    }
    if (clearDepth_) {
        // The threads set the depths, in a batch of their own, while the
        // polygons are binned into the next.
        Batch& c = binning();
        c.clearDepth = clearDepth_;
        c.clearValue = clearValue_;
        clearDepth_ = nullptr;
        submit();
    }
    Batch* b = &binning();
    const size_t floats = static_cast<size_t>(n) * static_cast<size_t>(count);
    const bool known = surface != 0 && surface == b->surface;
    bool newSnapshot =
        b->snapshotCount == 0 || (!known && !b->snapshots[static_cast<size_t>(b->snapshotCount - 1)].sameAs(s));
    const int firstBand = rowFirst / bandRows_, lastBand = (rowEnd - 1) / bandRows_;
    bool bandsFull = false;
    for (int band = firstBand; band <= lastBand; ++band) bandsFull = bandsFull || b->bandSize[band] >= bandCapacity_;
    if (b->polygonCount >= static_cast<size_t>(kDirectBinPolygons) ||
        b->floatCount + floats > static_cast<size_t>(kDirectBinFloats) || bandsFull ||
        (newSnapshot && b->snapshotCount >= kDirectBinSnapshots)) {
        submit();
        b = &binning();
        newSnapshot = true;  // the batch is a new one
    }
    if (b->empty()) b->lights.gather(p.lights, p.maps);
    // Made where it is taken: the snapshots of a batch are not touched
    // before, so that memory the bins never use is never faulted in.
    if (newSnapshot) (new (b->snapshots + b->snapshotCount++) SurfaceSnapshot)->take(s);
    b->surface = surface;

    const uint32_t index = static_cast<uint32_t>(b->polygonCount++);
    new (b->polygons + index) Polygon{static_cast<uint32_t>(b->floatCount), n, b->snapshotCount - 1, s.shadingNormal};
    CopyVertices(b->floats + b->floatCount, v, n, count);
    b->floatCount += floats;
    const size_t stride = static_cast<size_t>(bandCount_);
    for (int band = firstBand; band <= lastBand; ++band)
        b->bandLists[b->bandSize[band]++ * stride + static_cast<size_t>(band)] = index;
    if (b->polygonCount >= kEagerPolygons && pool_.idle()) submit();
    return true;
}

bool PolygonBins::Step(void* bins, int worker) { return static_cast<PolygonBins*>(bins)->fillReady(worker); }

bool PolygonBins::fillReady(int worker) {
    const int count = taskBands_.load(std::memory_order_acquire);
    if (count == 0) return false;
    Worker& w = workers_[static_cast<size_t>(worker)];
    for (int i = 0; i < count; ++i) {
        const int band = (w.lastBand + i) % count;
        Band& state = bands_[band];
        if (state.done.load(std::memory_order_acquire) >= submitted_.load(std::memory_order_acquire)) continue;
        if (state.busy.exchange(true, std::memory_order_acquire)) continue;
        // The band's batches in turn, as long as there are any.
        uint64_t done = state.done.load(std::memory_order_relaxed);
        bool filled = false;
        while (done < submitted_.load(std::memory_order_acquire)) {
            fillBand(done, band, worker);
            state.done.store(++done, std::memory_order_release);
            filled = true;
        }
        state.busy.store(false, std::memory_order_release);
        if (filled) {
            w.lastBand = band;
            return true;
        }
    }
    return false;
}

void PolygonBins::fillBand(uint64_t serial, int band, int worker) {
    const Batch& b = batches_[serial % kBatches];
    const int rowFirst = band * bandRows_;
    const int rowEnd = rowFirst + bandRows_ < height_ ? rowFirst + bandRows_ : height_;
    if (b.clearDepth) SetDepths(b.clearDepth, width_, rowFirst, rowEnd, b.clearValue);
    if (b.bandSize[band] == 0) return;
    Worker& w = workers_[static_cast<size_t>(worker)];
    DirectState& s = *w.state;
    if (w.batch != serial) {
        w.batch = serial;
        w.snapshot = -1;
    }
    PendingLanes pending;
    SpanTarget target{s, depth_, *dev_, frame_, rowFirst, rowEnd, writtenFirst_.data(), writtenLast_.data(),
                      bounds_, &pending};
    const size_t stride = static_cast<size_t>(bandCount_);
    const uint32_t* const end = b.bandLists + b.bandSize[band] * stride;
    uint64_t shaded = 0;
    for (const uint32_t* at = b.bandLists + band; at < end; at += stride) {
        const uint32_t index = *at;
        const Polygon& poly = b.polygons[index];
        if (poly.snapshot != w.snapshot) {
            b.snapshots[static_cast<size_t>(poly.snapshot)].applyTo(s);
            w.snapshot = poly.snapshot;
        }
        s.shadingNormal = poly.normal;
        target.attributes = poly.snapshot;
        const int count = s.layout.count;
        CopyVertices(s.clipped, b.floats + poly.first, poly.vertices, count);
        s.clippedCount = poly.vertices;
        shaded += FillPolygonRows(target, b.lights);
    }
    pending.flush();
    w.shaded += shaded;
}

bool PolygonBins::filledTo(uint64_t end) const {
    for (int band = 0; band < bandCount_; ++band)
        if (bands_[band].done.load(std::memory_order_acquire) < end) return false;
    return true;
}

void PolygonBins::fillTo(uint64_t end) {
    for (int waits = 0; !filledTo(end);)
        if (!fillReady(0)) WorkerPool::waitAMoment(waits);
}

void PolygonBins::submit() {
    if (binning().empty()) return;
    submitted_.store(++serial_, std::memory_order_release);
    pool_.wake();
    // The next batch's memory is the one handed over kBatches ago: free
    // once every band has filled it.
    if (serial_ >= kBatches) fillTo(serial_ - kBatches + 1);
    binning().clear();
}

bool PolygonBins::clearDepth(float* depth, int width, int height, float value) {
    if (width != width_ || height != height_) return false;
    flushPolygons();  // a clear still waiting is replaced by this one
    clearDepth_ = depth;
    clearValue_ = value;
    return true;
}

void PolygonBins::flush() {
    if (clearDepth_) {
        // No polygon came: the depths are set here.
        SetDepths(clearDepth_, width_, 0, height_, clearValue_);
        clearDepth_ = nullptr;
    }
    flushPolygons();
}

void PolygonBins::flushPolygons() {
    if (!open_) return;
    submit();
    fillTo(serial_);
    uint64_t shaded = 0;
    for (Worker& w : workers_) {
        shaded += w.shaded;
        w.shaded = 0;
    }
    if (stats_->enabled) stats_->pixels += shaded;
    for (int y = 0; y < height_; ++y) {
        if (writtenLast_[static_cast<size_t>(y)] < 0) continue;
        dev_->spanWritten(writtenFirst_[static_cast<size_t>(y)], writtenLast_[static_cast<size_t>(y)], y);
        writtenFirst_[static_cast<size_t>(y)] = INT_MAX;
        writtenLast_[static_cast<size_t>(y)] = -1;
    }
    for (Batch& b : batches_) b.clear();
    open_ = false;
}

}  // namespace kx
