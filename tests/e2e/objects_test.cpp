// Object definitions replayed through the real binary, observed through the
// scene converter's output.
#include <gtest/gtest.h>

#include "support/run.h"

using namespace kxtest;

namespace {

const char* kEmptyMesh = "PolySet  \"P\"\n0  0\n\n\n";

RunResult Convert(const std::string& body) { return RunScene("Engine \"data convert\"\n" + body); }

}  // namespace

TEST(ObjectsEndToEnd, DefinitionInstancedTwiceRepeatsItsTranslate) {
    RunResult r = Convert(
        "ObjectBegin 2 \"ball\"\nTranslate 1 0 0\nSphere 1 -1 1 360\nObjectEnd\n"
        "WorldBegin\nObjectInstance \"ball\"\nObjectInstance \"ball\"\nWorldEnd\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("WorldBegin\nTranslate 1 0 0\nSphere  1 -1 1 360\nTranslate 1 0 0\nSphere  1 -1 1 360\n") +
                         kEmptyMesh + "WorldEnd\n");
}

TEST(ObjectsEndToEnd, NestedEmptyAndForwardDefinitions) {
    RunResult r = Convert(
        "ObjectBegin \"outer\"\nColor 1 0 0\nObjectInstance \"empty\"\nObjectInstance \"later\"\nCube\nObjectEnd\n"
        "ObjectBegin \"empty\"\nObjectEnd\n"
        "ObjectBegin \"later\"\nScale 2 2 2\nObjectEnd\n"
        "WorldBegin\nObjectInstance \"empty\"\nObjectInstance \"outer\"\nTranslate 0 0 1\nWorldEnd\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("WorldBegin\nColor  1 0 0\nScale 2 2 2\nCube\nTranslate 0 0 1\n") + kEmptyMesh +
                         "WorldEnd\n");
}

TEST(ObjectsEndToEnd, ErrorsAtReplayTime) {
    // Defining is fine; the error comes when the world replays the instance.
    RunResult r = Convert(
        "ObjectBegin \"a\"\nCube\nObjectInstance \"b\"\nObjectEnd\n"
        "ObjectBegin \"b\"\nObjectInstance \"a\"\nObjectEnd\n"
        "WorldBegin\nObjectInstance \"a\"\nWorldEnd\n");
    EXPECT_EQ(r.out, "WorldBegin\nCube\n");
    EXPECT_EQ(r.err, "Error in scene.kx on line 10: Recursive object definition not allowed\n");
    EXPECT_EQ(r.status, StatusOf(-8));

    r = Convert("ObjectBegin \"a\"\nCube\nObjectInstance \"nowhere\"\nCube\nObjectEnd\nWorldBegin\n"
                "ObjectInstance \"a\"\nWorldEnd\n");
    EXPECT_EQ(r.out, "WorldBegin\nCube\n");
    EXPECT_EQ(r.err, "Error in scene.kx on line 8: Unknown object label on ObjectInstance\n");
    EXPECT_EQ(r.status, StatusOf(-12));
}

TEST(ObjectsEndToEnd, NonRecordableCommandsInsideADefinition) {
    RunResult r = Convert("ObjectBegin \"a\"\nCustom \"dropped\"\nPointLight 0 0 0 1 1 1 1\nObjectEnd\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error in scene.kx on line 4: Known symbol in illegal context\n");
    EXPECT_EQ(r.status, StatusOf(-4));
}

TEST(ObjectsEndToEnd, ReplayedPatchesJoinTheWorldMesh) {
    RunResult r = Convert(
        "OptionReal \"Divisions\" 1\nObjectBegin \"quad\"\nPatch \"Bezier\" \"P\" 1 1 0 0 0 1 0 0 0 1 0 1 1 0\n"
        "ObjectEnd\nWorldBegin\nObjectInstance \"quad\"\nObjectInstance \"quad\"\nWorldEnd\n");
    EXPECT_EQ(r.err, "");
    // The same positions twice: one set of vertices, the quadrilateral twice.
    EXPECT_EQ(r.out, "WorldBegin\nPolySet  \"P\"\n4  2\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n\n0 1 2 3 -1\n0 1 2 3 -1\n\nWorldEnd\n");
}
