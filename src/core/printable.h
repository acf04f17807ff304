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

// The name as --list-images writes it, on one line and undone exactly by
// the programs that read the list: "\\" for a backslash and "\xHH" (two
// lowercase hex digits) for each byte 0x00 .. 0x1f and 0x7f, each byte
// that is not part of well-formed UTF-8, and both bytes of the C1 control
// characters U+0080 .. U+009F; every other byte as it is.
std::string ListedName(const std::string& name);

}  // namespace kx
