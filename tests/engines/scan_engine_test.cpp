// The scan-convert engine: frames, camera, viewing matrices, backgrounds.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/transform.h"
#include "support/process_state.h"
#include "engines/scan/scan_engine.h"
#include "display/display.h"
#include "support/run.h"

namespace kx {
namespace {

// A device that records the calls the engine makes.
class RecordingDevice final : public DisplayDevice {
public:
    explicit RecordingDevice(std::vector<std::string>* log, int imageBeginResult = 0)
        : log_(log), imageBeginResult_(imageBeginResult) {}
    int DisplayOpen() override { return note("DisplayOpen"); }
    int DisplayClose() override { return note("DisplayClose"); }
    int ImageBegin(int frame) override {
        note("ImageBegin " + std::to_string(frame));
        return imageBeginResult_;
    }
    int ImageShow() override {
        note("ImageShow");
        return kErrEndOfFile;  // a file that cannot be written
    }
    int ImageClear() override { return note("ImageClear"); }
    int SetBackground(const ColorRGB&) override { return note("SetBackground"); }
    int ReadPixel(int, int, ColorRGB&) override { return note("ReadPixel"); }
    int WritePixel(int, int, const ColorRGB&) override { return note("WritePixel"); }

private:
    int note(const std::string& s) {
        log_->push_back(s);
        return 0;
    }
    std::vector<std::string>* log_;
    int imageBeginResult_;
};

class ScanTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        displayState().reset();
        transforms().reset();
        scanState().reset();
    }
    void UseRecorder(int imageBeginResult = 0) {
        displayState().device = std::make_unique<RecordingDevice>(&log, imageBeginResult);
    }
    std::vector<std::string> log;
    REScan scan{kx::process().context, kx::process().scan};
};

