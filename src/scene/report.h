// The one report a failed run prints: the code's message with the scene's
// name and line (core/errors.h), and on a terminal the line itself.
#pragma once

#include <string>

namespace kx {

class SceneInput;

// "Error in <file> on line <line>: <message>" on standard error, at the
// line the input has reached; on a terminal the text of that line follows
// with a caret where reading stopped.
void ReportError(int code, const std::string& fileName, const SceneInput& input);

}  // namespace kx
