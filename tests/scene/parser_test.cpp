#include <gtest/gtest.h>

#include "core/errors.h"
#include "scene/log_engine.h"

using namespace kxtest;
using Calls = std::vector<std::string>;

namespace {

const char* kWorld = "WorldBegin\n";

ParseResult InWorld(const std::string& body) { return ParseText(std::string(kWorld) + body + "\nWorldEnd\n"); }

}  // namespace

TEST(Parser, DispatchesCommandsInFileOrder) {
    ParseResult r = ParseText(
        "Format 320 240\nFrameBegin 3\nCameraEye 1 2 3\nCameraFOV 45\nWorldBegin\nColor 1 0.5 0\n"
        "Translate 1 2 3\nSphere 1 -1 1 360\nWorldEnd\nFrameEnd\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.calls, (Calls{"Format(320,240)", "FrameBegin(3)", "CameraEye((1 2 3))", "CameraFOV(45)", "WorldBegin()",
                              "Color((1 0.5 0))", "Translate((1 2 3))", "Sphere(1,-1,1,360)", "WorldEnd()",
                              "FrameEnd()"}));
    EXPECT_EQ(kx::displayState().width, 320);
    EXPECT_EQ(kx::displayState().height, 240);
}

TEST(Parser, FirstWorldBeginAsksForTheDisplayOnce) {
    kx::sceneParser().reset();
    kx::objectTable().reset();
    LogEngine::log().clear();
    kx::currentEngine().set(std::make_unique<LogEngine>());
    kx::sceneInput().openText("WorldBegin\nWorldEnd\nWorldBegin\nWorldEnd\n");
    EXPECT_EQ(kx::sceneParser().ParseStep(), 2);
    EXPECT_TRUE(LogEngine::log().empty());
    EXPECT_EQ(kx::sceneParser().ParseStep(), 1);
    EXPECT_EQ(LogEngine::log(), (Calls{"WorldBegin()", "WorldEnd()", "WorldBegin()", "WorldEnd()"}));
}

TEST(Parser, ContextRules) {
    struct Case {
        const char* text;
        int status;
    } cases[] = {
        {"Torus 1 0.5 0 360 360\n", kx::kErrIllegalContext},          // not at top level
        {"FrameBegin 1\nTorus 1 0.5 0 360 360\nFrameEnd\n", 1},         // but inside a frame
        {"FrameBegin 1\nSphere 1 -1 1 360\nFrameEnd\n", kx::kErrIllegalContext},
        {"Ka 1\n", kx::kErrIllegalContext},
        {"Color 1 1 1\nMapLoad a b\nOptionReal x 1\nOptionBool x on\nOptionString x y\nOptionArray x 1 2\n", 1},
        {"ObjectBegin o\nCircle 0 0 0 1\nObjectEnd\n", kx::kErrIllegalContext},
        {"ObjectBegin o\nFill 0 0 0\nObjectEnd\n", kx::kErrIllegalContext},
        {"ObjectBegin o\nPointLight 0 0 0 1 1 1 1\nObjectEnd\n", kx::kErrIllegalContext},
        {"ObjectBegin o\nAmbientLight 1 1 1 1\nObjectEnd\n", kx::kErrIllegalContext},
        {"WorldBegin\nFrameEnd\n", kx::kErrIllegalContext},             // context before interleaving
        {"WorldBegin\nFrameBegin 1\n", kx::kErrIllegalContext},
        {"FrameBegin 1\nWorldBegin\nWorldBegin\n", kx::kErrIllegalContext},
        {"WorldBegin\nObjectBegin o\n", kx::kErrIllegalContext},
        {"ObjectEnd\n", kx::kErrIllegalContext},
        {"FrameEnd\n", kx::kErrIllegalContext},
        {"WorldEnd\n", kx::kErrIllegalContext},
        {"ObjectInstance o\n", kx::kErrIllegalContext},
        {"WorldBegin\nDisplay a PNM rgb\n", kx::kErrIllegalContext},
        {"FrameBegin 1\nEngine direct\n", kx::kErrIllegalContext},
        {"FrameBegin 1\nWorldBegin\nWorldEnd\n", kx::kErrEndOfFile},   // a frame left open
        {"ObjectBegin o\n", kx::kErrEndOfFile},
        {"Sphere\n", kx::kErrIllegalContext},
        {"sphere 1 1 1 1\n", kx::kErrUnrecognizedSymbol},
        {"WorldBegin\nCircle 0 0 0 1\nFill 0 0 0\nWorldEnd\n", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseText(c.text).status, c.status) << c.text;
}

TEST(Parser, EndCommandsCloseTheirBlockEvenWhenTheEngineFails) {
    ParseResult r = ParseText("FrameBegin 1\nWorldBegin\nWorldEnd\nFrameEnd\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(kx::sceneParser().blocks.size(), 0u);
}

TEST(Parser, ObjectEndWithOpenWorldIsInterleaving) {
    // ObjectEnd is allowed whenever a definition is open; the innermost block
    // must be the definition.
    kx::sceneParser().reset();
    kx::sceneParser().objectDepth = 1;
    kx::sceneParser().blocks = {kx::kBlockObject, kx::kBlockFrame};
    kx::objectTable().reset();
    kx::currentEngine().set(std::make_unique<LogEngine>());
    kx::sceneInput().openText("ObjectEnd\n");
    EXPECT_EQ(kx::sceneParser().ParseStep(), kx::kErrBlockInterleaving);
}

TEST(Parser, RotateAxesAndBooleanWords) {
    ParseResult r = ParseText(
        "FrameBegin 1\nRotate \"X\" 10\nRotate \"y\" 20\nRotate \"Z\"\n 30\nOptionBool a yes\nOptionBool b 0\n"
        "OptionBool c true\nOptionBool d off\nFrameEnd\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.calls, (Calls{"FrameBegin(1)", "RotateYZ(10)", "RotateZX(20)", "RotateXY(30)", "OptionBool('a',1)",
                              "OptionBool('b',0)", "OptionBool('c',1)", "OptionBool('d',0)", "FrameEnd()"}));
    EXPECT_EQ(ParseText("FrameBegin 1\nRotate X 10\n").status, kx::kErrRotationAxis);
    EXPECT_EQ(ParseText("FrameBegin 1\nRotate \"w\" 10\n").status, kx::kErrRotationAxis);
    EXPECT_EQ(ParseText("OptionBool a On\n").status, kx::kErrBadBoolean);
}

