// Resource bounds: sizes no memory holds, counts beyond the data present,
// and numbers that are not finite, under every engine.
#include <gtest/gtest.h>

#include <string>

#include "support/run.h"

using kxtest::ReadPPM;
using kxtest::RunResult;
using kxtest::RunScene;
using kxtest::StatusOf;

namespace {

std::string Report(int line, const std::string& message) {
    return "Error in scene.kx on line " + std::to_string(line) + ": " + message + "\n";
}

// Standard error without the engines' "not implemented" notices.
std::string Errors(const std::string& err) {
    std::string kept;
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        end = end == std::string::npos ? err.size() : end + 1;
        std::string line = err.substr(start, end - start);
        if (line.find("not implemented") == std::string::npos) kept += line;
        start = end;
    }
    return kept;
}

}  // namespace

TEST(Bounds, AFormatNoMemoryHoldsIsReportedByEveryEngine) {
    struct Case {
        const char* engine;
        int line;
        const char* message;
        int code;
    } cases[] = {
        {"direct", 2, "Insufficient memory for depth buffer", -16},
        {"raytrace", 2, "Insufficient memory for display buffer", -15},
        {"scan convert", 4, "Insufficient memory for display buffer", -15},
        {"data convert", 4, "Insufficient memory for display buffer", -15},
    };
    for (const Case& c : cases) {
        RunResult r = RunScene("Engine \"" + std::string(c.engine) +
                               "\"\nFormat 100000 100000\nDisplay \"f\" \"PNM\" \"rgb\"\nWorldBegin\nWorldEnd\n");
        EXPECT_EQ(Errors(r.err), Report(c.line, c.message)) << c.engine;
        EXPECT_EQ(r.status, StatusOf(c.code)) << c.engine;
    }
    // A later frame of such a size fails the same way after the first one
    // was written.
    std::string dir;
    RunResult r = RunScene("Display \"f\" \"PNM\" \"rgb\"\nFormat 4 4\nWorldBegin\nWorldEnd\n"
                           "Format 100000 100000\nWorldBegin\nWorldEnd\n", &dir);
    EXPECT_EQ(r.err, Report(5, "Insufficient memory for depth buffer"));
    EXPECT_EQ(ReadPPM(dir + "/f0000.ppm").width, 4);
}

TEST(Bounds, CountsAndDegreesBeyondTheDataEndAtTheEndOfTheFile) {
    const char* bodies[] = {
        "PolySet \"P\" 2147483647 1\n0 0 0\n",
        "LineSet \"P\" 3 2147483647\n0 0 0 1 1 1 2 2 2\n0 1 -1\n",
        "PointSet \"PNCT\" 2147483647\n1 2 3\n",
        "Curve \"Bezier\" \"P\" 2147483647\n0 0 0\n",
        "Patch \"Bezier\" \"PNCTw\" 2147483647 2147483647\n0 0 0\n",
        "Subdivision \"Catmull-Clark\" \"P\" 1 1 2147483647\n0 0 0\n0 -1\n",
        "OptionArray \"x\" 2147483647 1 2 3\n",
    };
    for (const char* body : bodies) {
        for (const char* engine : {"direct", "raytrace", "data convert"}) {
            RunResult r = RunScene("Engine \"" + std::string(engine) + "\"\nWorldBegin\n" + body);
            EXPECT_EQ(Errors(r.err).substr(0, 23), "Error in scene.kx on li") << body;
            EXPECT_NE(r.err.find(": Unexepected end of file\n"), std::string::npos) << engine << " " << body << r.err;
            EXPECT_EQ(r.status, StatusOf(-1)) << engine << " " << body;
        }
    }
}

TEST(Bounds, NumbersThatAreNotFinite) {
    // The stream rules know no "nan" or "inf", nor floats beyond the range.
    for (const char* body : {"Sphere nan 1 1 360\n", "Color 1e39 0 0\n", "Translate inf 0 0\n"}) {
        RunResult r = RunScene(std::string("WorldBegin\n") + body + "WorldEnd\n");
        EXPECT_EQ(r.err, Report(2, "Unrecognized symbol")) << body;
        EXPECT_EQ(r.status, StatusOf(-3)) << body;
    }
    // Vertex data takes them, and double arguments beyond the float range
    // become infinities: every engine draws nothing for them and goes on.
    const std::string world =
        "PolySet \"P\" 3 1  nan 0 -2  1 1 -2  -1 1 -2  0 1 2 -1\n"
        "PolySet \"PNC\" 3 1  inf 0 -2 0 0 1 1 1 1  1 -inf -2 0 0 1 1 1 1  -1 1 -2 nan 0 1 1 1 1  0 1 2 -1\n"
        "Sphere 1e39 -1e39 1e39 1e39\nRotate \"X\" 1e39\nCube\nTorus 1 1e300 0 360 1e39\n"
        "Curve \"Bezier\" \"P\" 1  nan nan nan  inf inf inf\n";
    for (const char* engine : {"direct", "raytrace", "scan convert"}) {
        std::string dir;
        RunResult r = RunScene("Engine \"" + std::string(engine) +
                                   "\"\nDisplay \"img\" \"PNM\" \"rgb\"\nFormat 16 16\nWorldBegin\n" + world + "WorldEnd\n",
                               &dir);
        EXPECT_EQ(Errors(r.err), "") << engine;
        EXPECT_EQ(r.status, 0) << engine;
        kxtest::Image img = ReadPPM(dir + "/img0000.ppm");
        ASSERT_TRUE(img.ok) << engine;
        int lit = 0;
        for (uint8_t b : img.rgb) lit += b != 0;
        EXPECT_EQ(lit, 0) << engine;
    }
    // The converter writes them so that they read back.
    RunResult r = RunScene("Engine \"data convert\"\nWorldBegin\nSphere 1e39 -1e39 1 360\nWorldEnd\n");
    EXPECT_NE(r.out.find("Sphere  1e+39 -1e+39 1 360\n"), std::string::npos) << r.out;
}
