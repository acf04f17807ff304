#include "claims.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace kx {

namespace {

constexpr uint64_t kHuge = uint64_t{1} << 62;

// Products and sums that stop at kHuge instead of wrapping.
uint64_t Times(uint64_t a, uint64_t b) { return b != 0 && a > kHuge / b ? kHuge : std::min(a * b, kHuge); }
uint64_t Plus(uint64_t a, uint64_t b) { return std::min(a + b, kHuge); }

// Whitespace-separated words of the text, with where each ends.
struct Words {
    std::string_view text;
    size_t at = 0;
    bool next(std::string_view& word, bool sameLine = false) {
        while (at < text.size() &&
               (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || (!sameLine && text[at] == '\n')))
            ++at;
        if (at >= text.size() || text[at] == '\n') return false;
        const size_t start = at;
        while (at < text.size() && !std::strchr(" \t\r\n", text[at])) ++at;
        word = text.substr(start, at - start);
        return true;
    }
    void skipLine() {
        while (at < text.size() && text[at] != '\n') ++at;
        if (at < text.size()) ++at;
    }
};

// A count as written (digits only), stopping at kHuge; false for no count.
bool Count(std::string_view word, uint64_t& value) {
    if (word.empty() || word.size() > 40) return false;
    value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        value = Plus(Times(value, 10), static_cast<uint64_t>(c - '0'));
    }
    return true;
}

std::string TooMany(const std::string& what, uint64_t size) {
    return "claims " + what + ", more than its " + std::to_string(size) + " bytes can hold";
}

// OFF: "[ST][C][N][4][n]OFF", the dimension after an "n", then the vertex
// and face counts. A vertex is at least a digit and a space per
// coordinate, a face at least its count and a space.
std::string CheckOff(std::string_view text, uint64_t size) {
    Words w{text};
    std::string_view word;
    if (!w.next(word)) return "";
    uint64_t dimension = 3;
    if (word.size() >= 3 && word.substr(word.size() - 3) == "OFF") {
        const std::string_view prefix = word.substr(0, word.size() - 3);
        if (prefix.find('n') != std::string_view::npos) {
            if (!w.next(word) || !Count(word, dimension)) return "";
        }
        if (prefix.find('4') != std::string_view::npos) dimension = Plus(dimension, 1);
        if (!w.next(word)) return "";
    }
    uint64_t vertices, faces;
    if (!Count(word, vertices) || !w.next(word) || !Count(word, faces)) return "";
    w.skipLine();
    const uint64_t left = size - std::min<uint64_t>(size, w.at);
    const uint64_t need = Plus(Times(vertices, Times(std::max<uint64_t>(dimension, 1), 2)), Times(faces, 2));
    if (need <= Plus(left, 1)) return "";
    return TooMany(std::to_string(vertices) + " vertices and " + std::to_string(faces) + " faces", size);
}

uint64_t PlyTypeBytes(std::string_view type) {
    for (const char* t : {"short", "int16", "ushort", "uint16"})
        if (type == t) return 2;
    for (const char* t : {"int", "int32", "uint", "uint32", "float", "float32"})
        if (type == t) return 4;
    for (const char* t : {"double", "float64"})
        if (type == t) return 8;
    return 1;  // char, uchar, int8, uint8, and what the library refuses anyway
}

// PLY: every element's count times the least room one takes: in binary the
// sizes of its properties (a list at least its count), in ASCII a digit and
// a space for each; at least a byte for an element without properties.
// The library reads a PLY header up to a zero byte, and without a line
// that starts with "end_header" it never stops.
bool PlyHeaderEnds(std::string_view text, uint64_t size) {
    size_t at = 0;
    while (at < text.size()) {
        size_t start = at;
        while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
        if (text.substr(start, 10) == "end_header") return text.substr(0, start).find('\0') == std::string_view::npos;
        const size_t end = text.find('\n', at);
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    // Not within what was read: only a file read whole can tell.
    return size > text.size() && text.find('\0') == std::string_view::npos;
}

std::string CheckPly(std::string_view text, uint64_t size) {
    Words w{text};
    std::string_view word;
    if (!w.next(word) || (word != "ply" && word != "PLY")) return "";
    if (!PlyHeaderEnds(text, size)) return "the PLY header has no \"end_header\" line";
    bool binary = false, ended = false;
    struct Element {
        std::string name;
        uint64_t count, bytes;
    };
    std::vector<Element> elements;
    while (w.at < text.size()) {
        w.skipLine();
        if (!w.next(word, true)) continue;
        if (word == "end_header") {
            w.skipLine();
            ended = true;
            break;
        }
        if (word == "format") {
            if (w.next(word, true)) binary = word.rfind("binary", 0) == 0;
        } else if (word == "element") {
            Element e{"", 0, 0};
            std::string_view count;
            if (!w.next(word, true) || !w.next(count, true) || !Count(count, e.count)) return "";
            e.name = std::string(word.substr(0, 40));
            elements.push_back(e);
        } else if (word == "property" && !elements.empty()) {
            if (!w.next(word, true)) return "";
            if (word == "list" && !w.next(word, true)) return "";
            elements.back().bytes = Plus(elements.back().bytes, binary ? PlyTypeBytes(word) : 2);
        }
    }
    if (!ended) return "";
    const uint64_t left = size - std::min<uint64_t>(size, w.at);
    uint64_t need = 0;
    std::string what;
    for (const Element& e : elements) {
        need = Plus(need, Times(e.count, std::max<uint64_t>(e.bytes, 1)));
        what += (what.empty() ? "" : " and ") + std::to_string(e.count) + " \"" + e.name + "\"";
    }
    if (need <= Plus(left, 1)) return "";
    return TooMany(what + " elements", size);
}

// Binary STL: an 80-byte header, the triangle count, 50 bytes a triangle.
// A count that only matches the size in 32-bit arithmetic is refused too.
std::string CheckStl(std::string_view text, uint64_t size) {
    if (text.size() < 84 || size < 84) return "";
    uint32_t count;
    std::memcpy(&count, text.data() + 80, 4);
    const uint64_t exact = 84 + uint64_t{50} * count;
    const bool wraps = static_cast<uint32_t>(exact) == static_cast<uint32_t>(size) && exact != size;
    std::string_view start = text.substr(0, 80);
    while (!start.empty() && std::strchr(" \t\r\n", start[0])) start.remove_prefix(1);
    const bool ascii = start.rfind("solid", 0) == 0;
    if (!wraps && (ascii || exact <= size)) return "";
    return TooMany(std::to_string(count) + " triangles", size);
}

}  // namespace

std::string CheckClaims(const std::string& ext, const char* head, size_t headSize, uint64_t size) {
    const std::string_view text(head, std::min(headSize, kClaimsHeadBytes));
    if (ext == "off") return CheckOff(text, size);
    if (ext == "ply") return CheckPly(text, size);
    if (ext == "stl") return CheckStl(text, size);
    return "";
}

}  // namespace kx
