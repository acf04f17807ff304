#include "engines/raytrace/vertex_type.h"

namespace kx::raytrace {

bool ParseVertexType(const std::string& vertexType, int& stride, int& positionOffset, int* textureOffset,
                     int* colorOffset, int* normalOffset) {
    stride = 0;
    positionOffset = -1;
    if (textureOffset) *textureOffset = -1;
    if (colorOffset) *colorOffset = -1;
    if (normalOffset) *normalOffset = -1;
    for (char ch : vertexType) {
        switch (ch) {
            case 'P':
                if (positionOffset < 0) positionOffset = stride;
                stride += 3;
                break;
            case 'C':
                if (colorOffset && *colorOffset < 0) *colorOffset = stride;
                stride += 3;
                break;
            case 'N':
            case 'D':
                if (normalOffset && *normalOffset < 0) *normalOffset = stride;
                stride += 3;
                break;
            case 'T':
                if (textureOffset && *textureOffset < 0) *textureOffset = stride;
                stride += 2;
                break;
            case 'w':
            case 'O':
                stride += 1;
                break;
            case '"':
                break;
            default:
                return false;
        }
    }
    return true;
}

}  // namespace kx::raytrace
