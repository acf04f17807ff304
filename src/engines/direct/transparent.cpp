#include "engines/direct/transparent.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>

#include "core/limits.h"
#include "display/display.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/pipeline.h"
#include "engines/direct/scan_convert.h"
#include "interface/frame_stats.h"
#include "surface/opacity.h"

namespace kx {

bool SeenThrough(const DirectState& s, const AttributeVertex* const* v, int n) {
    if (s.opacity < 1) return true;
    const VertexLayout& L = s.layout;
    if (!L.hasOpacity) return false;
    // Projected: each value divided by w, as the perspective factor is.
    for (int i = 0; i < n; ++i)
        if (!((*v[i])[L.opacity] / (*v[i])[4] >= 1)) return true;
    return false;
}

void TransparentFragments::clear() {
    fragments_.clear();
    order_ = 0;
}

void TransparentFragments::expect(size_t pixels) {
    if (fragments_.capacity() >= pixels) return;
    try {
        fragments_.reserve(std::min(pixels, kDirectTransparentFragments));
    } catch (const std::bad_alloc&) {
        // grow asks again, for less.
    } catch (const std::length_error&) {
    }
}

bool TransparentFragments::grow() {
    const size_t size = fragments_.size();
    if (size >= kDirectTransparentFragments) return false;
    const size_t wanted = std::min(std::max<size_t>(size * 2, 4096), kDirectTransparentFragments);
    try {
        fragments_.reserve(wanted);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void FillTransparent(DirectPipeline& p, const AttributeVertex* const* v, int n) {
    DirectState& s = p.state;
    if (!s.transparent) {
        try {
            s.transparent = std::make_unique<TransparentFragments>();
        } catch (const std::bad_alloc&) {
            return;  // too short of memory to draw it at all
        }
        s.transparent->expect(s.depth.size());
    }
    for (int i = 0; i < n; ++i)
        if (&s.clipped[i] != v[i]) s.clipped[i] = *v[i];
    s.clippedCount = n;
    const uint64_t shaded = KeepPolygonFragments(p, *s.transparent);
    if (p.stats.enabled) p.stats.pixels += shaded;
}

void DrawTransparent(DirectPipeline& p) {
    DirectState& s = p.state;
    TransparentFragments* kept = s.transparent.get();
    if (!kept || kept->empty()) return;
    s.flushBins();  // the opaque polygons filled, and their depths set
    auto& list = kept->fragments();
    using Fragment = TransparentFragments::Fragment;
    std::sort(list.begin(), list.end(), [](const Fragment& a, const Fragment& b) {
        if (a.pixel != b.pixel) return a.pixel < b.pixel;
        if (a.depth != b.depth) return a.depth > b.depth;
        return a.order < b.order;
    });
    DisplayDevice& dev = p.display.dev();
    FrameBuffer* frame = dev.frame();
    if (frame) frame->markWritten();
    const size_t width = static_cast<size_t>(s.width), pixels = s.depth.size();
    // The columns written in the current row, told to the device at once.
    int rowY = -1, first = 0, last = -1;
    auto tell = [&] {
        if (last >= 0 && frame) dev.spanWritten(first, last, rowY);
        last = -1;
    };
    for (size_t i = 0; i < list.size();) {
        const uint32_t pixel = list[i].pixel;
        size_t end = i;
        while (end < list.size() && list[end].pixel == pixel) ++end;
        if (pixel >= pixels || width == 0) {
            i = end;
            continue;
        }
        const int x = static_cast<int>(pixel % width), y = static_cast<int>(pixel / width);
        uint8_t* px = nullptr;
        if (frame) {
            uint8_t* row = x < frame->width ? frame->rowBytes(y) : nullptr;
            if (!row) {
                i = end;
                continue;
            }
            px = row + static_cast<size_t>(x) * 3;
        }
        // What the image holds, and each fragment in front of the depth the
        // pixel ends with laid over it, far to near.
        const float stored = s.depth[pixel];
        ColorRGB behind;
        bool laid = false;
        for (; i < end; ++i) {
            const Fragment& f = list[i];
            if (!(stored > f.depth)) continue;
            if (!laid) {
                if (px)
                    behind = ColorRGB(px[0] / 255.0f, px[1] / 255.0f, px[2] / 255.0f);
                else
                    dev.ReadPixel(x, y, behind);
                laid = true;
            }
            behind = OverBehind(f.color, f.a, behind);
        }
        if (!laid) continue;
        if (!px) {
            dev.WritePixel(x, y, ClampColor(behind));
            continue;
        }
        StoreColor(px, behind);
        if (y != rowY) {
            tell();
            rowY = y;
        }
        if (last < 0) first = x;
        last = x;
    }
    tell();
    kept->clear();
}

}  // namespace kx
