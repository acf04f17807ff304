#include "engines/direct/bins.h"

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

// Bands per thread: enough for the threads to share the work out evenly
// when polygons crowd into part of the image.
constexpr int kBandsPerThread = 8;

// A batch of this many polygons or more is handed to the threads as soon as
// they are done with the one before, rather than when it is full: they start
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
    for (float& w : bandWork) w = 0;
    dev = nullptr;
    frame = nullptr;
    depth = nullptr;
    bounds = nullptr;
    stats = nullptr;
    surface = 0;
}

PolygonBins::PolygonBins() = default;

PolygonBins::~PolygonBins() {
    flush();
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
    if (pool_.helpers() == 0) pool_.start(threads_ - 1);
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
            memoryBytes_ = 2 * kBatch;
            memory_ = LargePageAllocator<std::byte>().allocate(memoryBytes_);
            std::byte* at = memory_;
            for (Batch& b : batches_) {
                b.polygons = reinterpret_cast<Polygon*>(at);
                b.snapshots = reinterpret_cast<SurfaceSnapshot*>(at + kPolygons);
                std::uninitialized_default_construct_n(b.snapshots, kDirectBinSnapshots);
                b.bandLists = reinterpret_cast<uint32_t*>(at + kPolygons + kSnapshots);
                b.floats = reinterpret_cast<float*>(at + kPolygons + kSnapshots + kBandLists);
                at += kBatch;
            }
        }
        workers_.resize(static_cast<size_t>(pool_.helpers() + 1));
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
    float left = (*v[0])[0], right = left;
    for (int i = 0; i < n; ++i) {
        const int row = CeilIndex((*v[i])[1], height_);
        if (row < rowFirst) rowFirst = row;
        if (row > rowEnd) rowEnd = row;
        const float x = (*v[i])[0];
        left = x < left ? x : left;
        right = x > right ? x : right;
    }
    if (rowFirst >= rowEnd) return true;  // no edge crosses a row: nothing to fill

    Batch* b = &batches_[filling_];
    if (!b->empty() &&
        (b->dev != &dev || b->frame != frame || b->depth != s.depth.data() || b->stats != &p.stats)) {
        flush();
        b = &batches_[filling_];
    }
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
        b = &batches_[filling_];
        newSnapshot = true;  // the batch is a new one
    }
    if (b->empty()) {
        b->dev = &dev;
        b->frame = frame;
        b->depth = s.depth.data();
        b->bounds = s.depthBounds.ready() ? &s.depthBounds : nullptr;
        b->stats = &p.stats;
        b->lights.gather(p.lights, p.maps);
    }
    if (newSnapshot) b->snapshots[static_cast<size_t>(b->snapshotCount++)].take(s);
    b->surface = surface;

    const uint32_t index = static_cast<uint32_t>(b->polygonCount++);
    new (b->polygons + index) Polygon{static_cast<uint32_t>(b->floatCount), n, b->snapshotCount - 1, s.shadingNormal};
    CopyVertices(b->floats + b->floatCount, v, n, count);
    b->floatCount += floats;
    const size_t stride = static_cast<size_t>(bandCount_);
    // Each row costs about as much as a few pixels, and each polygon as a
    // few rows.
    constexpr float kRowCost = 8, kPolygonCost = 32;
    left = left > 0 ? left : 0;
    right = right < static_cast<float>(width_) ? right : static_cast<float>(width_);
    const float rowWork = (right > left ? right - left : 0) + kRowCost;
    for (int band = firstBand; band <= lastBand; ++band) {
        b->bandLists[b->bandSize[band]++ * stride + static_cast<size_t>(band)] = index;
        const int top = band * bandRows_, bottom = top + bandRows_;
        const int rows = (rowEnd < bottom ? rowEnd : bottom) - (rowFirst > top ? rowFirst : top);
        b->bandWork[band] += static_cast<float>(rows) * rowWork + kPolygonCost;
    }
    if (b->polygonCount >= kEagerPolygons && pool_.done()) submit();
    return true;
}

void PolygonBins::FillBand(void* bins, int task, int worker) {
    PolygonBins& self = *static_cast<PolygonBins*>(bins);
    const Batch& b = *self.inHand_;
    const int band = b.order[task];
    Worker& w = self.workers_[static_cast<size_t>(worker)];
    DirectState& s = *w.state;
    const int rowFirst = band * self.bandRows_;
    const int rowEnd = rowFirst + self.bandRows_ < self.height_ ? rowFirst + self.bandRows_ : self.height_;
    PendingLanes pending;
    SpanTarget target{s, b.depth, *b.dev, b.frame, rowFirst, rowEnd, self.writtenFirst_.data(),
                      self.writtenLast_.data(), b.bounds, &pending};
    const size_t stride = static_cast<size_t>(self.bandCount_);
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

void PolygonBins::submit() {
    Batch& b = batches_[filling_];
    if (b.empty()) return;
    if (inHand_) complete();
    // The bands by their work, the most first (an insertion sort: there are
    // few).
    for (int i = 0; i < bandCount_; ++i) {
        int at = i;
        while (at > 0 && b.bandWork[b.order[at - 1]] < b.bandWork[i]) {
            b.order[at] = b.order[at - 1];
            --at;
        }
        b.order[at] = i;
    }
    inHand_ = &b;
    pool_.launch(FillBand, this, bandCount_);
    filling_ ^= 1;
}

void PolygonBins::complete() {
    pool_.finish();
    Batch& b = *inHand_;
    uint64_t shaded = 0;
    for (Worker& w : workers_) {
        shaded += w.shaded;
        w.shaded = 0;
        w.snapshot = -1;
    }
    if (b.stats->enabled) b.stats->pixels += shaded;
    for (int y = 0; y < height_; ++y) {
        if (writtenLast_[static_cast<size_t>(y)] < 0) continue;
        b.dev->spanWritten(writtenFirst_[static_cast<size_t>(y)], writtenLast_[static_cast<size_t>(y)], y);
        writtenFirst_[static_cast<size_t>(y)] = INT_MAX;
        writtenLast_[static_cast<size_t>(y)] = -1;
    }
    b.clear();
    inHand_ = nullptr;
}

void PolygonBins::flush() {
    submit();
    if (inHand_) complete();
}

}  // namespace kx