TEST(Parser, OptionListConsumesNothing) {
    ParseResult r = ParseText("OptionList Color 1 1 1\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.calls, (Calls{"Color((1 1 1))"}));
}

TEST(Parser, CustomInsideADefinitionIsDropped) {
    ParseResult r = ParseText("ObjectBegin o\nCustom \"hello\"\nCube\nObjectEnd\nWorldBegin\nObjectInstance o\n"
                              "Custom bye\nWorldEnd\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.calls, (Calls{"WorldBegin()", "Cube()", "Custom('bye')", "WorldEnd()"}));
}

TEST(Parser, MalformedNumberRunsTheCommandThenFailsOnTheNextWord) {
    ParseResult r = ParseText("Color 1 x 0\nColor 1 1 1\n");
    EXPECT_EQ(r.status, kx::kErrUnrecognizedSymbol);
    EXPECT_EQ(r.calls, (Calls{"Color((1 0 0))"}));
}

TEST(Parser, CommandCutShortByTheEndOfInputIsAnError) {
    ParseResult r = ParseText("Color 1 0");
    EXPECT_EQ(r.status, kx::kErrEndOfFile);
    EXPECT_TRUE(r.calls.empty());
}

TEST(Parser, NumbersFollowStreamExtraction) {
    ParseResult r = ParseText("Color +1.5e0 .5 -2.\nColor 1e 0 0\n");
    EXPECT_EQ(r.status, kx::kErrUnrecognizedSymbol);  // "1e" is no number
    ASSERT_EQ(r.calls.size(), 2u);
    EXPECT_EQ(r.calls[0], "Color((1.5 0.5 -2))");
    EXPECT_EQ(r.calls[1], "Color((0 0 0))");
    // A number ends where its characters end; the rest is the next word.
    EXPECT_EQ(ParseText("Color 1 1 1Color 0 0 0\n").calls, (Calls{"Color((1 1 1))", "Color((0 0 0))"}));
}

TEST(Parser, AmbientLightPassesTheNarrowedIntensity) {
    ParseResult r = InWorld("AmbientLight 1 0.5 0 0.1");
    EXPECT_EQ(r.calls[1], "AmbientLight((1 0.5 0),0.1)");
}

TEST(Parser, SpecularAllowsLineBreaks) {
    ParseResult r = InWorld("Specular\n1 1 1\n20");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.calls[1], "Specular((1 1 1),20)");
}
