#include <gtest/gtest.h>

#include "core/errors.h"
#include "scene/log_engine.h"

using namespace kxtest;

namespace {

ParseResult InWorld(const std::string& body) { return ParseText("WorldBegin\n" + body + "\nWorldEnd\n"); }
int StatusIn(const std::string& body) { return InWorld(body).status; }

}  // namespace

TEST(VertexLists, StridesOfVertexTypes) {
    EXPECT_EQ(kx::VertexStride("PNC"), 9);
    EXPECT_EQ(kx::VertexStride("\"PT\""), 5);
    EXPECT_EQ(kx::VertexStride("PDw"), 7);
    EXPECT_EQ(kx::VertexStride(""), 0);
    EXPECT_EQ(kx::VertexStride("PO"), -1);
    EXPECT_EQ(kx::VertexStride("p"), -1);
}

TEST(VertexLists, PolySetPassesVerticesAndTheWholeIndexList) {
    ParseResult r = InWorld("PolySet \"P\" 4 2\n0 0 0 1 0 0 1 1 0 0 1 0\n0 1 2 -1 2 3 0 -1");
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.calls.size(), 3u);
    EXPECT_EQ(r.calls[1], "PolySet('\"P\"',4,[0 0 0 1 0 0 1 1 0 0 1 0],2,[0 1 2 -1 2 3 0 -1])");
}

TEST(VertexLists, IndexWords) {
    ParseResult r = InWorld("PolySet P 3 1 0 0 0 1 0 0 0 1 0 0x2 01 0 -1");
    EXPECT_EQ(r.calls[1], "PolySet('P',3,[0 0 0 1 0 0 0 1 0],1,[2 1 0 -1])");
    // Trailing characters after a vertex number are ignored.
    r = InWorld("PointSet P 1 1.5abc 2 3");
    EXPECT_EQ(r.calls[1], "PointSet('P',1,[1.5 2 3])");
}

TEST(VertexLists, ErrorCodesPerCommand) {
    const std::string tri = "0 0 0 1 0 0 0 1 0 ";
    EXPECT_EQ(StatusIn("PolySet PO 3 1 " + tri + "0 1 2 -1"), kx::kErrVertexType);
    EXPECT_EQ(StatusIn("PolySet P 3 1 0 0 x 1 0 0 0 1 0 0 1 2 -1"), kx::kErrVertexCoordExpected);
    EXPECT_EQ(StatusIn("PolySet P 3 1 " + tri + "0 a 2 -1"), kx::kErrVertexIndexExpected);
    EXPECT_EQ(StatusIn("PolySet P 3 1 " + tri + "0 1.0 2 -1"), kx::kErrIntegerExpected);
    EXPECT_EQ(StatusIn("PolySet P 3 1 " + tri + "0 1 3 -1"), kx::kErrVertexIndexRange);
    EXPECT_EQ(StatusIn("PolySet P 3 1 " + tri + "0 1 -2 -1"), kx::kErrVertexIndexRange);
    EXPECT_EQ(StatusIn("PointSet P 1 0 x 0"), kx::kErrVertexCoordExpected);
    EXPECT_EQ(StatusIn("LineSet P 3 1 0 0 x 1 0 0 0 1 0 0 1 -1"), kx::kErrIllegalContext);
    EXPECT_EQ(StatusIn("LineSet P 3 1 " + tri + "0 q -1"), kx::kErrIllegalContext);
    EXPECT_EQ(StatusIn("LineSet P 3 1 " + tri + "0 1.5 -1"), kx::kErrIntegerExpected);
    EXPECT_EQ(StatusIn("Curve \"Bezier\" P 1 0 0 0 x 0 0"), kx::kErrIllegalContext);
    EXPECT_EQ(StatusIn("Curve Bezier P 1 0 0 0 1 0 0"), kx::kErrCurveType);
    EXPECT_EQ(StatusIn("Patch Bezier P 0 0 1 2 3"), kx::kErrPatchType);
    EXPECT_EQ(StatusIn("Patch Bezier PX 0 0 1 2 3"), kx::kErrVertexType);  // the stride is checked first
    EXPECT_EQ(StatusIn("Patch \"Bezier\" P 0 0 1 x 3"), kx::kErrIllegalContext);
    EXPECT_EQ(StatusIn("Subdivision Loop PX 0 0 0"), kx::kErrVertexType);
    EXPECT_EQ(StatusIn("Subdivision Loop P 0 0 0"), kx::kErrPatchType);
    EXPECT_EQ(StatusIn("Subdivision \"Catmull-Clark\" P 3 1 0 " + tri + "0 1.0 2 -1"), kx::kErrVertexIndexExpected);
    EXPECT_EQ(StatusIn("Subdivision \"Catmull-Clark\" P 3 1 1 " + tri + "0 1 2 -1 0 1 -1 z"), kx::kErrFloatExpected);
}

