// Running the real kxrender binary from tests, and reading what it wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kxtest {

struct RunResult {
    std::string out;  // standard output
    std::string err;  // standard error
    int status = 0;   // exit status (low byte, as the shell sees it)
};

// A fresh, empty directory under the system's temporary directory.
std::string MakeTempDir();

// Writes text to dir/name and returns the path.
std::string WriteFile(const std::string& dir, const std::string& name, const std::string& text);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// Runs kxrender with the given arguments in directory dir. When stdinText is
// given it is fed to standard input, otherwise standard input is /dev/null.
// Extra environment settings are "NAME=value" (or "NAME" to remove NAME).
RunResult RunKx(const std::vector<std::string>& args, const std::string& dir, const std::string* stdinText = nullptr,
                const std::vector<std::string>& env = {});

// The same for another program of the build (KX_OBJ2KX, for instance).
RunResult RunBinary(const std::string& binary, const std::vector<std::string>& args, const std::string& dir,
                    const std::string* stdinText = nullptr, const std::vector<std::string>& env = {});

// Writes scene.kx into a new temporary directory and renders it there.
// Returns the result; the directory is stored in *dirOut when given.
RunResult RunScene(const std::string& sceneText, std::string* dirOut = nullptr,
                   const std::vector<std::string>& env = {});

// Whether a pseudo-terminal can be opened (not in a chroot without /dev/pts).
bool TerminalAvailable();

// Runs kxrender on dir/scene.kx with standard error on a pseudo-terminal
// (raw, so that line ends arrive as written) and returns what the terminal
// received; standard output goes to /dev/null. *status is -1 when the
// program did not exit normally.
std::string RunOnTerminal(const std::string& dir, int* status);

// The numeric exit status the shell sees for a returned error code.
inline int StatusOf(int code) { return code & 0xff; }

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows top first
    bool ok = false;
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Reads a binary P6 file with maxval 255.
Image ReadPPM(const std::string& path);

}  // namespace kxtest
