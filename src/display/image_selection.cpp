#include "display/image_selection.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace kx {

namespace {

// A whole int at text[i] (optionally signed); i moves past it.
bool ReadFrameNumber(const std::string& text, size_t& i, long long& value) {
    const char* start = text.c_str() + i;
    size_t digits = (*start == '-' || *start == '+') ? 1 : 0;
    if (start[digits] < '0' || start[digits] > '9') return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(start, &end, 10);
    if (errno != 0 || v < INT_MIN || v > INT_MAX) return false;
    value = v;
    i += static_cast<size_t>(end - start);
    return true;
}

}  // namespace

bool FrameList::parse(const std::string& text) {
    std::vector<Range> ranges;
    size_t i = 0;
    for (;;) {
        Range r{0, 0, 1};
        if (!ReadFrameNumber(text, i, r.first)) return false;
        r.last = r.first;
        if (i < text.size() && text[i] == '-') {
            ++i;
            if (!ReadFrameNumber(text, i, r.last) || r.last < r.first) return false;
            if (i < text.size() && text[i] == ':') {
                ++i;
                if (!ReadFrameNumber(text, i, r.step) || r.step < 1) return false;
            }
        }
        ranges.push_back(r);
        if (i == text.size()) break;
        if (text[i] != ',') return false;
        ++i;
    }
    ranges_ = std::move(ranges);
    text_ = text;
    return true;
}

bool FrameList::contains(int frame) const {
    if (ranges_.empty()) return true;
    for (const Range& r : ranges_)
        if (frame >= r.first && frame <= r.last && (frame - r.first) % r.step == 0) return true;
    return false;
}

}  // namespace kx
