// The statistics line and the progress line, written to a file that stands
// in for the error stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "interface/frame_stats.h"
#include "support/process_state.h"

using namespace kx;

namespace {

class FrameStatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        frameStats().reset();
        file_ = std::tmpfile();
        ASSERT_NE(file_, nullptr);
        frameStats().stream = file_;
    }
    void TearDown() override {
        frameStats().reset();
        std::fclose(file_);
    }
    std::string written() {
        std::fflush(file_);
        std::string text;
        std::rewind(file_);
        int c;
        while ((c = std::fgetc(file_)) != EOF) text += static_cast<char>(c);
        return text;
    }
    std::FILE* file_ = nullptr;
};

}  // namespace

TEST_F(FrameStatsTest, LineOnlyWhenEnabledAndCountsOnlyThen) {
    BeginFrameStats(5);
    CountPolygon();
    CountPixelShaded();
    CountRay();
    CountObject();
    ReportFrame({{"polygons", frameStats().polygons}});
    EXPECT_EQ(written(), "");
    EXPECT_EQ(frameStats().polygons, 0u);
    EXPECT_EQ(frameStats().pixels, 0u);
    EXPECT_EQ(frameStats().rays.load(), 0u);
    EXPECT_EQ(frameStats().objects, 1u);  // objects are counted always

    frameStats().enabled = true;
    BeginFrameStats(-2);
    EXPECT_EQ(frameStats().objects, 0u);
    for (int i = 0; i < 3; ++i) CountPolygon();
    for (int i = 0; i < 7; ++i) CountPixelShaded();
    CountRay();
    ReportFrame({{"polygons", frameStats().polygons}, {"pixels shaded", frameStats().pixels},
                 {"rays cast", frameStats().rays.load()}});
    std::string text = written();
    EXPECT_TRUE(std::regex_match(
        text, std::regex("Statistics: frame -2, [0-9]+\\.[0-9]{3} s, polygons 3, pixels shaded 7, rays cast 1\n")))
        << text;
}

TEST_F(FrameStatsTest, ProgressRewritesOneLineAndClearsIt) {
    frameStats().terminal = 1;
    for (int row = 1; row <= 8; ++row) ReportRowsDone(row, 8);
    EXPECT_EQ(written(),
              "\rTracing:  12%\rTracing:  25%\rTracing:  37%\rTracing:  50%\rTracing:  62%\rTracing:  75%"
              "\rTracing:  87%\r             \r");
}

TEST_F(FrameStatsTest, ProgressWritesOnlyWhenThePercentageChanges) {
    frameStats().terminal = 1;
    for (int row = 1; row <= 1000; ++row) ReportRowsDone(row, 1000);
    std::string text = written();
    size_t lines = 0;
    for (size_t at = text.find("Tracing:"); at != std::string::npos; at = text.find("Tracing:", at + 1)) ++lines;
    EXPECT_EQ(lines, 100u);  // 0% to 99%
    EXPECT_EQ(text.substr(text.size() - 15), "\r             \r");
}

TEST_F(FrameStatsTest, StatisticsLineClearsAnUnfinishedProgressLine) {
    frameStats().terminal = 1;
    frameStats().enabled = true;
    BeginFrameStats(0);
    ReportRowsDone(1, 2);
    ReportFrame({});
    std::string text = written();
    EXPECT_TRUE(std::regex_match(text, std::regex("\rTracing:  50%\r {13}\rStatistics: frame 0, [0-9.]+ s\n"))) << text;
    ClearProgress();  // nothing shown: nothing written
    EXPECT_EQ(written(), text);
}

TEST_F(FrameStatsTest, NoProgressOffATerminal) {
    frameStats().terminal = 0;
    for (int row = 1; row <= 8; ++row) ReportRowsDone(row, 8);
    ReportRowsDone(1, 0);
    EXPECT_EQ(written(), "");
    // A file is no terminal: asked once, nothing written.
    frameStats().terminal = -1;
    ReportRowsDone(1, 8);
    EXPECT_EQ(frameStats().terminal, 0);
    EXPECT_EQ(written(), "");
}
