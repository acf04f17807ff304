#include "confine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <assimp/IOStream.hpp>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "import_text.h"

namespace kx {

namespace {

// A regular file opened for reading.
class FileStream : public Assimp::IOStream {
public:
    FileStream(std::FILE* f, size_t size) : f_(f), size_(size) {}
    ~FileStream() override { std::fclose(f_); }
    size_t Read(void* buffer, size_t size, size_t count) override {
        return size == 0 || count == 0 ? 0 : std::fread(buffer, size, count, f_);
    }
    size_t Write(const void*, size_t, size_t) override { return 0; }
    aiReturn Seek(size_t offset, aiOrigin origin) override {
        const int whence = origin == aiOrigin_SET ? SEEK_SET : origin == aiOrigin_CUR ? SEEK_CUR : SEEK_END;
        if (offset > static_cast<size_t>(LONG_MAX) && origin == aiOrigin_SET) return aiReturn_FAILURE;
        return std::fseek(f_, static_cast<long>(offset), whence) == 0 ? aiReturn_SUCCESS : aiReturn_FAILURE;
    }
    size_t Tell() const override {
        const long at = std::ftell(f_);
        return at < 0 ? 0 : static_cast<size_t>(at);
    }
    size_t FileSize() const override { return size_; }
    void Flush() override {}

private:
    std::FILE* f_;
    size_t size_;
};

}  // namespace

ConfinedFiles::ConfinedFiles(const std::string& model, bool fromStandardInput)
    : model_(model), memory_(model.empty()), standardInput_(fromStandardInput) {
    if (memory_) return;
    const size_t slash = model.find_last_of('/');
    shownFrom_ = slash == std::string::npos ? "" : model.substr(0, slash + 1);
    const std::string folder = shownFrom_.empty() ? "." : shownFrom_;
    folderLex_ = LexicalPath(folder);
    folderReal_ = RealPath(folder);
}

void ConfinedFiles::Refuse(const std::string& file, const std::string& why) const {
    if (!refusal_.empty()) return;
    std::string shown = file;
    if (!shownFrom_.empty() && shown.compare(0, shownFrom_.size(), shownFrom_) == 0)
        shown = shown.substr(shownFrom_.size());
    refusal_ = "\"" + shown + "\" " + why + (why.rfind("not read", 0) == 0 ? "" : ": not read");
}

ConfinedFiles::Verdict ConfinedFiles::Judge(const std::string& asked, std::string& resolved) const {
    std::string file = asked;
    for (char& c : file)
        if (c == '\\') c = '/';
    // A name outside that leads to nothing is only missing: the library
    // tries names in several places (the working folder among them) before
    // it opens one.
    auto present = [&] {
        struct stat st;
        return lstat(file.c_str(), &st) == 0 || lstat(asked.c_str(), &st) == 0;
    };
    if (memory_) {
        if (!present()) return Verdict::Missing;
        Refuse(asked, standardInput_ ? "not read: a model from standard input may read no other file"
                                     : "not read: a model in memory may read no other file");
        return Verdict::Refused;
    }
    if (asked == model_) {
        resolved = asked;
        return Verdict::Allowed;
    }
    // By name first (`..`, absolute paths), then where the links lead.
    if (folderReal_.empty() || !Below(LexicalPath(file), folderLex_)) {
        if (!present()) return Verdict::Missing;
        Refuse(asked, "is outside the model's folder");
        return Verdict::Refused;
    }
    resolved = RealPath(file);
    if (resolved.empty()) {
        if (errno == ENOENT || errno == ENOTDIR) return Verdict::Missing;
        Refuse(asked, "cannot be resolved");
        return Verdict::Refused;
    }
    if (!Below(resolved, folderReal_)) {
        Refuse(asked, "leads outside the model's folder");
        return Verdict::Refused;
    }
    return Verdict::Allowed;
}

bool ConfinedFiles::Exists(const char* file) const {
    std::string resolved;
    if (!file || Judge(file, resolved) != Verdict::Allowed) return false;
    struct stat st;
    if (stat(resolved.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
        Refuse(file, "is not a regular file");
        return false;
    }
    return true;
}

Assimp::IOStream* ConfinedFiles::Open(const char* file, const char* mode) {
    std::string resolved;
    if (!file) return nullptr;
    const std::string how = mode ? mode : "rb";
    if (how.find_first_of("wa+") != std::string::npos) {
        Refuse(file, "would be written");
        return nullptr;
    }
    if (Judge(file, resolved) != Verdict::Allowed) return nullptr;
    // Without blocking, so that a FIFO is seen for what it is.
    const int fd = open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        Refuse(file, "is not a regular file");
        return nullptr;
    }
    // What was opened, should a folder on the way have been replaced by a
    // link since the path was resolved.
    if (file != model_) {
        char opened[PATH_MAX];
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = readlink(self.c_str(), opened, sizeof opened);
        if (n > 0 && n < static_cast<ssize_t>(sizeof opened) &&
            !Below(std::string(opened, static_cast<size_t>(n)), folderReal_)) {
            close(fd);
            Refuse(file, "leads outside the model's folder");
            return nullptr;
        }
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return nullptr;
    }
    return new FileStream(f, static_cast<size_t>(st.st_size));
}

void ConfinedFiles::Close(Assimp::IOStream* stream) { delete stream; }

}  // namespace kx
