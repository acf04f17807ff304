// Shared set-up of the surface tests: the direct engine's fixture, and
// recorders that stand in for the pipeline's vertex and line entries.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/transform.h"
#include "engines/direct/bezier.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/line_stage.h"
#include "engines/direct/polygon_stage.h"
#include "direct_fixture.h"

namespace kxtest {

// What a sink saw for one vertex, with the state in force at that moment.
struct Recorded {
    kx::AttributeVertex v;
    bool flag = false;  // last (vertex sinks) or draw (line sinks)
    kx::FaceNormal face;  // the polygon's (vertex sinks)
    kx::ColorRGB color;
    kx::Matrix4 M;  // the current transform
    size_t verticesBefore = 0;  // polygon vertices recorded before this one
};

inline std::vector<Recorded>& Recording() {
    static std::vector<Recorded> r;
    return r;
}
inline std::vector<Recorded>& LineRecording() {
    static std::vector<Recorded> r;
    return r;
}

inline Recorded Snapshot(const kx::DirectPipeline& p, const kx::AttributeVertex& v, bool flag,
                         const kx::FaceNormal& face) {
    return Recorded{v, flag, face, p.state.color, p.transforms.M, Recording().size()};
}

inline int RecordVertex(kx::DirectPipeline& p, const kx::AttributeVertex& v, bool last, const kx::FaceNormal& face) {
    Recording().push_back(Snapshot(p, v, last, face));
    return 0;
}
inline void RecordLine(kx::DirectPipeline& p, const kx::AttributeVertex& v, bool draw) {
    LineRecording().push_back(Snapshot(p, v, draw, kx::FaceNormal{}));
}

// Number of polygons recorded, checking that each has four vertices.
inline int QuadCount() {
    const std::vector<Recorded>& r = Recording();
    int quads = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        bool fourth = i % 4 == 3;
        EXPECT_EQ(r[i].flag, fourth) << "vertex " << i;
        if (fourth) ++quads;
    }
    EXPECT_EQ(r.size() % 4, 0u);
    return quads;
}

// The direct engine's test fixture with the recorders cleared and the
// Bezier working storage released.
class DirectSceneTest : public DirectTest {
protected:
    void SetUp() override {
        DirectTest::SetUp();
        kx::bezierWork().release();
        Recording().clear();
        LineRecording().clear();
    }

    void Open(int w, int h) { open(w, h); }
    bool lit(int x, int y) const {
        const uint8_t* p = pixel(x, y);
        return p[0] || p[1] || p[2];
    }
    int litCount() const {
        int n = 0;
        for (int y = 0; y < image().height; ++y)
            for (int x = 0; x < image().width; ++x) n += lit(x, y);
        return n;
    }
};

}  // namespace kxtest
