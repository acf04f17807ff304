// Helpers for the direct engine's unit tests: a fresh process state, an
// open display (the PPM device, or a device that counts pixel writes), and
// ways to feed the pipeline.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "support/process_state.h"
#include "core/lights.h"
#include "core/transform.h"
#include "engines/direct/direct_engine.h"
#include "shell/process.h"
#include "engines/direct/bezier.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/line_stage.h"
#include "engines/direct/polygon_stage.h"
#include "surface/texture.h"
#include "display/display.h"
#include "display/ppm_device.h"

namespace kxtest {

// Keeps every written colour exactly and counts the writes per pixel;
// writes outside the image are counted separately.
class CountingDevice final : public kx::DisplayDevice {
public:
    CountingDevice(int w, int h) : width(w), height(h), writes(static_cast<size_t>(w) * h, 0), pixels(writes.size()) {}
    int DisplayOpen() override { return 0; }
    int DisplayClose() override { return 0; }
    int ImageBegin(int) override {
        std::fill(writes.begin(), writes.end(), 0);
        std::fill(pixels.begin(), pixels.end(), background);
        return 0;
    }
    int ImageShow() override { return 0; }
    int ImageClear() override { return 0; }
    int SetBackground(const kx::ColorRGB& c) override {
        background = c;
        return 0;
    }
    int ReadPixel(int x, int y, kx::ColorRGB& c) override {
        c = inside(x, y) ? pixels[index(x, y)] : kx::ColorRGB();
        return 0;
    }
    int WritePixel(int x, int y, const kx::ColorRGB& c) override {
        if (!inside(x, y)) {
            ++outside;
            return 0;
        }
        ++writes[index(x, y)];
        pixels[index(x, y)] = c;
        return 0;
    }

    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    size_t index(int x, int y) const { return static_cast<size_t>(y) * width + x; }
    int count(int x, int y) const { return writes[index(x, y)]; }
    void clearCounts() { std::fill(writes.begin(), writes.end(), 0); }

    int width, height;
    std::vector<int> writes;
    std::vector<kx::ColorRGB> pixels;
    kx::ColorRGB background;
    int outside = 0;
};

inline void ResetProcessState() { kx::process().reset(); }

// What a drawing left: the frame's bytes, the depth buffer and the pixels
// counted as shaded.
struct Drawn {
    std::vector<uint8_t> bytes;
    std::vector<float> depth;
    uint64_t pixels = 0;
    // To the bit, the depths too.
    bool operator==(const Drawn& o) const {
        return pixels == o.pixels && bytes == o.bytes && depth.size() == o.depth.size() &&
               std::memcmp(depth.data(), o.depth.data(), depth.size() * sizeof(float)) == 0;
    }
};

// A pipeline over the process's direct state and shared state, as the
// engine's own.
inline kx::DirectPipeline& TestPipeline() {
    static kx::DirectPipeline pipeline{kx::process().context, kx::process().direct, kx::process().maps};
    return pipeline;
}

class DirectTest : public ::testing::Test {
protected:
    void SetUp() override { ResetProcessState(); }
    void TearDown() override {
        engine.End();
        ResetProcessState();
    }

    // Opens a w x h image (PPM device, or the counting device) and starts a
    // world with the default camera.
    void open(int w, int h, bool counting = false) {
        kx::SetFormat(w, h);
        if (counting) {
            auto dev = std::make_unique<CountingDevice>(w, h);
            counter = dev.get();
            kx::displayState().device = std::move(dev);
        } else {
            ASSERT_EQ(kx::SelectDisplay("direct_test", "PNM", "rgb"), 0);
        }
        ASSERT_EQ(kx::displayState().dev().DisplayOpen(), 0);
        ASSERT_EQ(engine.Begin(), 0);
        ASSERT_EQ(engine.WorldBegin(), 0);
    }

    // The image with every polygon drawn so far filled in.
    const kx::FrameBuffer& image() const {
        kx::directState().flushBins();
        return static_cast<kx::FileDevice&>(kx::displayState().dev()).buffer();
    }
    const uint8_t* pixel(int x, int y) const {
        const kx::FrameBuffer& fb = image();
        return &fb.pixels[(static_cast<size_t>(y) * fb.width + x) * 3];
    }
    // What the drawing so far left in fb, the polygons waiting for the
    // threads filled first.
    Drawn drawn(const kx::FrameBuffer& fb) {
        kx::directState().flushBins();
        Drawn d;
        d.bytes.assign(fb.pixels.begin(), fb.pixels.end());
        d.depth.assign(kx::directState().depth.begin(), kx::directState().depth.end());
        d.pixels = pipeline.stats.pixels;
        return d;
    }
    // Number of pixels whose red byte is not zero.
    int redPixels() const {
        const kx::FrameBuffer& fb = image();
        int n = 0;
        for (size_t i = 0; i < fb.pixels.size(); i += 3) n += fb.pixels[i] != 0;
        return n;
    }

    // A polygon given by its object-space corners (x, y, z triples).
    void polygon(const std::vector<float>& xyz) {
        int n = static_cast<int>(xyz.size() / 3);
        std::vector<int> idx;
        for (int i = 0; i < n; ++i) idx.push_back(i);
        idx.push_back(-1);
        ASSERT_EQ(engine.PolySet("P", n, xyz.data(), 1, idx.data()), 0);
        engine.finishDrawing();
    }

    // Sets the position-only layout and hands a polygon of screen-space
    // vertices (x, y, z, w quadruples) to the transformed vertex entry.
    void screenPolygon(const std::vector<float>& xyzw) {
        kx::DirectState& s = kx::directState();
        s.layout.reset();
        s.layout.append(kx::VertexAttribute::Position);
        s.layout.finalize();
        int n = static_cast<int>(xyzw.size() / 4);
        for (int i = 0; i < n; ++i) {
            kx::AttributeVertex v;
            for (int k = 0; k < 4; ++k) v[k] = xyzw[4 * i + k];
            v[4] = 1;
            kx::TransformedVertex(pipeline, v, i == n - 1, kx::FaceNormal{});
        }
        engine.finishDrawing();
    }

    void clearDepth() { kx::directState().clearDepth(); }

    kx::REDirect engine{kx::process().context, kx::process().direct, kx::process().maps};
    kx::DirectPipeline& pipeline = TestPipeline();
    CountingDevice* counter = nullptr;
};

}  // namespace kxtest

// The pipeline entries the tests call, through the process's pipeline.
inline int DrawBezierCurve(const std::string& vertexType, int degree, const float* points, int n,
                           kx::LineSink line) {
    return kx::DrawBezierCurve(kxtest::TestPipeline(), vertexType, degree, points, n, line);
}
inline int DrawBezierPatch(const std::string& vertexType, int m, int k, const float* points, int n,
                           kx::QuadSink quad, kx::LineSink line) {
    return kx::DrawBezierPatch(kxtest::TestPipeline(), vertexType, m, k, points, n, quad, line);
}
inline int PolygonVertex(const kx::AttributeVertex& v, bool last) {
    return kx::PolygonVertex(kxtest::TestPipeline(), v, last, kx::FaceNormal{});
}
