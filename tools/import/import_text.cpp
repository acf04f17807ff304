#include "import_text.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "import.h"

namespace kx {

int Fail(std::FILE* err, const std::string& path, const std::string& what) {
    std::fprintf(err, "%s: %s\n", KxEscape(path, false).c_str(), KxEscape(what, false).c_str());
    return 1;
}

void Warn(std::FILE* err, const std::string& path, const std::string& what) {
    std::fprintf(err, "%s: warning: %s\n", KxEscape(path, false).c_str(), KxEscape(what, false).c_str());
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot + 1));
}

std::string Folder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string WorkingFolder() {
    std::vector<char> buf(PATH_MAX);
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE || buf.size() > (1u << 20)) return "/";
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

std::string LexicalPath(const std::string& path) {
    const std::string absolute = !path.empty() && path[0] == '/' ? path : WorkingFolder() + "/" + path;
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= absolute.size()) {
        size_t end = absolute.find('/', at);
        if (end == std::string::npos) end = absolute.size();
        const std::string part = absolute.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> r(realpath(path.c_str(), nullptr), &std::free);
    return r ? std::string(r.get()) : std::string();
}

bool Below(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.empty()) return false;
    if (folder == "/") return path.size() > 1 && path[0] == '/';
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

void WriteNumber(std::string& line, float value) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    line += ' ';
    line.append(buf, r.ptr);
}

}  // namespace kx
