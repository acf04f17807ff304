#include <gtest/gtest.h>

#include "core/errors.h"
#include "scene/input.h"
#include "scene/input_former_names.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

// The assertions read the input under its former names.
using SceneInput = kxtest::SceneInputFormerNames;

namespace {

std::string ReadOneString(const std::string& text, int* status = nullptr, int* line = nullptr) {
    SceneInput in;
    in.openText(text);
    std::string s;
    int st = in.readString(s);
    if (status) *status = st;
    if (line) *line = in.line;
    return s;
}

}  // namespace

TEST(Input, SkipBlankCountsLinesAndComments) {
    SceneInput in;
    in.openText(" \t\r\n# a comment # with more\n\n  word");
    in.skipBlank();
    EXPECT_EQ(in.line, 4);
    std::string w;
    EXPECT_EQ(in.ReadToken(w), 0);
    EXPECT_EQ(w, "word");
    in.skipBlank();
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(in.ReadToken(w), kx::kErrEndOfFile);
}

TEST(Input, HashInsideAWordBelongsToTheWord) {
    SceneInput in;
    in.openText("a#b # c\nd");
    std::string w;
    in.skipBlank();
    in.readToken(w);
    EXPECT_EQ(w, "a#b");
    in.skipBlank();
    in.readToken(w);
    EXPECT_EQ(w, "d");
    EXPECT_EQ(in.line, 2);
}

TEST(Input, FormFeedStopsSkipBlankButNotExtraction) {
    SceneInput in;
    in.openText("\f word");
    in.skipBlank();
    std::string w;
    in.readToken(w);  // the word extraction skips the form feed itself
    EXPECT_EQ(w, "word");
}

TEST(Input, ExtractionDoesNotCountLines) {
    SceneInput in;
    in.openText("1\n2\n3\nx");
    float a, b, c;
    in.extractFloat(a);
    in.extractFloat(b);
    in.extractFloat(c);
    EXPECT_EQ(in.line, 1);
    EXPECT_EQ(c, 3);
    in.skipBlank();
    EXPECT_EQ(in.line, 2);
}

TEST(Input, PushedBackTokensComeFirstLastInFirstOut) {
    SceneInput in;
    in.openText("stream");
    in.pushToken("one");
    in.pushToken("two");
    std::string w;
    in.readToken(w);
    EXPECT_EQ(w, "two");
    in.readToken(w);
    EXPECT_EQ(w, "one");
    in.readToken(w);
    EXPECT_EQ(w, "stream");
}

TEST(Input, QuotedAndBareStrings) {
    int status = 0, line = 0;
    EXPECT_EQ(ReadOneString("\"two words\" x", &status), "two words");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadOneString("bare\"quote rest", &status), "bare\"quote");
    EXPECT_EQ(ReadOneString("crlf\r\nnext", &status), "crlf\r");  // a carriage return is kept
    EXPECT_EQ(ReadOneString("\"line\nbreak\" ", &status, &line), "line\nbreak");
    EXPECT_EQ(line, 1);  // a line feed inside quotes is not counted
    EXPECT_EQ(ReadOneString("\"cont\\\ninued\" ", &status, &line), "continued");
    EXPECT_EQ(line, 2);
}

TEST(Input, Escapes) {
    EXPECT_EQ(ReadOneString("\"\\n\\t\\r\\a\\b\\f\\v\\\\\\'\\\"\\q\" "), std::string("\n\t\r\a\b\f\v\\'\"q"));
    EXPECT_EQ(ReadOneString("\"a\\0b\" "), std::string("a\0b", 3));
    EXPECT_EQ(ReadOneString("\"\\101x\" "), "Ax");
    EXPECT_EQ(ReadOneString("\"\\x9z\" "), "\tz");
}

TEST(Input, StringAtTheVeryEndReportsEndOfFile) {
    int status = 0;
    EXPECT_EQ(ReadOneString("bare", &status), "bare");
    EXPECT_EQ(status, kx::kErrEndOfFile);
    ReadOneString("   ", &status);
    EXPECT_EQ(status, kx::kErrEndOfFile);
}

TEST(Input, RunawayString) {
    int status = 0;
    std::string s299(299, 'a'), s300(300, 'a');
    EXPECT_EQ(ReadOneString("\"" + s299 + "\" ", &status), s299);
    EXPECT_EQ(status, 0);
    ReadOneString("\"" + s300 + "\" ", &status);
    EXPECT_EQ(status, kx::kErrRunawayString);
    ReadOneString(std::string(1, '"').append(100, 'a'), &status);  // unterminated at the end
    EXPECT_EQ(status, kx::kErrEndOfFile);
    ReadOneString(std::string(1, '"').append(1000, 'a'), &status);
    EXPECT_EQ(status, kx::kErrRunawayString);
}

TEST(Input, IntegerExtraction) {
    SceneInput in;
    in.openText("42 -7 +3 99999999999 5");
    int v = 0;
    in.extractInt(v);
    EXPECT_EQ(v, 42);
    in.extractInt(v);
    EXPECT_EQ(v, -7);
    in.extractInt(v);
    EXPECT_EQ(v, 3);
    in.extractInt(v);
    EXPECT_EQ(v, INT_MAX);
    EXPECT_TRUE(in.Failed());
    v = 17;
    in.extractInt(v);  // a failed input changes nothing
    EXPECT_EQ(v, 17);
}

TEST(Input, FileAndStandardInput) {
    SceneInput in;
    EXPECT_EQ(in.open("/nonexistent/scene.kx"), kx::kErrFileNotFound);
    EXPECT_EQ(in.line, 0);
    EXPECT_EQ(in.open("-"), 0);
    EXPECT_EQ(in.line, 1);
    EXPECT_EQ(in.indexCapacity, 50000);
}

TEST(Input, IndexBufferGrowsByFourTenths) {
    SceneInput in;
    in.openText("");
    in.indexBuffer[49999] = 7;
    ASSERT_TRUE(in.growIndexBuffer());
    EXPECT_EQ(in.indexCapacity, 70000);
    EXPECT_EQ(in.indexBuffer[49999], 7);
}

TEST(Input, LongWordsAcrossBufferBoundaries) {
    // Words as long as a word may be, one of them across the boundary of
    // the reader's 64 KiB blocks, and one a character longer.
    const std::string big(kx::kMaxTokenLength, 'x');
    const std::string longer(kx::kMaxTokenLength + 1, 'y');
    SceneInput in;
    char path[] = "/tmp/kxinputXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string text = "  " + big + std::string(65536 - 2 - 2 * big.size() / 3, ' ') + big + " tail " + longer + " z";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    ASSERT_EQ(in.open(path), 0);
    std::string w;
    for (int k = 0; k < 2; ++k) {
        in.skipBlank();
        in.readToken(w);
        EXPECT_EQ(w, big);
    }
    in.skipBlank();
    in.readToken(w);
    EXPECT_EQ(w, "tail");
    EXPECT_FALSE(in.Failed());
    in.skipBlank();
    in.readToken(w);
    EXPECT_EQ(w, "");  // too long: the input fails as for a malformed number
    EXPECT_TRUE(in.Failed());
    EXPECT_EQ(in.consumed(), text.size() - 2);  // and reads no further
    unlink(path);
}
