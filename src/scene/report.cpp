#include "scene/report.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/errors.h"
#include "scene/input.h"

namespace kx {

namespace {

// Memory set aside at program start for the report of a run that ran out of
// it (the report's text is built on the heap). Far more than any report
// takes: a scene's name is at most a path long.
constexpr size_t kReportReserve = size_t{1} << 16;
char* volatile reportReserve = static_cast<char*>(std::malloc(kReportReserve));

}  // namespace

void ReportError(int code, const std::string& fileName, const SceneInput& input) {
    const long long line = input.line;
    for (;;) {
        try {
            std::string text = FormatError(code, fileName, line);
            // On a terminal, and only there, the line itself follows with a
            // caret where reading stopped; pipes and logs see the report alone.
            if (isatty(STDERR_FILENO)) text += input.contextLines(code == kErrEndOfFile && input.atEnd());
            std::fwrite(text.data(), 1, text.size(), stderr);
            break;
        } catch (const std::bad_alloc&) {
            if (char* reserve = reportReserve) {
                reportReserve = nullptr;
                std::free(reserve);
                continue;
            }
            // Nothing left to build the text with (the name, which could not
            // be made printable, is left out).
            const char* message = ErrorMessage(code);
            std::fprintf(stderr, "Error on line %lld: %s\n", line, message ? message : "Unknown error code");
            break;
        }
    }
    std::fflush(stderr);
}

}  // namespace kx
