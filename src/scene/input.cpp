#include "scene/input.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/errors.h"
#include "core/printable.h"
#include "scene/numbers.h"

namespace kx {

namespace {

constexpr size_t kChunk = 1 << 16;
constexpr int kInitialIndexCapacity = 50000;
constexpr int kRunawayLength = 300;
// The most of one line kept from earlier chunks for an error report.
constexpr size_t kLineTail = 1024;

inline bool IsStreamSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
using numbers::IsDigit;
inline bool IsOctal(int c) { return c >= '0' && c <= '7'; }
inline int HexValue(int c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

int SceneInput::open(const std::string& name) {
    if (name == "-") return adopt(stdin, false, "standard input");
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return kErrFileNotFound;
    return adopt(f, true, name);
}

int SceneInput::openStream(std::FILE* file, const std::string& name) { return adopt(file, true, name); }

int SceneInput::adopt(std::FILE* file, bool owns, const std::string& name) {
    close();
    file_ = file;
    ownsFile_ = owns;
    memory_ = false;
    name_ = name;
    buffer_.resize(kChunk + numbers::kReadAhead);
    std::memset(buffer_.data(), 0, numbers::kReadAhead);
    pos_ = len_ = consumedBase_ = 0;
    eof_ = fail_ = false;
    readError_ = 0;
    pushback_.clear();
    wordStart_ = lineTailStart_ = 0;
    lineTail_.clear();
    line = 1;
    indexBuffer.reset(static_cast<int*>(std::malloc(sizeof(int) * kInitialIndexCapacity)));
    indexCapacity = indexBuffer ? kInitialIndexCapacity : 0;
    return 0;
}

int SceneInput::openText(std::string text) {
    close();
    memory_ = true;
    buffer_.assign(text.begin(), text.end());
    pos_ = 0;
    len_ = buffer_.size();
    buffer_.resize(len_ + numbers::kReadAhead, 0);
    consumedBase_ = 0;
    eof_ = fail_ = false;
    readError_ = 0;
    pushback_.clear();
    wordStart_ = lineTailStart_ = 0;
    lineTail_.clear();
    line = 1;
    indexBuffer.reset(static_cast<int*>(std::malloc(sizeof(int) * kInitialIndexCapacity)));
    indexCapacity = indexBuffer ? kInitialIndexCapacity : 0;
    return 0;
}

void SceneInput::close() {
    if (file_ && ownsFile_) std::fclose(file_);
    file_ = nullptr;
    ownsFile_ = false;
    memory_ = false;
    buffer_.clear();
    buffer_.shrink_to_fit();
    pos_ = len_ = 0;
    indexBuffer.reset();
    indexCapacity = 0;
}

bool SceneInput::growIndexBuffer() {
    long long grown = static_cast<long long>(indexCapacity * 1.4);
    if (grown <= indexCapacity) grown = indexCapacity + 16;
    if (grown > INT_MAX) grown = INT_MAX;
    if (grown <= indexCapacity) return false;
    int* fresh = static_cast<int*>(std::realloc(indexBuffer.get(), sizeof(int) * static_cast<size_t>(grown)));
    if (!fresh) return false;  // the old buffer stays as it was
    (void)indexBuffer.release();
    indexBuffer.reset(fresh);
    indexCapacity = static_cast<int>(grown);
    return true;
}

// The end of the current chunk's last line goes before the next chunk, so
// that an error report can still show the whole line.
void SceneInput::keepLineTail() {
    const char* data = buffer_.data();
    size_t from = 0;
    for (size_t i = len_; i > 0; --i)
        if (data[i - 1] == '\n') {
            from = i;
            break;
        }
    if (from > 0) nextLineTail_.clear();
    else nextLineTail_ = lineTail_;
    nextLineTail_.append(data + from, len_ - from);
    if (nextLineTail_.size() > kLineTail) nextLineTail_.erase(0, nextLineTail_.size() - kLineTail);
}

bool SceneInput::refill() {
    if (memory_ || !file_ || readError_ != 0) return false;
    keepLineTail();
    const int fd = fileno(file_);
    for (;;) {
        size_t n = 0;
        int error = 0;
        if (fd >= 0) {
            // What is there, without waiting for a whole block: a scene that
            // arrives through a pipe or a terminal is parsed as it comes.
            ssize_t got = read(fd, buffer_.data(), kChunk);
            if (got < 0)
                error = errno;
            else
                n = static_cast<size_t>(got);
        } else {
            errno = 0;
            n = std::fread(buffer_.data(), 1, kChunk, file_);
            if (std::ferror(file_)) error = errno != 0 ? errno : EIO;
            std::clearerr(file_);
        }
        // Bytes read before a failure count; the next read meets it again.
        if (error == 0 || n > 0) {
            // At the end the last chunk stays in place (consumed() is unchanged).
            if (n == 0) return false;
            consumedBase_ += len_;
            pos_ = 0;
            len_ = n;
            std::memset(buffer_.data() + len_, 0, numbers::kReadAhead);
            lineTail_.swap(nextLineTail_);
            lineTailStart_ = consumedBase_ - lineTail_.size();
            return true;
        }
        if (error == EINTR) continue;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            // A non-blocking descriptor: wait for the bytes, as a blocking one would.
            pollfd ready{fd, POLLIN, 0};
            if (fd >= 0 && (poll(&ready, 1, -1) >= 0 || errno == EINTR)) continue;
        }
        // The input ends here, and whatever was being read is cut short.
        readError_ = error;
        eof_ = fail_ = true;
        std::string text = "cannot read " + PrintableName(name_) + ": " + std::strerror(error) + "\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
        return false;
    }
}

int SceneInput::get() {
    if (fail_) return EOF;
    if (pos_ >= len_ && !refill()) {
        eof_ = fail_ = true;
        return EOF;
    }
    return static_cast<unsigned char>(buffer_[pos_++]);
}

int SceneInput::peek() {
    if (fail_ || eof_) return EOF;
    if (pos_ >= len_ && !refill()) {
        eof_ = true;
        return EOF;
    }
    return static_cast<unsigned char>(buffer_[pos_]);
}

void SceneInput::skipBlankRest() {
    bool comment = false;
    long long lines = 0;
    while (!fail_) {
        if (pos_ >= len_ && !refill()) {
            eof_ = fail_ = true;
            break;
        }
        const char* data = buffer_.data();
        size_t p = pos_;
        for (; p < len_; ++p) {
            const char c = data[p];
            if (c == '\n') {
                ++lines;
                comment = false;
            } else if (!comment && c != ' ' && c != '\t' && c != '\r') {
                if (c != '#') {
                    pos_ = p;
                    line += lines;
                    return;
                }
                comment = true;
            }
        }
        pos_ = p;
    }
    line += lines;
}

int SceneInput::readToken(std::string& word) {
    if (!pushback_.empty()) {
        word = std::move(pushback_.back());
        pushback_.pop_back();
        return 0;
    }
    if (eof_) return kErrEndOfFile;
    extractWord(word);
    return 0;
}

int SceneInput::readString(std::string& text) {
    text.clear();
    skipBlank();
    if (eof_) return kErrEndOfFile;
    wordStart_ = consumed();
    int c = get();
    if (c == EOF) return eof_ ? kErrEndOfFile : 0;
    const bool quoted = (c == '"');
    if (!quoted) unget();
    int count = 0;
    for (;;) {
        if (count >= kRunawayLength) return eof_ ? kErrEndOfFile : kErrRunawayString;
        c = get();
        if (c == EOF) break;
        ++count;
        if (c == '"') {
            if (quoted) break;
            text += '"';
            continue;
        }
        if (!quoted && (c == '\t' || c == '\n' || c == ' ')) {
            unget();
            break;
        }
        if (c != '\\') {
            text += static_cast<char>(c);
            continue;
        }
        int e = get();
        if (e == EOF) break;
        ++count;
        switch (e) {
            case 'n': text += '\n'; break;
            case 't': text += '\t'; break;
            case 'r': text += '\r'; break;
            case 'a': text += '\a'; break;
            case 'b': text += '\b'; break;
            case 'f': text += '\f'; break;
            case 'v': text += '\v'; break;
            case '\n': ++line; break;  // line continuation
            case '0': {
                int d = get();
                if (d == EOF) break;
                if (!IsOctal(d)) {
                    text += '\0';
                    unget();
                    break;
                }
                ++count;
                int d2 = get();
                if (d2 == EOF) break;
                ++count;
                if (IsOctal(d2)) text += static_cast<char>((d - '0') * 8 + (d2 - '0'));
                break;
            }
            case '1':
            case '2': {
                int d1 = get();
                if (d1 == EOF) break;
                ++count;
                int d2 = get();
                if (d2 == EOF) break;
                ++count;
                if (IsOctal(d1) && IsOctal(d2)) text += static_cast<char>((e - '0') * 64 + (d1 - '0') * 8 + (d2 - '0'));
                break;
            }
            case 'x': {
                int h = get();
                if (h == EOF) break;
                ++count;
                if (HexValue(h) >= 0) text += static_cast<char>(HexValue(h));
                break;
            }
            default: text += static_cast<char>(e); break;  // \\ \' \" and the rest
        }
    }
    return eof_ ? kErrEndOfFile : 0;
}

void SceneInput::skipSpace() {
    for (;;) {
        int c = peek();
        if (c == EOF) {
            fail_ = true;
            return;
        }
        if (!IsStreamSpace(c)) return;
        ++pos_;
    }
}

void SceneInput::extractWord(std::string& word) {
    word.clear();
    if (fail_ || eof_) {
        fail_ = true;
        return;
    }
    skipSpace();
    if (fail_) return;
    wordStart_ = consumed();
    for (;;) {
        if (pos_ >= len_ && !refill()) {
            eof_ = true;
            if (readError_ != 0) word.clear();  // perhaps cut short
            return;
        }
        // Take the run of word characters in the buffer at once, one more
        // than a word may have at most.
        size_t start = pos_;
        size_t limit = std::min(len_, pos_ + (kMaxTokenLength + 1 - word.size()));
        while (pos_ < limit && !IsStreamSpace(static_cast<unsigned char>(buffer_[pos_]))) ++pos_;
        word.append(buffer_.data() + start, pos_ - start);
        if (word.size() > kMaxTokenLength) {
            word.clear();
            fail_ = true;
            return;
        }
        if (pos_ < len_) return;
    }
}

// Appends the next character to out when it is one of two signs.
void SceneInput::takeSign(std::string& out) {
    int c = peek();
    if (c == '+' || c == '-') {
        out += static_cast<char>(c);
        ++pos_;
    }
}

// Appends the run of digits that follows; true when there was one. A
// number longer than a token may be fails the input.
bool SceneInput::takeDigits(std::string& out) {
    bool any = false;
    for (int c; IsDigit(c = peek()); ++pos_, any = true) {
        if (out.size() >= kMaxTokenLength) {
            fail_ = true;
            break;
        }
        out += static_cast<char>(c);
    }
    return any;
}

bool SceneInput::collectInteger(std::string& out) {
    out.clear();
    takeSign(out);
    return takeDigits(out);
}

bool SceneInput::collectFloat(std::string& out) {
    out.clear();
    takeSign(out);
    bool mantissa = takeDigits(out);
    if (peek() == '.') {
        out += '.';
        ++pos_;
        mantissa = takeDigits(out) || mantissa;
    }
    int c = peek();
    if (mantissa && (c == 'e' || c == 'E')) {
        out += static_cast<char>(c);
        ++pos_;
        takeSign(out);
        takeDigits(out);
    }
    return !out.empty();
}

void SceneInput::extractInt(int& value) {
    if (fail_ || eof_) {
        fail_ = true;
        return;
    }
    skipSpace();
    if (fail_) return;
    wordStart_ = consumed();
    if (!collectInteger(scratch_) || fail_) {
        value = 0;
        fail_ = true;
        return;
    }
    errno = 0;
    long v = std::strtol(scratch_.c_str(), nullptr, 10);
    if (errno == ERANGE || v > INT_MAX || v < INT_MIN) {
        value = (v > 0) ? INT_MAX : INT_MIN;
        fail_ = true;
        return;
    }
    value = static_cast<int>(v);
}

namespace {

inline float ConvertNumber(const char* s, char** end, float) { return ReadFloat(s, end); }
inline double ConvertNumber(const char* s, char** end, double) { return ReadDouble(s, end); }

}  // namespace

// The characters of the number must convert whole; an overflow gives the
// largest finite value and fails, as the stream extraction does.
template <typename T>
void SceneInput::extractReal(T& value) {
    if (fail_ || eof_) {
        fail_ = true;
        return;
    }
    skipSpace();
    if (fail_) return;
    wordStart_ = consumed();
    collectFloat(scratch_);
    if (fail_) {
        value = 0;
        return;
    }
    char* end = nullptr;
    T v = ConvertNumber(scratch_.c_str(), &end, T());
    if (scratch_.empty() || end != scratch_.c_str() + scratch_.size()) {
        value = 0;
        fail_ = true;
    } else if (std::isinf(v)) {
        value = v > 0 ? std::numeric_limits<T>::max() : -std::numeric_limits<T>::max();
        fail_ = true;
    } else {
        value = v;
    }
}

void SceneInput::extractFloat(float& value) { extractReal(value); }
void SceneInput::extractDouble(double& value) { extractReal(value); }

namespace {

// The length of the UTF-8 sequence at s (at most n bytes) of a printable
// character beyond ASCII, or 0.
size_t PrintableUtf8(const unsigned char* s, size_t n) {
    size_t len = s[0] >= 0xf0 && s[0] <= 0xf4 ? 4 : s[0] >= 0xe0 ? 3 : s[0] >= 0xc2 && s[0] < 0xe0 ? 2 : 0;
    if (len == 0 || len > n) return 0;
    for (size_t i = 1; i < len; ++i)
        if ((s[i] & 0xc0) != 0x80) return 0;
    if (s[0] == 0xc2 && s[1] < 0xa0) return 0;  // the C1 controls
    return len;
}

}  // namespace

std::string SceneInput::contextLines(bool atEndOfInput) const {
    if (!isOpen()) return std::string();
    // The text at hand: the kept end of earlier chunks, then this chunk.
    const size_t textStart = lineTail_.empty() ? consumedBase_ : lineTailStart_;
    std::string text = lineTail_;
    text.append(buffer_.data(), len_);
    size_t at = 0;  // where the caret goes, in text
    if (atEndOfInput) {
        // Just after the last character that is not white space.
        at = text.size();
        while (at > 0 && IsStreamSpace(static_cast<unsigned char>(text[at - 1]))) --at;
        if (at == 0) return std::string();
    } else {
        if (wordStart_ < textStart || wordStart_ > textStart + text.size()) return std::string();
        at = wordStart_ - textStart;
    }
    size_t begin = text.rfind('\n', at == 0 ? 0 : at - 1);
    begin = (begin == std::string::npos || begin >= at) ? 0 : begin + 1;
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (end > begin && text[end - 1] == '\r') --end;
    // A long line is shown around the caret.
    constexpr size_t kBefore = 60, kWidth = 160;
    const bool cutFront = at - begin > kBefore;
    if (cutFront) begin = at - kBefore;
    const bool cutBack = end - begin > kWidth;
    if (cutBack) end = begin + kWidth;
    if (at > end) at = end;

    std::string shown, caret;
    if (cutFront) {
        shown += "...";
        caret += "   ";
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = begin; i < end;) {
        const bool before = i < at;
        size_t len = 1;
        if (p[i] == '\t') {
            shown += '\t';
        } else if (p[i] >= 0x20 && p[i] < 0x7f) {
            shown += static_cast<char>(p[i]);
        } else if (p[i] >= 0x80 && (len = PrintableUtf8(p + i, end - i)) > 0) {
            shown.append(text, i, len);
        } else {
            len = 1;
            shown += '?';
        }
        if (before) caret += p[i] == '\t' ? '\t' : ' ';
        i += len;
    }
    if (cutBack) shown += "...";
    return shown + "\n" + caret + "^\n";
}

}  // namespace kx
