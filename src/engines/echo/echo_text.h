// Building lines of scene text. Numbers are written exactly as a standard
// stream with its default settings writes them: floats in general notation
// with 6 significant digits (as "%g"), integers in decimal.
#pragma once

#include <charconv>
#include <cmath>
#include <ostream>
#include <string>
#include <string_view>

#include "core/math.h"

namespace kx {

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

    // Ends the line: writes it with its newline to the stream and flushes.
    void writeTo(std::ostream& os) {
        text_.push_back('\n');
        os.write(text_.data(), static_cast<std::streamsize>(text_.size()));
        os.flush();
        text_.clear();
    }
    // Ends the line but keeps it in the buffer (for blocks written at once).
    void endLine() { text_.push_back('\n'); }
    size_t size() const { return text_.size(); }
    // Writes what is buffered without flushing.
    void drainTo(std::ostream& os) {
        os.write(text_.data(), static_cast<std::streamsize>(text_.size()));
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
