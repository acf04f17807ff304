#include "shell/command_line.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/printable.h"
#include "shell/process.h"

namespace kx {

namespace {

// The exit status of a command line the program cannot follow.
constexpr int kUsageStatus = 2;
// The exit status of a run whose --frames list selects none of its frames.
constexpr int kNoFrameStatus = 1;

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

bool ReadRegion(const char* const bounds[4], ImageRegion& r) {
    return ReadPixelBound(bounds[0], r.x0) && ReadPixelBound(bounds[1], r.y0) && ReadPixelBound(bounds[2], r.x1) &&
           ReadPixelBound(bounds[3], r.y1) && r.x0 < r.x1 && r.y0 < r.y1;
}

// "--region=X0,Y0,X1,Y1": the four bounds in one word.
bool ReadRegionWord(const std::string& word, ImageRegion& r) {
    std::string parts[4];
    size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        const size_t comma = word.find(',', start);
        if ((comma == std::string::npos) != (k == 3)) return false;
        parts[k] = word.substr(start, comma == std::string::npos ? comma : comma - start);
        start = comma + 1;
    }
    const char* const bounds[4] = {parts[0].c_str(), parts[1].c_str(), parts[2].c_str(), parts[3].c_str()};
    return ReadRegion(bounds, r);
}

bool IsEngineName(const std::string& name) {
    return name == "direct" || name == "raytrace" || name == "data convert" || name == "scan convert";
}

// Reads argv; the messages name the program as argv[0] does.
class LineReader {
public:
    LineReader(int argc, char** argv, CommandLine& line) : argc_(argc), argv_(argv), line_(line) {}

    int read() {
        bool optionsEnded = false;
        for (i_ = 1; i_ < argc_; ++i_) {
            const std::string arg = argv_[i_];
            if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
                if (int status = takeScene(arg)) return status;
            } else if (arg == "--") {
                optionsEnded = true;
            } else if (int status = readOption(arg)) {
                return status;
            }
        }
        if (line_.help || line_.version) return 0;
        if (!haveFile_) return fail("");
        // A watch waits for the scene file to change: standard input never does.
        if (line_.watch && line_.file == "-") return fail("--watch needs a scene file, not standard input");
        return 0;
    }

private:
    // One scene per run: a second name is refused, never silently dropped.
    int takeScene(const std::string& arg) {
        if (haveFile_) return fail("one scene file only, not also \"" + arg + "\"");
        line_.file = arg;
        haveFile_ = true;
        return 0;
    }

    int readOption(const std::string& arg) {
        // "--name=value" gives the value in the same word.
        std::string name = arg;
        attached_ = nullptr;
        const size_t equals = arg.find('=');
        if (arg[1] == '-' && equals != std::string::npos) {
            name = arg.substr(0, equals);
            attached_ = argv_[i_] + equals + 1;
        }
        if (name == "-h" || name == "--help") return flag(name, line_.help);
        if (name == "--version") return flag(name, line_.version);
        if (name == "--list-images") return flag(name, line_.selection.listOnly);
        if (name == "--watch") return flag(name, line_.watch);
        if (name == "--frames") {
            const char* list = value();
            if (!list || !line_.selection.frames.parse(list))
                return say("--frames needs a list of frames such as 3, 1-100, 1-100:5 or 1,4,9-12");
            return 0;
        }
        if (name == "--region") {
            ImageRegion& r = line_.selection.region;
            bool ok;
            if (attached_) {
                ok = ReadRegionWord(attached_, r);
            } else {
                ok = i_ + 4 < argc_ && ReadRegion(argv_ + i_ + 1, r);
                i_ += 4;
            }
            if (!ok) return say("--region needs the pixel bounds X0 Y0 X1 Y1, whole numbers with X0 < X1 and Y0 < Y1");
            r.given = true;
            return 0;
        }
        if (name == "-E" || name == "--engine") {
            const char* engine = value();
            if (!engine || !IsEngineName(engine))
                return say(name +
                           " needs the name of an engine: direct, raytrace, \"data convert\" or \"scan convert\"");
            line_.engine = engine;
            return 0;
        }
        if (name == "-o" || name == "--output") {
            const char* folder = value();
            if (!folder || !*folder) return say(name + " needs the name of a folder");
            line_.outputDir = folder;
            return 0;
        }
        return fail("unknown option " + PrintableName(arg));
    }

    // The option's value: in its own word after "=", or the next argument.
    const char* value() {
        if (attached_) return attached_;
        if (i_ + 1 >= argc_) return nullptr;
        return argv_[++i_];
    }

    int flag(const std::string& name, bool& set) {
        if (attached_) return say(name + " takes no value");
        set = true;
        return 0;
    }

    // One line on the error stream.
    int say(const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", argv_[0], message.c_str());
        return kUsageStatus;
    }

    // The message, when there is one, then the usage line.
    int fail(const std::string& message) {
        if (!message.empty()) std::fprintf(stderr, "%s: %s\n", argv_[0], message.c_str());
        std::fprintf(stderr, "Usage: %s  kx_file\n", argv_[0]);
        return kUsageStatus;
    }

    int argc_;
    char** argv_;
    CommandLine& line_;
    int i_ = 1;
    bool haveFile_ = false;
    const char* attached_ = nullptr;
};

}  // namespace

int ReadCommandLine(int argc, char** argv, CommandLine& line) { return LineReader(argc, argv, line).read(); }

void ApplyCommandLine(const CommandLine& line, Process& p) {
    p.display.selection = line.selection;
    p.display.outputFolder = line.outputDir;
    p.engine.forced = line.engine;
}

int CheckFramesSelected(const Process& p, const std::string& file) {
    const DisplayState& d = p.display;
    if (d.selection.frames.empty() || !d.imageBegun || d.selectedImageBegun) return 0;
    std::string text = std::string(program_invocation_name) + ": --frames " + PrintableName(d.selection.frames.text()) +
                       " selects no frame of " + PrintableName(file) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    return kNoFrameStatus;
}

}  // namespace kx
