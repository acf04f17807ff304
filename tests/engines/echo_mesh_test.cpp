// The world mesh's vertex table: exact positions, first appearance order.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "support/process_state.h"
#include "engines/echo/echo_engine.h"
#include "engines/echo/echo_mesh.h"

namespace kx {
namespace {

TEST(EchoLayout, StrideAndPositionOfVertexTypes) {
    EchoLayout l;
    ASSERT_EQ(ParseEchoLayout("\"PNC\"", l), 0);
    EXPECT_EQ(l.stride, 9);
    EXPECT_EQ(l.position, 0);
    ASSERT_EQ(ParseEchoLayout("TwDP", l), 0);
    EXPECT_EQ(l.stride, 9);
    EXPECT_EQ(l.position, 6);
    ASSERT_EQ(ParseEchoLayout("", l), 0);
    EXPECT_EQ(l.stride, 0);
    EXPECT_EQ(l.position, -1);
    EXPECT_EQ(ParseEchoLayout("PO", l), kErrVertexType);
    EXPECT_EQ(ParseEchoLayout("p", l), kErrVertexType);
}

TEST(WorldMesh, NaNPositionsHaveOneConsistentPlace) {
    WorldMesh mesh;
    const float nan = std::nanf(""), otherNan = -std::nanf("0x1234");
    EXPECT_EQ(mesh.findOrInsert(nan, 0, 0), 0);
    EXPECT_EQ(mesh.findOrInsert(1, 2, 3), 1);
    EXPECT_EQ(mesh.findOrInsert(otherNan, 0, -0.0f), 0);
    EXPECT_EQ(mesh.findOrInsert(nan, nan, nan), 2);
    EXPECT_EQ(mesh.findOrInsert(0, nan, 0), 3);
    // Many more around them, then every one found again.
    for (int i = 0; i < 5000; ++i) mesh.findOrInsert(static_cast<float>(i), nan, static_cast<float>(-i));
    EXPECT_EQ(mesh.vertexCount(), 4 + 4999);  // (0, nan, -0) is vertex 3
    EXPECT_EQ(mesh.findOrInsert(otherNan, otherNan, otherNan), 2);
    EXPECT_EQ(mesh.findOrInsert(0, otherNan, 0), 3);
    EXPECT_EQ(mesh.findOrInsert(4999, nan, -4999), 4 + 4998);
    EXPECT_EQ(mesh.findOrInsert(otherNan, 0, 0), 0);

    // The coordinates are written as the stream writes the first occurrence.
    echoState().reset();
    std::string out;
    TextSink sink(&out);
    echoState().out = &sink;
    REEcho echo{kx::process().echo};
    echo.WorldBegin();
    const float v[] = {-nan, 1, 2, nan, 1, 2, 0, 0, 0};
    const int idx[] = {0, 1, 2, -1};
    echo.PolySet("P", 3, v, 1, idx);
    echo.WorldEnd();
    std::ostringstream first;
    first << -nan;
    EXPECT_EQ(out, "WorldBegin\nPolySet  \"P\"\n2  1\n" + first.str() + " 1 2\n0 0 0\n\n0 1 -1\n\nWorldEnd\n");
    echoState().reset();
}

TEST(WorldMesh, LargeMeshKeepsFirstAppearanceOrder) {
    WorldMesh mesh;
    const int n = 300000;
    for (int i = 0; i < n; ++i) ASSERT_EQ(mesh.findOrInsert(i * 0.5f, -i * 0.25f, 7), i);
    for (int i = n - 1; i >= 0; --i) ASSERT_EQ(mesh.findOrInsert(i * 0.5f, -i * 0.25f, 7), i);
    EXPECT_EQ(mesh.vertexCount(), n);
    // Positions differing in one bit are different vertices.
    EXPECT_EQ(mesh.findOrInsert(std::nextafter(0.0f, 1.0f), 0, 7), n);
    EXPECT_EQ(mesh.findOrInsert(0, -0.0f, 7), 0);
    mesh.clear();
    EXPECT_EQ(mesh.vertexCount(), 0);
    EXPECT_EQ(mesh.coords().capacity(), 0u);
    EXPECT_EQ(mesh.findOrInsert(1, 1, 1), 0);
}

TEST(WorldMesh, CollapseAppliesAcrossVerticesNotAcrossPolygons) {
    WorldMesh mesh;
    mesh.addVertex(0, 0, 0);
    mesh.addVertex(-0.0f, 0, 0);
    mesh.addVertex(1, 0, 0);
    mesh.endPolygon();
    mesh.addVertex(1, 0, 0);
    mesh.addVertex(1, 0, 0);
    mesh.endPolygon();
    EXPECT_EQ(mesh.indices(), (std::vector<int>{0, 1, -1, 1, -1}));
    EXPECT_EQ(mesh.polygonCount(), 2);
}

TEST(TessellatePatch, DegenerateArgumentsAddNothing) {
    WorldMesh mesh;
    const float v[12] = {};
    EchoLayout l;
    ParseEchoLayout("P", l);
    EXPECT_EQ(TessellatePatch(mesh, v, l, -1, 1, 20), 0);
    EXPECT_EQ(TessellatePatch(mesh, v, l, 1, -5, 20), 0);
    EXPECT_EQ(TessellatePatch(mesh, nullptr, l, 1, 1, 20), 0);
    EXPECT_EQ(TessellatePatch(mesh, v, l, 3, 3, -4), 0);
    EXPECT_EQ(mesh.polygonCount(), 0);
    // Degree 0 in both directions: one point, one polygon of one index.
    EXPECT_EQ(TessellatePatch(mesh, v, l, 0, 0, 20), 0);
    EXPECT_EQ(mesh.indices(), (std::vector<int>{0, -1}));
}

}  // namespace
}  // namespace kx
