// The scene input: the scene file (or standard input), the line counter, the
// token pushback stack and the vertex index buffer. Reads follow the C++
// stream conventions of the format: words end at white space, numbers are
// read by the formatted-extraction rules, a malformed number puts the input
// into a failed state in which every later read yields nothing.
//
// No word or number may be longer than kMaxTokenLength characters: one that
// is fails the input as a malformed number does (the word read is empty),
// so an endless token ends the run at once and in constant memory.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/unset_elements.h"
#include "scene/numbers.h"

namespace kx {

constexpr size_t kMaxTokenLength = 4096;

class SceneInput {
public:
    SceneInput() = default;
    ~SceneInput() { close(); }
    SceneInput(const SceneInput&) = delete;
    SceneInput& operator=(const SceneInput&) = delete;

    // "-" is standard input. 0 or -2.
    int open(const std::string& name);
    // Reads from a stream opened by the caller, which the input closes;
    // read errors are reported under name. Always succeeds.
    int openStream(std::FILE* file, const std::string& name);
    // Opens an in-memory text (tests, fuzzing). Always succeeds.
    int openText(std::string text);
    void close();
    bool isOpen() const { return file_ != nullptr || memory_; }

    // Skips blanks and comments, counting line feeds. Inline, the blanks
    // before a word within the chunk at hand; the rest in skipBlankRest().
    void skipBlank() {
        if (!fail_) {
            const char* data = buffer_.data();
            size_t p = pos_;
            for (; p < len_; ++p) {
                const char c = data[p];
                if (c == '\n')
                    ++line;
                else if (c != ' ' && c != '\t' && c != '\r')
                    break;
            }
            pos_ = p;
            if (p < len_ && data[p] != '#') return;
        }
        skipBlankRest();
    }
    // 0, or -1 at end of input.
    int readToken(std::string& word);
    // Words read in place while they are numbers that Read takes as a plain
    // decimal (numbers.h), each as skipBlank(), readToken() and a conversion
    // of the word would give it: nothing pushed back, the input neither
    // failed nor at its end, the blanks before the word free of comments,
    // and the word whole in the chunk at hand, ended by white space there.
    // Each value goes to take(value), and the reading goes on while take
    // returns true. Returns how many words were taken; where it stops short
    // the input is at the next word or at blanks before it.
    template <typename T, bool (*Read)(const char*, const char*&, T&), typename Take>
    long long takePlainWords(Take&& take) {
        if (fail_ || eof_ || !pushback_.empty() || pos_ >= len_) return 0;
        const char* data = buffer_.data();  // the chunk is followed by a 0 and more
        size_t p = pos_, word = 0;
        long long lines = 0, taken = 0;
        for (;;) {
            char c;
            while ((c = data[p]) == ' ' || c == '\n' || c == '\t' || c == '\r') {
                lines += c == '\n';
                ++p;
            }
            const char* end;
            T value;
            if (p >= len_ || !Read(data + p, end, value)) break;
            const size_t at = static_cast<size_t>(end - data);
            c = *end;
            if (at >= len_ || at - p > kMaxTokenLength ||
                !(c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'))
                break;
            word = p;
            p = at;
            ++taken;
            if (!take(value)) break;
        }
        pos_ = p;
        line += lines;
        if (taken > 0) wordStart_ = consumedBase_ + word;
        return taken;
    }
    void pushToken(const std::string& word) { pushback_.push_back(word); }
    // 0, -1 (end of input) or -5 (runaway string).
    int readString(std::string& text);
    bool atEnd() const { return eof_; }
    bool hasPushback() const { return !pushback_.empty(); }
    bool failed() const { return fail_; }
    // The system's error number when reading the input failed (the input
    // then ends there, and "cannot read <name>: <reason>" was printed on
    // standard error); 0 otherwise.
    int readError() const { return readError_; }

    // Formatted extraction (leading white space skipped, not counted).
    void extractWord(std::string& word);
    void extractInt(int& value);
    void extractFloat(float& value);
    void extractDouble(double& value);

    long long line = 0;

    // The shared index buffer of the vertex-list commands. It lives in
    // malloc'd memory so that growing it can move pages instead of copying
    // them into a second buffer (the peak memory of a big mesh).
    struct FreeDeleter {
        void operator()(int* p) const { std::free(p); }
    };
    std::unique_ptr<int[], FreeDeleter> indexBuffer;
    int indexCapacity = 0;
    // Grows the index buffer by the factor 1.4; false when memory ran out.
    bool growIndexBuffer();

    // The number of bytes consumed so far (tests, statistics).
    size_t consumed() const { return consumedBase_ + pos_; }

    // Where reading stopped, for a report on a terminal: the text of the
    // line that holds the last word read (at the end of the input, the last
    // line with text, and the end of it), and below it a caret under that
    // place, each ended by a line end. Characters that could steer a
    // terminal are shown as '?'. Empty when the line is no longer at hand.
    std::string contextLines(bool atEndOfInput) const;

private:
    void skipBlankRest();
    int get();  // next byte or EOF (sets eof and fail at the end)
    int peek();
    void unget() {
        if (pos_ > 0) --pos_;
    }
    bool refill();
    int adopt(std::FILE* file, bool owns, const std::string& name);
    void skipSpace();  // formatted-extraction white space
    // Collects the characters of a number as the stream extraction would.
    void takeSign(std::string& out);
    bool takeDigits(std::string& out);
    bool collectInteger(std::string& out);
    bool collectFloat(std::string& out);
    template <typename T>
    void extractReal(T& value);

    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    bool memory_ = false;
    // Leaves the bytes it makes as they are: a read writes a chunk before it
    // is looked at, and a small scene touches one page of it, not sixteen.
    template <class T>
    struct UnsetAllocator : std::allocator<T>, UnsetElements {
        UnsetAllocator() = default;
        template <class U>
        UnsetAllocator(const UnsetAllocator<U>&) {}
    };
    // The chunk, then numbers::kReadAhead bytes or more, all 0 (past the
    // chunk's end, those are the bytes a number's digits may be read into).
    std::vector<char, UnsetAllocator<char>> buffer_;
    size_t pos_ = 0;
    size_t len_ = 0;
    size_t consumedBase_ = 0;
    bool eof_ = false;
    bool fail_ = false;
    int readError_ = 0;
    std::string name_;  // for read errors
    std::vector<std::string> pushback_;
    std::string scratch_;
    // The error context: where the last word began, and the part of its
    // line that lay in the chunks already read over (at most kLineTail
    // bytes, starting at offset lineTailStart_).
    size_t wordStart_ = 0;
    std::string lineTail_, nextLineTail_;
    size_t lineTailStart_ = 0;
    void keepLineTail();
};

}  // namespace kx
