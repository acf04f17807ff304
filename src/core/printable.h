// Names from the scene or the command line on a terminal: whatever is in
// them must not reach the terminal as control characters.
#pragma once

#include <string>

namespace kx {

// The name with every byte that is no printable character written as an
// escape: "\n", "\t", "\r", "\\" and "\ooo" (three octal digits) for the
// rest. Well-formed UTF-8 stays as it is, except for the C1 control
// characters U+0080 .. U+009F.
std::string PrintableName(const std::string& name);

}  // namespace kx