TEST(VertexLists, NegativeCountsAndDegreesAreRejected) {
    EXPECT_EQ(StatusIn("PolySet P -3 1 0 1 2 -1"), kx::kErrVertexIndexRange);
    EXPECT_EQ(StatusIn("PolySet P 3 -1"), kx::kErrVertexIndexRange);
    EXPECT_EQ(StatusIn("PointSet P -1"), kx::kErrVertexIndexRange);
    EXPECT_EQ(StatusIn("Curve \"Bezier\" P -2"), kx::kErrBsplineMismatch);
    EXPECT_EQ(StatusIn("Patch \"Bezier\" P 1 -1"), kx::kErrBsplineMismatch);
    // A vertex type without fields cannot describe vertices.
    EXPECT_EQ(StatusIn("PolySet \"\" 5 0"), kx::kErrVertexType);
}

TEST(VertexLists, ClaimedCountsBeyondTheDataEndTheInput) {
    // Memory follows the data present, not the claimed count.
    ParseResult r = ParseText("WorldBegin\nPolySet \"P\" 2000000000 1 0 0 0");
    EXPECT_EQ(r.status, kx::kErrEndOfFile);
    r = ParseText("WorldBegin\nPatch \"Bezier\" \"P\" 2000000000 2000000000 1 2 3");
    EXPECT_EQ(r.status, kx::kErrEndOfFile);
    r = ParseText("OptionArray a 2000000000 1 2 3");
    EXPECT_EQ(r.status, kx::kErrEndOfFile);
}

TEST(VertexLists, CurvePatchAndSubdivision) {
    ParseResult r = InWorld(
        "Curve \"Bezier\" P 3 0 0 0 1 1 0 2 1 0 3 0 0\n"
        "Patch \"Bezier\" P 1 0 0 0 0 1 0 0\n"
        "Subdivision \"Catmull-Clark\" P 4 1 1 0 0 0 1 0 0 1 1 0 0 1 0 0 1 2 3 -1 0 1 2 -1 2.5 3.5");
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.calls.size(), 5u);
    EXPECT_EQ(r.calls[1], "Curve('P',3,[0 0 0 1 1 0 2 1 0 3 0 0])");
    EXPECT_EQ(r.calls[2], "Patch('P',1,0,[0 0 0 1 0 0])");
    EXPECT_EQ(r.calls[3], "Subdivision('P',[0 0 0 1 0 0 1 1 0 0 1 0],4,[0 1 2 3 -1],1,[0 1 2 -1],1,[2.5 3.5])");
}

TEST(VertexLists, LargeIndexListsGrowTheBuffer) {
    // 30000 triangles: 120000 index entries, past the first capacity.
    std::string text = "WorldBegin\nPolySet P 3 30000 0 0 0 1 0 0 0 1 0\n";
    for (int i = 0; i < 30000; ++i) text += "0 1 2 -1\n";
    text += "WorldEnd\n";
    ParseResult r = ParseText(text);
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.calls.size(), 3u);
    std::string faces;
    for (int i = 0; i < 30000; ++i) faces += i ? " 0 1 2 -1" : "0 1 2 -1";
    EXPECT_EQ(r.calls[1], "PolySet('P',3,[0 0 0 1 0 0 0 1 0],30000,[" + faces + "])");
}
