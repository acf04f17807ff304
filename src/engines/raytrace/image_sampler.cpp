#include "engines/raytrace/image_sampler.h"

#include <atomic>
#include <cstdint>

#include "display/frame_buffer.h"
#include "engines/raytrace/row_pipeline.h"
#include "engines/raytrace/tracer.h"

namespace kx::raytrace {

namespace {

// The colour of pixel (x, y): n x n samples averaged and clamped.
class PixelSampler {
public:
    PixelSampler(const RayState& st, int n) : count_(n < kRayMaxSubsamples ? n : kRayMaxSubsamples) {
        for (int s = 0; s < count_; ++s) offsets_[s] = SubsampleOffset(s, count_);
        weight_ = 1.0f / (static_cast<float>(count_) * static_cast<float>(count_));
        R2W_ = st.rasterToWorld;
        eye_ = st.eye;
        levels_ = st.maxLevels;
    }

    ColorRGB pixel(const TraceContext& context, int x, int y) const {
        ColorRGB sum;
        for (int sy = 0; sy < count_; ++sy) {
            for (int sx = 0; sx < count_; ++sx) sum += Trace(context, primary(x, y, sx, sy), levels_);
        }
        return finish(sum);
    }

    // Pixels x .. x + N - 1 of row y (N = 2 or 4), sample by sample as
    // pixel() takes them, the N primary rays of a sample traced together.
    template <int N>
    void pixels(const TraceContext& context, int x, int y, ColorRGB out[N]) const {
        ColorRGB sum[N];
        for (int sy = 0; sy < count_; ++sy) {
            for (int sx = 0; sx < count_; ++sx) {
                Ray rays[N];
                for (int k = 0; k < N; ++k) rays[k] = primary(x + k, y, sx, sy);
                ColorRGB c[N];
                TraceRays<N>(context, rays, levels_, c);
                for (int k = 0; k < N; ++k) sum[k] += c[k];
            }
        }
        for (int k = 0; k < N; ++k) out[k] = finish(sum[k]);
    }

    // Pixels x0 .. x1 - 1 of row y of an image width pixels wide, handed
    // to put(x, colour) in order. They are traced in the groups a whole row
    // is traced in, so that part of a row comes out as it does in the whole.
    template <class Put>
    void row(const TraceContext& context, int y, int x0, int x1, int width, Put put) const {
        ColorRGB c[4];
        auto take = [&](int x, int n) {
            for (int k = 0; k < n; ++k)
                if (x + k >= x0 && x + k < x1) put(x + k, c[k]);
        };
        int x = 0;
        for (; x + 3 < width; x += 4) {
            if (x + 4 <= x0) continue;
            if (x >= x1) return;
            pixels<4>(context, x, y, c);
            take(x, 4);
        }
        for (; x + 1 < width; x += 2) {
            if (x + 2 <= x0) continue;
            if (x >= x1) return;
            pixels<2>(context, x, y, c);
            take(x, 2);
        }
        if (x < width && x >= x0 && x < x1) {
            c[0] = pixel(context, x, y);
            take(x, 1);
        }
    }

private:
    Ray primary(int x, int y, int sx, int sy) const {
        Point3 q = R2W_ * Point3(static_cast<float>(x) + offsets_[sx], static_cast<float>(y) + offsets_[sy], 1);
        return Ray{eye_, normalized(q - eye_)};
    }
    ColorRGB finish(ColorRGB sum) const {
        sum = sum * weight_;
        return ClampColor(sum);
    }

    int count_;
    float offsets_[kRayMaxSubsamples];
    float weight_;
    Matrix4 R2W_;
    Point3 eye_;
    int levels_;
};

// Where a row's pixels go: straight into the device's frame buffer, as
// WritePixel would store them, where it has one (the device told once per
// row), else through WritePixel. The pixels of columns x0..x1-1 are stored
// in turn, those outside the buffer left out as WritePixel leaves them.
class RowStore {
public:
    RowStore(DisplayDevice& dev, int x0, int x1) : dev_(dev), frame_(dev.frame()) {
        first_ = x0 > 0 ? x0 : 0;
        end_ = frame_ && x1 > frame_->width ? frame_->width : x1;
        if (frame_ && first_ < end_) frame_->markWritten();
    }
    // Row y, whose pixels follow.
    void begin(int y) {
        y_ = y;
        row_ = frame_ ? frame_->rowBytes(y) : nullptr;
    }
    void put(int x, const ColorRGB& c) {
        if (!frame_) {
            dev_.WritePixel(x, y_, c);
            return;
        }
        if (!row_ || x < first_ || x >= end_) return;
        StoreColor(row_ + static_cast<size_t>(x) * 3, c);
    }
    void end() {
        if (row_ && first_ < end_) dev_.spanWritten(first_, end_ - 1, y_);
    }

private:
    DisplayDevice& dev_;
    FrameBuffer* frame_;
    int first_ = 0, end_ = 0;
    int y_ = 0;
    uint8_t* row_ = nullptr;
};

}  // namespace

void TraceImage(const RayState& st, const LightSet& lights, DisplayState& ds, FrameStats& stats) {
    DisplayDevice& dev = ds.dev();
    const int W = ds.width, H = ds.height;
    if (W <= 0 || H <= 0) return;  // an empty image
    const int n = st.subsamples;
    if (n <= 0) {
        // No samples: every pixel shows the background.
        const ColorRGB bg = ClampColor(st.background);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) dev.WritePixel(x, y, bg);
        return;
    }
    // Only the region the command line selects is traced.
    const ImageRegion& region = ds.selection.region;
    const int x0 = region.given ? region.x0 : 0, x1 = region.given ? region.x1 : W;
    const int y0 = region.given ? region.y0 : 0, y1 = region.given ? region.y1 : H;
    const int rows = y1 - y0, columns = x1 - x0;
    const PixelSampler sampler(st, n);
    RowStore store(dev, x0, x1);
    // Each row is traced with a context of its own, whose count of rays is
    // added to the statistics once the row is done, instead of every ray
    // contending for the shared counter.
    const bool counting = stats.enabled;
    auto traceRow = [&sampler, &st, &lights, &stats, counting, W, x0, x1](int y, auto put) {
        uint64_t rays = 0;
        const TraceContext context{st.scene, lights, st.background, counting ? &rays : nullptr};
        sampler.row(context, y, x0, x1, W, put);
        if (rays != 0) stats.rays.fetch_add(rays, std::memory_order_relaxed);
    };
    const int threads = ResolveThreadCount(st.threads, rows);
    if (threads > 1) {
        // Rows traced on every thread, handed to the display here, in order.
        bool ran = RunRows(
            columns, rows, threads,
            [&traceRow, x0, y0](int y, ColorRGB* row) {
                traceRow(y0 + y, [row, x0](int x, const ColorRGB& c) { row[x - x0] = c; });
            },
            [&store, &stats, columns, rows, x0, y0](int y, const ColorRGB* row) {
                store.begin(y0 + y);
                for (int x = 0; x < columns; ++x) store.put(x0 + x, row[x]);
                store.end();
                stats.reportRowsDone(y + 1, rows);
            });
        if (ran) return;
    }
    for (int y = y0; y < y1; ++y) {
        store.begin(y);
        traceRow(y, [&store](int x, const ColorRGB& c) { store.put(x, c); });
        store.end();
        stats.reportRowsDone(y - y0 + 1, rows);
    }
}

}  // namespace kx::raytrace
