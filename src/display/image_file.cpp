#include "display/image_file.h"

#include <cstdio>

#include "core/errors.h"
#include "core/printable.h"
#include "display/file_write.h"
#include "display/output_folder.h"
#include "display/region_file.h"

namespace kx {

std::string FrameFileName(const std::string& name, int frame, const char* extension) {
    char digits[32];
    long long f = frame;
    if (f < 0)
        std::snprintf(digits, sizeof digits, "-%04lld", -f);
    else
        std::snprintf(digits, sizeof digits, "%04lld", f);
    return name + digits + extension;
}

void ListImage(int frame, int width, int height, const std::string& name) {
    // One line whatever the name holds (ListedName).
    std::string line = "image " + std::to_string(frame) + " " + std::to_string(width) + " " +
                       std::to_string(height) + " " + ListedName(name) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

int ImageFileDevice::DisplayOpen() {
    shown_ = false;
    if (!buffer_.allocate(display_.width, display_.height)) return kErrDisplayMemory;
    return 0;
}

int ImageFileDevice::DisplayClose() {
    shown_ = false;
    buffer_.release();
    return 0;
}

int ImageFileDevice::ImageClear() {
    shown_ = false;
    buffer_.clear();
    return 0;
}

int ImageFileDevice::ImageBegin(int frame) {
    shown_ = false;
    // Until this image is begun there is none to write.
    fileName_.clear();
    // A Format given after the device opened takes effect with the next frame.
    if (!buffer_.fitTo(display_.width, display_.height)) return kErrDisplayMemory;
    selected_ = display_.selection.frames.contains(frame);
    if (int status = display_.beginImage(frame)) return status;
    // An image left out is not drawn: clearing it would be wasted.
    if (display_.drawing) ImageClear();
    frame_ = frame;
    const std::string own = FrameFileName(display_.name, frame, extension_.c_str());
    fileName_ = UnderOutputFolder(display_.outputFolder, own);
    inOutputFolder_ = fileName_ != own;
    return 0;
}

int ImageFileDevice::ImageShow() {
    if (fileName_.empty() || shown_) return 0;  // no image begun, or already written
    const int status = writeSelected();
    shown_ = status == 0;
    return status;
}

int ImageFileDevice::writeSelected() const {
    if (!selected_) return 0;  // a frame left out
    const ImageSelection& selection = display_.selection;
    if (selection.listOnly) {
        ListImage(frame_, buffer_.width, buffer_.height, fileName_);
        return 0;
    }
    // The output folder is made when the first file goes into it.
    if (inOutputFolder_)
        if (int status = MakeOutputFolder(display_.outputFolder)) return status;
    if (selection.region.given) return WriteRegionFile(fileName_, format_, frame_, buffer_, selection.region);
    return WriteWholeFile(
        fileName_, [this](std::FILE* f) { return write_(f, buffer_); }, size_ ? size_(buffer_) : 0);
}

int ImageFileDevice::SetBackground(const ColorRGB& c) {
    buffer_.setBackground(c);
    return 0;
}

int ImageFileDevice::ReadPixel(int x, int y, ColorRGB& c) {
    buffer_.read(x, y, c);
    return 0;
}

int ImageFileDevice::WritePixel(int x, int y, const ColorRGB& c) {
    if (buffer_.write(x, y, c)) shown_ = false;
    return 0;
}

}  // namespace kx
