#include "core/printable.h"

#include <cstdio>

namespace kx {

namespace {

// The length of the well-formed UTF-8 sequence at s[i] of a character
// from U+00A0 on, or 0.
size_t Utf8Length(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    size_t n;
    unsigned value;
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
        value = c & 0x1fu;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        value = c & 0x0fu;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        value = c & 0x07u;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xc0u) != 0x80u) return 0;
        value = (value << 6) | (byte(i + k) & 0x3fu);
    }
    const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[n] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return 0;
    if (value < 0xa0) return 0;  // C1 controls
    return n;
}

}  // namespace

std::string PrintableName(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0x80) {
            if (size_t n = Utf8Length(name, i)) {
                out.append(name, i, n);
                i += n;
                continue;
            }
        }
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\%03o", c);
                out += escape;
            }
        }
        ++i;
    }
    return out;
}

std::string ListedName(const std::string& name) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) {
            if (size_t n = Utf8Length(name, i)) {
                out.append(name, i, n);
                i += n;
                continue;
            }
        }
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xfu];
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

}  // namespace kx