TEST_F(ScanTest, FramesShowOnlyTheBackground) {
    const std::string dir = kxtest::MakeTempDir();
    ASSERT_EQ(SetFormat(5, 3), 0);
    ASSERT_EQ(SelectDisplay(dir + "/frame", "PNM", "rgb"), 0);
    ASSERT_EQ(displayState().dev().DisplayOpen(), 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(scan.FrameBegin(1), 0);
    EXPECT_EQ(scan.Background(ColorRGB(0.5f, 1.0f, 0.25f)), 0);
    EXPECT_EQ(scan.WorldBegin(), 0);
    EXPECT_EQ(scan.Color(ColorRGB(1, 0, 0)), 0);
    EXPECT_EQ(scan.Sphere(1, -1, 1, 360), 0);
    EXPECT_EQ(scan.Sphere(2, -2, 2, 360), 0);
    EXPECT_EQ(scan.PolySet("P", 0, nullptr, 0, nullptr), 0);
    EXPECT_EQ(scan.Patch("P", 1, 1, nullptr), 0);
    EXPECT_EQ(scan.WorldEnd(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Sphere command not implemented. Ignoring.\n"
              "Sphere command not implemented. Ignoring.\n"
              "PolySet command not implemented. Ignoring.\n"
              "Option \"Bezier\" not implemented for Patch command. Ignoring.\n");

    const std::string file = dir + "/frame0001.ppm";
    kxtest::Image img = kxtest::ReadPPM(file);
    ASSERT_TRUE(img.ok);
    ASSERT_EQ(img.width, 5);
    ASSERT_EQ(img.height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(img.at(x, y)[0], 127);
            EXPECT_EQ(img.at(x, y)[1], 255);
            EXPECT_EQ(img.at(x, y)[2], 63);
        }

    // FrameEnd shows the image again; unchanged since WorldEnd wrote it, its
    // file is not written a second time.
    std::remove(file.c_str());
    EXPECT_EQ(scan.FrameEnd(), 0);
    EXPECT_FALSE(kxtest::FileExists(file));

    // The next frame starts from its own background.
    EXPECT_EQ(scan.FrameBegin(2), 0);
    EXPECT_EQ(scan.Background(ColorRGB(-1, 2, 0)), 0);
    EXPECT_EQ(scan.WorldBegin(), 0);
    EXPECT_EQ(scan.WorldEnd(), 0);
    img = kxtest::ReadPPM(dir + "/frame0002.ppm");
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(img.at(4, 2)[0], 0);
    EXPECT_EQ(img.at(4, 2)[1], 255);
    EXPECT_EQ(img.at(4, 2)[2], 0);
    displayState().dev().DisplayClose();
}

TEST_F(ScanTest, CallSequenceOnTheDevice) {
    UseRecorder();
    scan.FrameBegin(12);
    scan.Background(ColorRGB(1, 1, 1));
    EXPECT_EQ(scan.WorldBegin(), 0);
    EXPECT_EQ(scan.WorldEnd(), kErrEndOfFile);  // the failed show ends the run
    EXPECT_EQ(scan.FrameEnd(), kErrEndOfFile);
    EXPECT_EQ(log, (std::vector<std::string>{"SetBackground", "ImageBegin 12", "ImageShow", "ImageShow"}));
}

TEST_F(ScanTest, WorldBeginReturnsTheImageBeginFailure) {
    UseRecorder(kErrDisplayType);
    transforms().setIdentity();
    transforms().translate(Vector3(1, 2, 3));
    EXPECT_EQ(scan.WorldBegin(), kErrDisplayType);
    EXPECT_FALSE(scanState().started);
    EXPECT_EQ(transforms().M(0, 3), 1);  // nothing after the failure ran
}

TEST_F(ScanTest, FirstBeginSetsPerObjectRefreshOnce) {
    EXPECT_FALSE(displayState().perObjectRefresh);
    EXPECT_EQ(scan.Begin(), 0);
    EXPECT_TRUE(displayState().perObjectRefresh);
    EXPECT_TRUE(scanState().started);
    displayState().perObjectRefresh = false;
    EXPECT_EQ(scan.Begin(), 0);
    EXPECT_FALSE(displayState().perObjectRefresh);
    // A second engine of the same run shares the state.
    REScan other{kx::process().context, kx::process().scan};
    EXPECT_EQ(other.WorldBegin(), 0);
    EXPECT_FALSE(displayState().perObjectRefresh);
}

TEST_F(ScanTest, WorldBeginBuildsTheViewingMatrices) {
    UseRecorder();
    scan.XformPush();
    EXPECT_EQ(scan.WorldBegin(), 0);
    const TransformState& ts = transforms();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(ts.M.m[i], Matrix4::identity().m[i]);
        EXPECT_EQ(ts.Minv.m[i], Matrix4::identity().m[i]);
    }
    // Default camera, 640 x 480, fov 90, clipping 1 .. 1e9: a point straight
    // ahead lands in the image centre, the near plane at depth 0.
    const Matrix4& W = scanState().worldToScreen;
    HPoint centre = W * HPoint(0, 0, -1);
    EXPECT_FLOAT_EQ(centre.x / centre.w, 0.5f);
    EXPECT_FLOAT_EQ(centre.y / centre.w, 0.5f);
    EXPECT_FLOAT_EQ(centre.z / centre.w, 0.0f);
    // x = w * tan(45) * aspect at the right edge, y = w at the top.
    HPoint corner = W * HPoint(4.0f / 3.0f * 2, 2, -2);
    EXPECT_FLOAT_EQ(corner.x / corner.w, 1.0f);
    EXPECT_FLOAT_EQ(corner.y / corner.w, 1.0f);
    const Matrix4& D = scanState().viewport;
    HPoint pixel = D * HPoint(0.5f, 0.5f, 0.25f);
    EXPECT_EQ(pixel.x, 319.5f);
    EXPECT_EQ(pixel.y, 239.5f);
    EXPECT_EQ(pixel.z, 0.25f);
    HPoint topLeft = D * HPoint(0, 1, 0);
    EXPECT_EQ(topLeft.x, -0.5f);
    EXPECT_EQ(topLeft.y, -0.5f);
}

TEST_F(ScanTest, CameraAndClippingTakeEffectAtWorldBegin) {
    UseRecorder();
    SetFormat(100, 100);
    scan.CameraEye(Point3(0, 0, 5));
    scan.CameraAt(Point3(0, 0, 0));
    scan.CameraUp(Vector3(0, 1, 0));
    scan.CameraFOV(60);
    scan.Clipping(2, 10);
    EXPECT_EQ(transforms().camera.fov, 60);
    EXPECT_EQ(scanState().hither, 2);
    EXPECT_EQ(scanState().yon, 10);
    scan.WorldBegin();
    const Matrix4& W = scanState().worldToScreen;
    HPoint nearPoint = W * HPoint(0, 0, 3);  // 2 in front of the eye
    HPoint farPoint = W * HPoint(0, 0, -5);  // 10 in front of the eye
    EXPECT_NEAR(nearPoint.z / nearPoint.w, 0.0f, 1e-6f);
    EXPECT_NEAR(farPoint.z / farPoint.w, 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(nearPoint.x / nearPoint.w, 0.5f);
    // Camera settings persist into the next world.
    scan.WorldEnd();
    scan.WorldBegin();
    EXPECT_EQ(transforms().camera.eye.z, 5);
}

TEST_F(ScanTest, TransformsUseTheSharedStack) {
    transforms().setIdentity();
    EXPECT_EQ(scan.XformPop(), kErrTransformUnderflow);
    EXPECT_EQ(scan.XformPush(), 0);
    EXPECT_EQ(scan.Translate(Vector3(1, 2, 3)), 0);
    EXPECT_EQ(scan.Scale(Vector3(2, 2, 2)), 0);
    EXPECT_EQ(scan.RotateXY(90), 0);
    EXPECT_EQ(scan.RotateYZ(10), 0);
    EXPECT_EQ(scan.RotateZX(20), 0);
    EXPECT_EQ(transforms().M(1, 3), 2);
    EXPECT_EQ(scan.XformPop(), 0);
    EXPECT_EQ(transforms().M(1, 3), 0);
    EXPECT_EQ(transforms().M(0, 0), 1);
}

TEST_F(ScanTest, QuietAndNoticeOperations) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(scan.Display("a", "PNM", "rgb") + scan.Format(10, 10) + scan.Color(ColorRGB()) +
                  scan.OptionBool("Wireframe", true) + scan.OptionReal("Divisions", 3) + scan.Custom("x") +
                  scan.End(),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    scan.Surface("matte");
    scan.Ka(1);
    scan.PointLight(Point3(), ColorRGB(), 1);
    scan.Line(Point3(), Point3());
    scan.Curve("P", 1, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Surface command not implemented. Ignoring.\n"
              "Ka command not implemented. Ignoring.\n"
              "PointLight command not implemented. Ignoring.\n"
              "Line command not implemented. Ignoring.\n"
              "Option \"Bezier\" not implemented for Curve command. Ignoring.\n");
}

}  // namespace
}  // namespace kx
