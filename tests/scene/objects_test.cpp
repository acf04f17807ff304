#include <gtest/gtest.h>

#include "core/errors.h"
#include "scene/log_engine.h"

using namespace kxtest;
using Calls = std::vector<std::string>;

TEST(Objects, LabelsAndParameterCounts) {
    ParseResult r = ParseText("ObjectBegin 3 box\nObjectEnd\nObjectBegin ball\nObjectEnd\n");
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(kx::objectTable().records.size(), 2u);
    EXPECT_EQ(kx::objectTable().records[0]->label, "box");
    EXPECT_EQ(kx::objectTable().records[0]->parameterCount, 3);
    EXPECT_EQ(kx::objectTable().records[1]->label, "ball");
    EXPECT_EQ(kx::objectTable().records[1]->parameterCount, 0);
    EXPECT_EQ(ParseText("ObjectBegin 3x box\n").status, kx::kErrObjectParameters);
    EXPECT_EQ(ParseText("ObjectBegin a\nObjectEnd\nObjectBegin a\n").status, kx::kErrDuplicateObjectLabel);
    EXPECT_EQ(ParseText("FrameBegin 1\nObjectBegin a\n").status, kx::kErrIllegalContext);
}

TEST(Objects, ReplayRunsRecordedCommandsWhereTheInstanceIs) {
    ParseResult r = ParseText(
        "ObjectBegin ball\nTranslate 1 0 0\nSphere 1 -1 1 360\nObjectEnd\n"
        "WorldBegin\nColor 1 0 0\nObjectInstance ball\nObjectInstance ball\nCube\nWorldEnd\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.calls, (Calls{"WorldBegin()", "Color((1 0 0))", "Translate((1 0 0))", "Sphere(1,-1,1,360)",
                              "Translate((1 0 0))", "Sphere(1,-1,1,360)", "Cube()", "WorldEnd()"}));
}

TEST(Objects, RecordedCommandsKeepTheirData) {
    ParseResult r = ParseText(
        "ObjectBegin mesh\nPolySet P 3 1 0 0 0 1 0 0 0 1 0 0 1 2 -1\nOptionArray a 2 7 8\nRotate \"Z\" 90\n"
        "Specular 1 1 1 5\nObjectEnd\n"
        "WorldBegin\nPolySet P 3 1 1 1 1 2 2 2 3 3 3 2 1 0 -1\nObjectInstance mesh\nWorldEnd\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.calls, (Calls{"WorldBegin()", "PolySet('P',3,[1 1 1 2 2 2 3 3 3],1,[2 1 0 -1])",
                              "PolySet('P',3,[0 0 0 1 0 0 0 1 0],1,[0 1 2 -1])", "OptionArray('a',2,[7 8])",
                              "RotateXY(90)", "Specular((1 1 1),5)", "WorldEnd()"}));
}

TEST(Objects, NestedEmptyAndForwardInstances) {
    ParseResult r = ParseText(
        "ObjectBegin outer\nCube\nObjectInstance empty\nObjectInstance later\nCube\nObjectEnd\n"
        "ObjectBegin empty\nObjectEnd\n"
        "ObjectBegin later\nSphere 2 -2 2 360\nObjectEnd\n"
        "WorldBegin\nObjectInstance outer\nObjectInstance empty\nColor 0 0 1\nWorldEnd\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.calls, (Calls{"WorldBegin()", "Cube()", "Sphere(2,-2,2,360)", "Cube()", "Color((0 0 1))",
                              "WorldEnd()"}));
}

TEST(Objects, RecursionAndUnknownLabels) {
    EXPECT_EQ(ParseText("ObjectBegin a\nObjectInstance a\nObjectEnd\nWorldBegin\nObjectInstance a\nWorldEnd\n").status,
              kx::kErrRecursiveObject);
    EXPECT_EQ(ParseText("ObjectBegin a\nObjectInstance b\nObjectEnd\nObjectBegin b\nObjectInstance a\nObjectEnd\n"
                        "WorldBegin\nObjectInstance a\nWorldEnd\n")
                  .status,
              kx::kErrRecursiveObject);
    ParseResult r = ParseText("ObjectBegin a\nCube\nObjectInstance nowhere\nObjectEnd\nWorldBegin\nObjectInstance a\n"
                              "WorldEnd\n");
    EXPECT_EQ(r.status, kx::kErrUnknownObjectLabel);
    EXPECT_EQ(r.calls, (Calls{"WorldBegin()", "Cube()"}));
    EXPECT_EQ(ParseText("WorldBegin\nObjectInstance nowhere\n").status, kx::kErrUnknownObjectLabel);
}

TEST(Objects, DeepNestingDoesNotGrowTheStack) {
    // o0 instances o1 instances o2 ... each as its first command.
    const int depth = 20000;
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "ObjectBegin o" + std::to_string(i) + "\nObjectInstance o" + std::to_string(i + 1) + "\nObjectEnd\n";
    text += "ObjectBegin o" + std::to_string(depth) + "\nCube\nObjectEnd\n";
    text += "WorldBegin\nObjectInstance o0\nWorldEnd\n";
    ParseResult r = ParseText(text);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.calls, (Calls{"WorldBegin()", "Cube()", "WorldEnd()"}));
}

TEST(Objects, ReplayedDrawingCommandsReturnForRefresh) {
    kx::sceneParser().reset();
    kx::objectTable().reset();
    kx::displayState().reset();
    LogEngine::log().clear();
    kx::currentEngine().set(std::make_unique<LogEngine>());
    kx::sceneInput().openText("ObjectBegin a\nColor 1 1 1\nCube\nCube\nObjectEnd\nWorldBegin\nObjectInstance a\nWorldEnd\n");
    kx::displayState().perObjectRefresh = true;
    // Log sizes at each return: the recorded Cubes return too, then the
    // display start, then one return per replayed Cube.
    std::vector<size_t> sizes;
    int s;
    while ((s = kx::sceneParser().ParseStep()) == 0 || s == 2) sizes.push_back(s == 2 ? 100 : LogEngine::log().size());
    EXPECT_EQ(s, 1);
    EXPECT_EQ(sizes, (std::vector<size_t>{0, 0, 100, 3, 4}));
    kx::displayState().reset();
}
