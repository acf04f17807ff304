// The direct engine's polygons on several threads. The parser's thread
// transforms, clips and projects every polygon in command order, as on one
// thread, and bins it here: its device vertices, its face normal and a
// snapshot of the surface attributes it is shaded with (shared by the
// polygons that follow until an attribute changes). The engine's threads
// then fill the image in bands of rows, each band taking its polygons in
// command order: every pixel sees the same depth tests and writes as on one
// thread, so the image is the same to the byte.
//
// Only polygons wait in the bins. Whatever else reads or writes the image,
// the depth buffer, the device, the lights or the texture maps flushes them
// first (DirectState::flushBins). Two batches take turns: the threads fill
// one while the parser's thread bins the next; a batch that is full is
// handed over, and the parser's thread waits only when the other is still
// being filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/limits.h"
#include "engines/direct/materials.h"
#include "engines/direct/span_kernels.h"
#include "engines/direct/vertex_layout.h"
#include "engines/direct/worker_pool.h"

namespace kx {

class DepthBounds;
struct DirectPipeline;
struct DirectState;
struct FrameStats;
struct FrameBuffer;
class DisplayDevice;
class LightSet;
class MapList;

// The surface attributes a polygon is shaded with, as the shaders read
// them from the state (shading.h), besides its face normal.
struct SurfaceSnapshot {
    ColorRGB color;
    float ka = 1, kd = 1, ks = 0;
    ColorRGB specularColor;
    int specularExponent = 0;
    ShaderFunction shader = nullptr;
    bool interpolate = true;
    bool doubleSided = false;
    Point3 eye;
    VertexLayout layout;
    SpanPath spanPath = SpanPath::Scalar;

    void take(const DirectState& s);
    bool sameAs(const DirectState& s) const;
    void applyTo(DirectState& s) const;
};

class PolygonBins {
public:
    PolygonBins();
    ~PolygonBins();
    PolygonBins(const PolygonBins&) = delete;
    PolygonBins& operator=(const PolygonBins&) = delete;

    // Gets ready for images of width x height drawn by `threads` threads
    // (2 or more; fixed by the first call) over the state's lights and
    // texture maps. The threads and the memory are had with the first
    // polygon binned.
    void prepare(int threads, const DirectState& s, int width, int height);
    // The threads asked for (the system may grant fewer).
    int threads() const { return threads_; }

    // Bins the polygon of the n vertices v[0..n) (device coordinates) with
    // the state's face normal and attributes. The polygons of one surface
    // (DirectState::surface, 0: none) share their attributes: they are
    // compared for its first one only. False, and nothing binned, when the
    // image is not one the bins were prepared for, its device has no frame
    // buffer or the memory for the bins was refused: the caller fills it
    // itself on its own thread (the image is the same), after a flush.
    bool add(DirectPipeline& p, const AttributeVertex* const* v, int n, uint64_t surface);
    // Fills every polygon binned so far; on return the image, the depth
    // buffer and the statistics are as if each had been filled at once.
    void flush();
    bool empty() const { return batches_[filling_].empty() && !pool_.busy(); }

private:
    struct Polygon {
        uint32_t first = 0;   // its first float in the batch
        int vertices = 0;
        int snapshot = 0;
        Vector3 normal;       // world-space face normal
    };
    // The polygons binned, in command order, and each band's list of them,
    // in the bins' memory (allocate).
    struct Batch {
        float* floats = nullptr;  // kDirectBinFloats, the first floatCount in use
        size_t floatCount = 0;
        Polygon* polygons = nullptr;  // kDirectBinPolygons, the first polygonCount in use
        size_t polygonCount = 0;
        SurfaceSnapshot* snapshots = nullptr;  // kDirectBinSnapshots
        int snapshotCount = 0;
        // kDirectBinBandEntries: entry i of band b at i * bandCount_ + b, so
        // that the lists in use lie together at the start.
        uint32_t* bandLists = nullptr;
        uint32_t bandSize[kDirectMaxBands] = {};
        // A guess at each band's work (its polygons' rows and columns in it),
        // and the bands by it, the most first: the threads take them in that
        // order, so that the last ones taken are short.
        float bandWork[kDirectMaxBands] = {};
        int order[kDirectMaxBands] = {};
        uint64_t surface = 0;  // the surface the last snapshot is known to be of (0: none)
        ShadingLights lights;  // as gathered for the batch's first polygon
        // The image the batch draws into, from its first polygon on.
        DisplayDevice* dev = nullptr;
        FrameBuffer* frame = nullptr;
        float* depth = nullptr;
        DepthBounds* bounds = nullptr;
        FrameStats* stats = nullptr;
        void clear();
        bool empty() const { return polygonCount == 0; }
    };
    // A thread's own: the state it shades with, its pixel count. Each on
    // cache lines of its own, as the threads write them while they fill.
    struct alignas(64) Worker {
        std::unique_ptr<DirectState> state;
        int snapshot = -1;  // of the batch in hand, applied to state
        uint64_t shaded = 0;
    };

    // The helpers, the batches and the per-row records; false when refused.
    bool allocate();
    static void FillBand(void* bins, int task, int worker);
    // Hands the batch being binned to the threads (after the one before).
    void submit();
    // Waits for the batch in hand: pixels counted, the device told.
    void complete();

    WorkerPool pool_;
    // The memory of both batches, on large pages: a page fault for each of
    // a batch's small pages costs more than binning its polygons. Each
    // batch's polygons, snapshots and band lists come first and its vertex
    // floats last, so that a batch touches few large pages (each costs the
    // kernel the clearing of it).
    std::byte* memory_ = nullptr;
    size_t memoryBytes_ = 0;
    Batch batches_[2];
    int filling_ = 0;   // the batch being binned; the other may be in hand
    Batch* inHand_ = nullptr;
    std::vector<Worker> workers_;
    int threads_ = 0;
    const LightSet* lights_ = nullptr;
    const MapList* maps_ = nullptr;
    bool ready_ = false;    // allocated for the image size
    bool refused_ = false;  // memory refused for this image size
    int width_ = 0, height_ = 0, bandRows_ = 1, bandCount_ = 0;
    uint32_t bandCapacity_ = 0;  // entries each band's list can take
    // Per row, the columns stored by the batch in hand (SpanTarget).
    std::vector<int> writtenFirst_, writtenLast_;
};

}  // namespace kx
