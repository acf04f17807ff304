#include "shell/display_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/errors.h"

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

namespace {

int WriteFailed(const std::string& path, int error) {
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), std::strerror(error != 0 ? error : EIO));
    std::fflush(stderr);
    return kErrEndOfFile;
}

// Creates a new temporary file next to path; its name goes to temp.
int CreateTemporary(const std::string& path, std::string& temp) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // Short enough that the folder's name length limit cannot refuse it when
    // it accepts the final name.
    if (base.size() > 200) base.resize(200);
    const std::string stem = folder + "." + base + "." + std::to_string(getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = stem + (attempt ? "-" + std::to_string(attempt) : std::string()) + ".tmp";
        int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

std::string ConfinedPath(const std::string& path) {
#ifdef KX_FUZZ_BUILD
    std::string confined = path;
    for (char& c : confined)
        if (c == '/') c = '_';
    return confined;
#else
    return path;
#endif
}

int WriteWholeFile(const std::string& name, const std::function<bool(std::FILE*)>& write) {
    const std::string path = ConfinedPath(name);
    // A NUL inside (a "\0" escape in the display name) would cut the name
    // short, and the image would land on another file.
    if (path.find('\0') != std::string::npos) return WriteFailed(path, EINVAL);
    std::string temp;
    int fd = CreateTemporary(path, temp);
    if (fd < 0) return WriteFailed(path, errno);
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
        int error = errno;
        close(fd);
        unlink(temp.c_str());
        return WriteFailed(path, error);
    }
    errno = 0;
    bool ok = write(f);
    int error = errno;
    if (std::fflush(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (std::ferror(f)) ok = false;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        return WriteFailed(path, error);
    }
    return 0;
}

int FileDevice::DisplayOpen() {
    const DisplayState& d = displayState();
    if (!buffer_.allocate(d.width, d.height)) return kErrDisplayMemory;
    return 0;
}

int FileDevice::DisplayClose() {
    buffer_.release();
    return 0;
}

int FileDevice::ImageClear() {
    for (size_t i = 0; i < buffer_.pixels.size(); i += 3) {
        buffer_.pixels[i] = background_[0];
        buffer_.pixels[i + 1] = background_[1];
        buffer_.pixels[i + 2] = background_[2];
    }
    return 0;
}

int FileDevice::ImageBegin(int frame) {
    // A Format given after the device opened takes effect with the next frame.
    const DisplayState& d = displayState();
    if (!buffer_.fitTo(d.width, d.height)) return kErrDisplayMemory;
    ImageClear();
    fileName_ = FrameFileName(displayState().name, frame, ".ppm");
    return 0;
}

int FileDevice::ImageShow() {
    if (fileName_.empty()) return 0;  // no image begun: nothing to write
    return WriteWholeFile(fileName_, [this](std::FILE* f) {
        if (std::fprintf(f, "P6\n%d %d\n255\n", buffer_.width, buffer_.height) < 0) return false;
        size_t n = buffer_.pixels.size();
        return n == 0 || std::fwrite(buffer_.pixels.data(), 1, n, f) == n;
    });
}

int FileDevice::SetBackground(const ColorRGB& c) {
    background_[0] = ColorByte(c.r);
    background_[1] = ColorByte(c.g);
    background_[2] = ColorByte(c.b);
    return 0;
}

int FileDevice::ReadPixel(int x, int y, ColorRGB& c) {
    if (!buffer_.inside(x, y)) {
        c = ColorRGB();
        return 0;
    }
    const uint8_t* p = &buffer_.pixels[(static_cast<size_t>(y) * buffer_.width + x) * 3];
    c = ColorRGB(static_cast<float>(p[0] / 255.999), static_cast<float>(p[1] / 255.999),
                 static_cast<float>(p[2] / 255.999));
    return 0;
}

int FileDevice::WritePixel(int x, int y, const ColorRGB& c) {
    if (!buffer_.inside(x, y)) return 0;
    uint8_t* p = &buffer_.pixels[(static_cast<size_t>(y) * buffer_.width + x) * 3];
    p[0] = ColorByte(c.r);
    p[1] = ColorByte(c.g);
    p[2] = ColorByte(c.b);
    return 0;
}

}  // namespace kx
