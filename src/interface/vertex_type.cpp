#include "interface/vertex_type.h"

namespace kx {

VertexType ReadVertexType(std::string_view type, int textureSize) {
    VertexType t;
    for (char c : type) {
        VertexField* field = nullptr;
        int size = 0;
        switch (c) {
            case 'P': field = &t.position, size = 3; break;
            case 'N':
            case 'D': field = &t.normal, size = 3; break;
            case 'C': field = &t.color, size = 3; break;
            case 'T': field = &t.texture, size = textureSize; break;
            case 'w': field = &t.weight, size = 1; break;
            case 'O': field = &t.opacity, size = 1; break;
            case '"': continue;
            default: return t;
        }
        if (field->first < 0) field->first = t.stride;
        field->last = t.stride;
        t.stride += size;
        if (t.stride > kMaxVertexStride) return t;
    }
    t.valid = true;
    return t;
}

int VertexStride(std::string_view type, bool withOpacity) {
    const VertexType t = ReadVertexType(type);
    if (!t.valid || (t.opacity.present() && !withOpacity)) return -1;
    return t.stride;
}

}  // namespace kx
