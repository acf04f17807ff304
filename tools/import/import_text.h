// Small text helpers shared by the importer's parts: one-line messages,
// file names and paths, numbers as scene text.
#pragma once

#include <cstdio>
#include <string>

#include "core/paths.h"

namespace kx {

// "<path>: <what>" on err, one line whatever the names hold; returns 1.
int Fail(std::FILE* err, const std::string& path, const std::string& what);
// "<path>: warning: <what>" on err, one line.
void Warn(std::FILE* err, const std::string& path, const std::string& what);

std::string Lower(std::string s);
// The name's extension without the dot, in lower case; "" when none.
std::string Extension(const std::string& path);
// The folder part of a path with its final '/'; "" when none.
std::string Folder(const std::string& path);
// The last component of a path: kx::BaseName (core/paths.h).

// Paths. The current folder; a path made absolute with ".", ".." and
// repeated slashes resolved by name (a ".." above the root stays at the
// root, as the system takes it); the same with symbolic links resolved ("" when
// it does not exist); whether a path lies in or below a folder (both absolute,
// the folder without a final '/').
std::string WorkingFolder();
std::string LexicalPath(const std::string& path);
std::string RealPath(const std::string& path);
bool Below(const std::string& path, const std::string& folder);

// A space and the shortest text that reads back as value.
void WriteNumber(std::string& line, float value);

}  // namespace kx
