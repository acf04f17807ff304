// The folder the command line sends image files to (--output): the name a
// file is written under, and the folder made when the first file goes there.
#pragma once

#include <string>

namespace kx {

// A relative name under folder ("out" and "img0001.ppm" give
// "out/img0001.ppm"); an absolute name, and every name when the folder is
// empty, stays as it is.
std::string UnderOutputFolder(const std::string& folder, const std::string& name);

// Makes the folder, with the folders above it, where they are missing. 0,
// or, when it cannot be made (or a file of that name is no folder), prints
// "cannot create folder <folder>: <the system's reason>" on standard error
// (the name written with PrintableName) and returns kErrEndOfFile.
int MakeOutputFolder(const std::string& folder);

}  // namespace kx
