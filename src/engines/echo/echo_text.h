// Building lines of scene text. Numbers are written exactly as a standard
// stream with its default settings writes them: floats in general notation
// with 6 significant digits (as "%g"), integers in decimal. The text goes
// through stdio, not a C++ stream: the program links no stream code, whose
// start-up costs every run about a millisecond.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/math.h"

namespace kx {

// Where scene text goes: a stdio stream, or a string that keeps it (tests).
// A write the stream does not take whole, or a flush that fails, leaves the
// sink failed for good, and it takes nothing more: as a stream's bad bit.
class TextSink {
public:
    explicit TextSink(std::FILE* file) : file_(file) {}
    explicit TextSink(std::string* text) : text_(text) {}
    void write(const char* p, size_t n) {
        if (failed_) return;
        if (text_) {
            text_->append(p, n);
        } else if (n != 0 && std::fwrite(p, 1, n, file_) != n) {
            failed_ = true;
        }
    }
    void flush() {
        if (!failed_ && file_ && std::fflush(file_) != 0) failed_ = true;
    }
    bool good() const { return !failed_; }

private:
    std::FILE* file_ = nullptr;
    std::string* text_ = nullptr;
    bool failed_ = false;
};

// The sink of standard output: one for the process, as standard output is.
TextSink& StandardOutputText();

class TextLine {
public:
    TextLine& word(std::string_view w) {
        text_.append(w);
        return *this;
    }
    // Between double quotes, a double quote or backslash inside escaped with
    // a backslash, so that the scene reader gets the text back.
    TextLine& quoted(std::string_view w) {
        text_.push_back('"');
        for (char c : w) {
            if (c == '"' || c == '\\') text_.push_back('\\');
            text_.push_back(c);
        }
        text_.push_back('"');
        return *this;
    }
    // A string argument: bare when it reads back as itself that way (no
    // blank inside, no leading "#", double quote or carriage return; a
    // backslash doubled), quoted otherwise. Either way the text is no longer
    // than what the reader consumed for it, so it stays within the reader's
    // string length limit.
    TextLine& string(std::string_view w) {
        bool bare = !w.empty() && w.front() != '#' && w.front() != '"' && w.front() != '\r';
        for (char c : w)
            if (c == ' ' || c == '\t' || c == '\n') bare = false;
        if (!bare) return quoted(w);
        for (char c : w) {
            if (c == '\\') text_.push_back('\\');
            text_.push_back(c);
        }
        return *this;
    }
    TextLine& space(int n = 1) {
        text_.append(static_cast<size_t>(n), ' ');
        return *this;
    }
    TextLine& num(float f) {
        // An infinity (a number read in double precision beyond the float
        // range) as a number that reads back as the same infinity.
        if (std::isinf(f)) return word(f > 0 ? "1e+39" : "-1e+39");
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::general, 6);
        text_.append(buf, r.ptr);
        return *this;
    }
    TextLine& num(int i) {
        char buf[16];
        auto r = std::to_chars(buf, buf + sizeof buf, i);
        text_.append(buf, r.ptr);
        return *this;
    }
    // n floats separated by single spaces.
    TextLine& nums(const float* f, long long n) {
        for (long long i = 0; i < n; ++i) {
            if (i) space();
            num(f[i]);
        }
        return *this;
    }
    TextLine& triple(const float* p) { return nums(p, 3); }
    TextLine& triple(const Point3& p) { return triple(p.data()); }
    TextLine& triple(const Vector3& v) { return triple(v.data()); }
    TextLine& triple(const ColorRGB& c) { return triple(c.data()); }

    // Ends the line: writes it with its newline to the sink and flushes.
    void writeTo(TextSink& out) {
        text_.push_back('\n');
        out.write(text_.data(), text_.size());
        out.flush();
        text_.clear();
    }
    // Ends the line but keeps it in the buffer (for blocks written at once).
    void endLine() { text_.push_back('\n'); }
    size_t size() const { return text_.size(); }
    // Writes what is buffered without flushing.
    void drainTo(TextSink& out) {
        out.write(text_.data(), text_.size());
        text_.clear();
    }
    void release() {
        text_.clear();
        text_.shrink_to_fit();
    }

private:
    std::string text_;
};

}  // namespace kx
