// Files written whole: an image file appears under its name only when it is
// complete, also when the run is interrupted while writing it.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace kx {

// Writes a whole file so that it appears under its name only when complete:
// write() fills a temporary file in the same folder (returning false when it
// fails), which is then renamed to path. A file replaced this way keeps its
// permission bits. Any failure (the file cannot be created, a short write, a
// full disk, the rename) removes the temporary file, prints "cannot write
// <path>: <the system's reason>" on standard error (the path written with
// PrintableName; "cannot write <path>: folder <folder>: <reason>" when the
// folder is missing, is no folder or may not be written in) and returns
// kErrEndOfFile; success returns 0. A file's
// size, when known before it is written (expectedSize, 0 when not), is
// reserved on the disk first: the blocks are then in place when the rename
// replaces an older file, which would otherwise make the file system write
// them out before the rename returns.
int WriteWholeFile(const std::string& path, const std::function<bool(std::FILE*)>& write, size_t expectedSize = 0);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary file of a write in
// progress before they end the process as they otherwise would (the shell
// then reports the status 130, 143 or 129). Signals that are ignored when
// this is called stay ignored.
void RemoveTemporaryOnInterrupt();

}  // namespace kx
