#include "shell/command_line.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "shell/process.h"

namespace kx {

namespace {

// The exit status of a command line that names more than one scene.
constexpr int kUsageStatus = 2;

// A whole number in 0 .. INT_MAX.
bool ReadPixelBound(const char* text, int& value) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

int ReadCommandLine(int argc, char** argv, CommandLine& line) {
    ImageSelection& selection = line.selection;
    std::string& file = line.file;
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames") {
            if (i + 1 >= argc || !selection.frames.parse(argv[i + 1])) {
                std::fprintf(stderr, "%s: --frames needs a list of frames such as 3, 1-100, 1-100:5 or 1,4,9-12\n",
                             argv[0]);
                return kUsageStatus;
            }
            ++i;
        } else if (arg == "--region") {
            ImageRegion& r = selection.region;
            if (i + 4 >= argc || !ReadPixelBound(argv[i + 1], r.x0) || !ReadPixelBound(argv[i + 2], r.y0) ||
                !ReadPixelBound(argv[i + 3], r.x1) || !ReadPixelBound(argv[i + 4], r.y1) || r.x0 >= r.x1 ||
                r.y0 >= r.y1) {
                std::fprintf(stderr,
                             "%s: --region needs the pixel bounds X0 Y0 X1 Y1, whole numbers with X0 < X1 and "
                             "Y0 < Y1\n",
                             argv[0]);
                return kUsageStatus;
            }
            r.given = true;
            i += 4;
        } else if (arg == "--list-images") {
            selection.listOnly = true;
        } else if (haveFile) {
            // One scene per run: a second name is refused, never silently dropped.
            std::fprintf(stderr, "%s: one scene file only, not also \"%s\"\nUsage: %s  kx_file\n", argv[0],
                         argv[i], argv[0]);
            return kUsageStatus;
        } else {
            file = arg;
            haveFile = true;
        }
    }
    if (!haveFile) {
        std::fprintf(stderr, "Usage: %s  kx_file\n", argv[0]);
        return kUsageStatus;
    }
    // Alone, --help and --version ask for the text; with anything else they
    // name the scene.
    line.help = argc == 2 && (file == "--help" || file == "-h");
    line.version = argc == 2 && file == "--version";
    return 0;
}

void ApplyCommandLine(const CommandLine& line, Process& p) { p.display.selection = line.selection; }

}  // namespace kx
