// The direct engine's polygons on several threads. The parser's thread
// transforms, clips and projects every polygon in command order, as on one
// thread, and bins it here: its device vertices, its face normal and a
// snapshot of the surface attributes it is shaded with (shared by the
// polygons that follow until an attribute changes). The engine's threads
// then fill the image in bands of rows, each band taking its polygons in
// command order: every pixel sees the same depth tests and writes as on one
// thread, so the image is the same to the byte.
//
// Only polygons, and a clear of the depth buffer, wait in the bins.
// Whatever else reads or writes the depth buffer or draws into the image
// flushes both first (DirectState::flushBins); whatever shows the image or
// changes the lights, the texture maps or the options flushes the polygons
// (DirectState::flushPolygons). The polygons are handed over in batches,
// several at a time in flight: a band takes the batches in turn, each as
// soon as it is done with the one before, whatever the other bands are at,
// so no thread waits for the slowest band of a batch. The parser's thread
// bins the next batch meanwhile, and fills bands itself only when every
// batch is in flight, or at a flush.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/limits.h"
#include "engines/direct/materials.h"
#include "engines/direct/span_kernels.h"
#include "engines/direct/vertex_layout.h"
#include "engines/direct/worker_pool.h"
#include "surface/emission.h"

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
    Emission emission;
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
    // Sets every depth of depth (the image's, width x height) to value,
    // later: each band sets its own before its first polygons, while this
    // thread goes on binning (or flush sets them all). False, and nothing
    // done, when the image is not one the bins were prepared for.
    bool clearDepth(float* depth, int width, int height, float value);
    // Fills every polygon binned so far; on return the image, the depth
    // buffer and the statistics are as if each had been filled at once.
    void flush();
    // The same, except that depths waiting to be set (clearDepth) are left
    // to the threads, with the next polygon.
    void flushPolygons();
    // Forgets depths waiting to be set: their buffer goes.
    void dropDepthClear() { clearDepth_ = nullptr; }

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
        uint64_t surface = 0;  // the surface the last snapshot is known to be of (0: none)
        ShadingLights lights;  // as gathered for the batch's first polygon
        // A depth buffer each band sets to clearValue before its polygons
        // (null: none); a batch may hold this and no polygon.
        float* clearDepth = nullptr;
        float clearValue = 0;
        void clear();
        bool empty() const { return polygonCount == 0 && !clearDepth; }
    };
    // Batches in flight at once, the one being binned included.
    static constexpr int kBatches = 4;
    // A band's progress: the batches it has filled (batch serials below
    // done), and whether a thread is filling it. On cache lines of their
    // own, as the threads write them.
    struct alignas(64) Band {
        std::atomic<uint64_t> done{0};
        std::atomic<bool> busy{false};
    };
    // A thread's own: the state it shades with, its pixel count. Each on
    // cache lines of its own, as the threads write them while they fill.
    struct alignas(64) Worker {
        std::unique_ptr<DirectState> state;
        uint64_t batch = UINT64_MAX;  // the serial of the batch whose snapshot is applied
        int snapshot = -1;            // that snapshot
        int lastBand = 0;             // the band it filled last, looked at first
        uint64_t shaded = 0;
    };

    // The helpers, the batches and the per-row records; false when refused.
    bool allocate();
    // Fills, on worker, the batches ready for one band no other thread is
    // filling; false when there is none.
    static bool Step(void* bins, int worker);
    bool fillReady(int worker);
    // Fills band of the batch with serial `serial` on worker.
    void fillBand(uint64_t serial, int band, int worker);
    // Hands the batch being binned to the threads, and makes the next one
    // ready to bin into (waiting, and filling, until its memory is free).
    void submit();
    // Whether every band has filled every batch up to serial `end`.
    bool filledTo(uint64_t end) const;
    // Fills on this thread until every band has filled the batches up to
    // serial `end`.
    void fillTo(uint64_t end);
    Batch& binning() { return batches_[serial_ % kBatches]; }

    WorkerPool pool_;
    // The memory of the batches, on large pages: a page fault for each of
    // a batch's small pages costs more than binning its polygons. Each
    // batch's polygons, snapshots and band lists come first and its vertex
    // floats last, so that a batch touches few large pages (each costs the
    // kernel the clearing of it).
    std::byte* memory_ = nullptr;
    size_t memoryBytes_ = 0;
    Batch batches_[kBatches];
    // The serial of the batch being binned, in batches_[serial_ % kBatches];
    // the batches before it are handed over (submitted_, for the threads).
    uint64_t serial_ = 0;
    std::atomic<uint64_t> submitted_{0};
    Band bands_[kDirectMaxBands];
    std::atomic<int> taskBands_{0};  // bandCount_, as the threads read it
    std::vector<Worker> workers_;
    int threads_ = 0;
    const LightSet* lights_ = nullptr;
    const MapList* maps_ = nullptr;
    bool ready_ = false;    // allocated for the image size
    bool refused_ = false;  // memory refused for this image size
    int width_ = 0, height_ = 0, bandRows_ = 1, bandCount_ = 0;
    uint32_t bandCapacity_ = 0;  // entries each band's list can take
    // A depth buffer to set to clearValue_ (clearDepth): handed to the
    // threads with the first polygon, or set by flush.
    float* clearDepth_ = nullptr;
    float clearValue_ = 0;
    // The image the batches since the last flush draw into (open_: any).
    bool open_ = false;
    DisplayDevice* dev_ = nullptr;
    FrameBuffer* frame_ = nullptr;
    float* depth_ = nullptr;
    DepthBounds* bounds_ = nullptr;
    FrameStats* stats_ = nullptr;
    // Per row, the columns stored since the last flush (SpanTarget).
    std::vector<int> writtenFirst_, writtenLast_;
};

}  // namespace kx
