// Vertex type strings: the letters P, N, C, D (3 numbers each), T (2) and
// w (1); double quotes count nothing.
#pragma once

#include <string>

namespace kx {

// Numbers per vertex, or -1 for a string with any other character.
inline int VertexStride(const std::string& type) {
    int stride = 0;
    for (char c : type) {
        switch (c) {
            case 'P':
            case 'N':
            case 'C':
            case 'D': stride += 3; break;
            case 'T': stride += 2; break;
            case 'w': stride += 1; break;
            case '"': break;
            default: return -1;
        }
        if (stride > (1 << 24)) return -1;  // no real vertex has that many fields
    }
    return stride;
}

}  // namespace kx
