// The scene input where reading it goes wrong: numbers longer than a
// token, line numbers beyond the range of 32 bits, and a stream that fails
// in the middle.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/errors.h"
#include "scene/input.h"
#include "scene/input_former_names.h"
#include "display/display.h"
#include "shell/run.h"
#include "support/process_state.h"

// The assertions read the input under its former names.
using SceneInput = kxtest::SceneInputFormerNames;

// Digit runs are tokens too: a number longer than a word may be fails the
// input, and the value is 0, as for a malformed number.
TEST(Input, NumbersLongerThanAToken) {
    const std::string zeros(kx::kMaxTokenLength, '0');
    SceneInput in;
    in.openText("0." + zeros.substr(2) + " " + zeros + "1 2");
    double d = 5;
    in.extractDouble(d);
    EXPECT_EQ(d, 0);
    EXPECT_FALSE(in.Failed());
    int i = 5;
    in.extractInt(i);
    EXPECT_EQ(i, 0);
    EXPECT_TRUE(in.Failed());
    in.openText("-0." + zeros + "1 2");
    float f = 5;
    in.extractFloat(f);
    EXPECT_EQ(f, 0);
    EXPECT_TRUE(in.Failed());
}

TEST(Input, LineNumbersPastTwoToTheThirtyOne) {
    SceneInput in;
    in.openText("\n# comment\n\nWord");
    in.line = INT_MAX;
    in.skipBlank();
    EXPECT_EQ(in.line, 2147483650LL);
    EXPECT_EQ(kx::FormatError(kx::kErrUnrecognizedSymbol, "scene.kx", in.line),
              "Error in scene.kx on line 2147483650: Unrecognized symbol\n");
}

namespace {

// A stream that gives its text and then fails with an I/O error, as a disk
// or a network file system may in the middle of a file.
struct FailingSource {
    std::string text;
    size_t pos = 0;
};

ssize_t ReadThenFail(void* cookie, char* buffer, size_t size) {
    auto* source = static_cast<FailingSource*>(cookie);
    if (source->pos == source->text.size()) {
        errno = EIO;
        return -1;
    }
    size_t n = std::min(size, source->text.size() - source->pos);
    std::memcpy(buffer, source->text.data() + source->pos, n);
    source->pos += n;
    return static_cast<ssize_t>(n);
}

}  // namespace

// A read error is no end of file: the run names the file and the reason and
// fails, also where the scene could have ended; a command cut short by it is
// not run.
TEST(Input, AReadErrorInTheMiddleOfTheFileEndsTheRun) {
    struct Case {
        std::string text;
        int line;
        int width;  // of the last Format run
    };
    for (const Case& c : {Case{"Format 4 4\nFormat 2 2\n", 3, 2}, Case{"Format 4 4\nFrameBegin 1\n", 3, 4},
                          Case{"Format 4 4\nFormat 2 2", 2, 4}, Case{"Format 4 4\nForm", 2, 4}}) {
        FailingSource source{c.text};
        std::FILE* f = fopencookie(&source, "r", cookie_io_functions_t{ReadThenFail, nullptr, nullptr, nullptr});
        ASSERT_NE(f, nullptr);
        kx::process().reset();
        kx::sceneInput().openStream(f, "scene.kx");
        testing::internal::CaptureStderr();
        int status = kx::RunOpenedScene(kx::process(), "scene.kx");
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, kx::kErrEndOfFile) << c.text;
        EXPECT_EQ(err, "cannot read scene.kx: Input/output error\nError in scene.kx on line " + std::to_string(c.line) +
                           ": Unexepected end of file\n")
            << c.text;
        EXPECT_EQ(kx::displayState().width, c.width) << c.text;
    }
    kx::process().reset();
}
