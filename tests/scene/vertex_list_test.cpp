#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/errors.h"
#include "scene/log_engine.h"

using namespace kxtest;

namespace {

// The text parsed from a file.
ParseResult ParseFile(const std::string& text) {
    char path[] = "/tmp/kxverticesXXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    ParseResult r = ParseOpened([&](kx::SceneInput& in) { EXPECT_EQ(in.open(path), 0); });
    unlink(path);
    return r;
}

ParseResult InWorld(const std::string& body) { return ParseText("WorldBegin\n" + body + "\nWorldEnd\n"); }
int StatusIn(const std::string& body) { return InWorld(body).status; }

}  // namespace

TEST(VertexLists, StridesOfVertexTypes) {
    EXPECT_EQ(kx::VertexStride("PNC"), 9);
    EXPECT_EQ(kx::VertexStride("\"PT\""), 5);
    EXPECT_EQ(kx::VertexStride("PDw"), 7);
    EXPECT_EQ(kx::VertexStride(""), 0);
    EXPECT_EQ(kx::VertexStride("PO"), -1);
    EXPECT_EQ(kx::VertexStride("PO", true), 4);
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
    // A PolySet's vertices may have an opacity (O), no other list's.
    EXPECT_EQ(StatusIn("PolySet PO 3 1 0 0 0 1 1 0 0 1 0 1 0 1 0 1 2 -1"), 1);
    EXPECT_EQ(StatusIn("LineSet PO 3 1 " + tri + "0 1 -1"), kx::kErrVertexType);
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

TEST(VertexLists, WordsOfEveryFormAcrossTheReadersBlocks) {
    // A vertex list longer than two of the reader's 64 KiB blocks, its words
    // of every form and its blanks of every kind, shifted so that the block
    // boundaries fall at other places in it: read from a file as from
    // memory, with the values the runtime gives its words, and an index out
    // of range reported on its own line.
    const char* numbers[] = {"0",    "-0.0191079", "1e-3", "+2.5",  "0x1p-2",  "1.5abc",
                             "7.",   ".25",        "-.5",  "00012.5000", "123456789012345678901", "0.000000000000000000000001"};
    const char* blanks[] = {" ", "\n", "\t", "\r\n", "  # a comment 1 2 3\n", "\v", " \f", "\n\n"};
    const char* indices[] = {"0", "1", "+1", "01", "0x1", "2", "08"};
    std::string body, expected;
    const int nvertices = 9000;
    for (int i = 0; i < nvertices * 3; ++i) {
        const char* w = numbers[(i * 7 + i / 5) % 12];
        body += w;
        body += blanks[(i * 5 + i / 3) % 8];
        std::ostringstream os;
        os << (i ? " " : "") << static_cast<float>(std::strtod(w, nullptr));
        expected += os.str();
    }
    std::string faces, expectedFaces;
    const int nfaces = 3000;
    for (int f = 0; f < nfaces; ++f) {
        for (int j = 0; j < 3; ++j) {
            const char* w = indices[(f * 3 + j) % 7];
            faces += std::string(w) + blanks[(f + j) % 8];
            if (f > 0 || j > 0) expectedFaces += ' ';
            expectedFaces += std::to_string(std::strtol(w, nullptr, 0));
        }
        faces += "-1\n";
        expectedFaces += " -1";
    }
    const long long lines = std::count(body.begin(), body.end(), '\n') + std::count(faces.begin(), faces.end(), '\n');
    ASSERT_GT(body.size(), 2u * 65536u);
    for (int shift : {0, 1, 2, 3, 5, 8, 13, 21}) {
        const std::string head = "WorldBegin" + std::string(shift, ' ') + "\nPolySet P " + std::to_string(nvertices) +
                                 " " + std::to_string(nfaces + 1) + "\n";
        for (const char* last : {"0 -1\n", "9000 -1\n"}) {
            const std::string text = head + body + faces + last + "WorldEnd\n";
            ParseResult fromFile = ParseFile(text);
            ParseResult fromMemory = ParseText(text);
            EXPECT_EQ(fromFile.status, fromMemory.status);
            EXPECT_EQ(fromFile.line, fromMemory.line);
            EXPECT_EQ(fromFile.calls, fromMemory.calls);
            if (last[0] == '0') {
                EXPECT_EQ(fromFile.status, 1);
                EXPECT_EQ(fromFile.line, 1 + 2 + lines + 2);
                ASSERT_EQ(fromFile.calls.size(), 3u);
                EXPECT_EQ(fromFile.calls[1], "PolySet('P'," + std::to_string(nvertices) + ",[" + expected + "]," +
                                                 std::to_string(nfaces + 1) + ",[" + expectedFaces + " 0 -1])");
            } else {
                EXPECT_EQ(fromFile.status, kx::kErrVertexIndexRange);
                EXPECT_EQ(fromFile.line, 1 + 2 + lines);
            }
        }
    }
}

TEST(VertexLists, NumbersCutShortByTheEndOfTheInput) {
    // Digit runs up to the last byte of the input, of every length around
    // the eight digits read at a time, from a file as from memory.
    for (int digits = 1; digits <= 20; ++digits) {
        for (const char* tail : {"", "0 1 2", "0 1 2 -1 "}) {
            const std::string run(static_cast<size_t>(digits), '7');
            const std::string text = "WorldBegin\nPolySet P 3 1 0 0 0 1 0 0 0 1 0." + run + " " + tail + run;
            ParseResult fromFile = ParseFile(text);
            ParseResult fromMemory = ParseText(text);
            EXPECT_EQ(fromFile.status, fromMemory.status) << text;
            EXPECT_EQ(fromFile.line, fromMemory.line) << text;
            EXPECT_EQ(fromFile.calls, fromMemory.calls) << text;
            if (std::string(tail).find("-1") == std::string::npos) {
                EXPECT_EQ(fromFile.status, kx::kErrVertexIndexRange) << text;  // the last index, 7...
            } else {
                ASSERT_GE(fromFile.calls.size(), 2u) << text;
                EXPECT_EQ(fromFile.calls[1].rfind("PolySet('P',3,[0 0 0 1 0 0 0 1 0.", 0), 0u) << fromFile.calls[1];
            }
        }
    }
}
