// Which frames and which part of each image a run draws and writes, as the
// command line selects them.
#pragma once

#include <string>
#include <vector>

namespace kx {

// The frames of a run the command line asks for (--frames): a list of
// numbers and ranges such as "3", "1-100", "1-100:5" or "1,4,9-12".
class FrameList {
public:
    // Reads a list; false (and the list unchanged) for text that is none.
    bool parse(const std::string& text);
    // With no list given every frame is wanted.
    bool contains(int frame) const;
    bool empty() const { return ranges_.empty(); }
    // The list as it was given.
    const std::string& text() const { return text_; }

private:
    struct Range {
        long long first, last, step;
    };
    std::vector<Range> ranges_;
    std::string text_;
};

// Pixel bounds of part of an image (--region): columns x0 .. x1 - 1, rows
// y0 .. y1 - 1.
struct ImageRegion {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool given = false;
    long long pixels() const { return static_cast<long long>(x1 - x0) * (y1 - y0); }
};

// Which images of a run are drawn and written, set from the command line.
struct ImageSelection {
    FrameList frames;          // empty: every frame
    ImageRegion region;        // not given: whole images
    bool listOnly = false;     // --list-images: nothing drawn, the images named
};

}  // namespace kx
