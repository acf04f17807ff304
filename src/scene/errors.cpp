#include "scene/errors.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/errors.h"
#include "core/printable.h"
#include "scene/input.h"

namespace kx {

const char* ErrorMessage(int code) {
    switch (code) {
        case -1: return "Unexepected end of file";
        case -2: return "File not found.";
        case -3: return "Unrecognized symbol";
        case -4: return "Known symbol in illegal context";
        case -5: return "Runaway string";
        case -6: return "Unrecognized rotation axis";
        case -7: return "Object list overflow\nIncrease OBJECT_LIST_MAX_SIZE in kx_parse";
        case -8: return "Recursive object definition not allowed";
        case -10: return "Unknown vertex type combination";
        case -11: return "Vertex index out of range";
        case -12: return "Unknown object label on ObjectInstance";
        case -13: return "Duplicate object label";
        case -15: return "Insufficient memory for display buffer";
        case -16: return "Insufficient memory for depth buffer";
        case -18: return "Illegal block interleaving";
        case -19: return "Unknown display type";
        case -20: return "Unknown display mode";
        case -21: return "Unknown surface material type";
        case -22: return "Light list overflow";
        case -23: return "Unknown curve type";
        case -24: return "Unknown patch type";
        case -25: return "Transform stack overflow";
        case -26: return "Transform stack underflow";
        case -27: return "Map list overflow";
        case -28: return "Map file not found";
        case -29: return "Map file in unrecognized format";
        case -30: return "Map label already in use or reserved";
        case -31: return "Map not found";
        case -33: return "Illegal map interpolation type";
        case -34: return "Illegal map border type";
        case -35: return "Unknown rendering engine";
        case -36: return "Integer expected";
        case -37: return "Vertex index expected";
        case -38: return "Vertex coordinate expected";
        case -39: return "Floating point value expected";
        case -40: return "Unknown option";
        case -41: return "Mismatch of B-spline degree, #control points, #knots";
        case -42: return "Illegal number of parameters in object block";
        case -43: return "Illegal object instance parameter";
        case kErrNoWindowSystem: return "Cannot open a window: no window system available";
        case kErrOutputFailed: return "Cannot write the image file";
        case kErrRegionOutside: return "The region lies outside the image";
        case 2: return "Display not initialized";
        default: return nullptr;
    }
}

std::string FormatError(int code, const std::string& fileName, long long line) {
    std::string text = "Error in " + PrintableName(fileName) + " on line " + std::to_string(line) + ": ";
    if (const char* message = ErrorMessage(code))
        text += message;
    else
        text += "Unknown error code: " + std::to_string(code);
    text += '\n';
    return text;
}

namespace {

// Memory set aside at program start for the report of a run that ran out of
// it (the report's text is built on the heap). Far more than any report
// takes: a scene's name is at most a path long.
constexpr size_t kReportReserve = size_t{1} << 16;
char* volatile reportReserve = static_cast<char*>(std::malloc(kReportReserve));

}  // namespace

void ReportError(int code, const std::string& fileName) {
    const long long line = sceneInput().line;
    for (;;) {
        try {
            std::string text = FormatError(code, fileName, line);
            // On a terminal, and only there, the line itself follows with a
            // caret where reading stopped; pipes and logs see the report alone.
            if (isatty(STDERR_FILENO))
                text += sceneInput().ContextLines(code == kErrEndOfFile && sceneInput().AtEnd());
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
