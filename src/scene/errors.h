// Error messages and the one report a failed run prints.
#pragma once

#include <string>

namespace kx {

// The message of a code, or null for codes without one.
const char* ErrorMessage(int code);

// "Error in <file> on line <line>: <message>" on standard error, the file
// name written with PrintableName.
void ReportError(int code, const std::string& fileName);

// The report text itself (without writing it).
std::string FormatError(int code, const std::string& fileName, long long line);

}  // namespace kx
