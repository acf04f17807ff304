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

// A definition holding MapLoad, instanced twice in a world and again in the
// next frame, draws with both drawing engines what the scene with the
// MapLoad written once before the definition draws; the converter still
// sees every replayed MapLoad. A repeated MapLoad outside a replay, and a
// replayed one of the label from another file, remain errors.
TEST(ObjectsEndToEnd, MapLoadInADefinitionIsInstancedAgain) {
    const std::string textures = KX_SOURCE_DIR "/examples/textures/";
    const std::string checker = "MapLoad \"" + textures + "checker.ppm\" \"c\"\n";
    const auto scene = [&](const std::string& engine, const std::string& top, const std::string& inside) {
        return "Engine \"" + engine + "\"\nDisplay \"obj\" \"PNM\" \"rgb\"\nFormat 24 16\n" + top +
               "ObjectBegin \"tile\"\n" + inside +
               "Map \"texture\" \"c\"\nSurface \"painted plastic\"\n"
               "PolySet \"PT\" 4 1 -1 -1 -4 0 0 1 -1 -4 1 0 1 1 -4 1 1 -1 1 -4 0 1 0 1 2 3 -1\nObjectEnd\n"
               "FrameBegin 1\nWorldBegin\nObjectInstance \"tile\"\nTranslate 1.5 0 0\nObjectInstance \"tile\"\n"
               "WorldEnd\nFrameEnd\nFrameBegin 2\nWorldBegin\nTranslate 0 1 0\nObjectInstance \"tile\"\nWorldEnd\n"
               "FrameEnd\n";
    };
    for (const std::string engine : {"direct", "raytrace"}) {
        std::string replayed, once;
        RunResult r = RunScene(scene(engine, "", checker), &replayed);
        EXPECT_EQ(r.err, "") << engine;
        EXPECT_EQ(r.status, 0) << engine;
        r = RunScene(scene(engine, checker, ""), &once);
        ASSERT_EQ(r.status, 0) << engine << ": " << r.err;
        for (const char* image : {"/obj0001.ppm", "/obj0002.ppm"}) {
            const std::string picture = ReadFile(once + image);
            EXPECT_GT(picture.size(), 24u * 16 * 3) << engine << image;
            EXPECT_EQ(ReadFile(replayed + image), picture) << engine << image;
        }
    }
    RunResult r = RunScene(scene("data convert", "", checker));
    std::string notices;
    for (int i = 0; i < 3; ++i)
        notices += "MapLoad command not implemented. Ignoring.\nMap command not implemented. Ignoring.\n";
    EXPECT_EQ(r.err, notices);
    EXPECT_EQ(r.status, 0);

    const std::string kInUse = ": Map label already in use or reserved\n";
    for (const std::string engine : {"direct", "raytrace"}) {
        const std::string head = "Engine \"" + engine + "\"\nObjectBegin \"a\"\n" + checker + "ObjectEnd\n";
        // The label from another file, by another definition.
        r = RunScene(head + "ObjectBegin \"b\"\nMapLoad \"" + textures + "rgb.ppm\" \"c\"\nObjectEnd\n" +
                     "WorldBegin\nObjectInstance \"a\"\nObjectInstance \"a\"\nObjectInstance \"b\"\nWorldEnd\n");
        EXPECT_EQ(r.err, "Error in scene.kx on line 11" + kInUse) << engine;
        EXPECT_EQ(r.status, StatusOf(-30)) << engine;
        // The same file again, outside a replay: after an instance, and twice.
        r = RunScene(head + "WorldBegin\nObjectInstance \"a\"\n" + checker + "WorldEnd\n");
        EXPECT_EQ(r.err, "Error in scene.kx on line 7" + kInUse) << engine;
        EXPECT_EQ(r.status, StatusOf(-30)) << engine;
        r = RunScene("Engine \"" + engine + "\"\n" + checker + "WorldBegin\n" + checker + "WorldEnd\n");
        EXPECT_EQ(r.err, "Error in scene.kx on line 4" + kInUse) << engine;
        EXPECT_EQ(r.status, StatusOf(-30)) << engine;
    }
}
