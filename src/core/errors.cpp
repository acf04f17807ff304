#include "core/errors.h"

#include "core/printable.h"

namespace kx {

std::string FormatError(int code, const std::string& fileName, long long line) {
    std::string text = "Error in " + PrintableName(fileName) + " on line " + std::to_string(line) + ": ";
    if (const char* message = ErrorMessage(code))
        text += message;
    else
        text += "Unknown error code: " + std::to_string(code);
    text += '\n';
    return text;
}

}  // namespace kx
