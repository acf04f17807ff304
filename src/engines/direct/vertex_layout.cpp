#include "engines/direct/vertex_layout.h"

#include "core/errors.h"
#include "interface/vertex_type.h"

namespace kx {

void VertexLayout::append(VertexAttribute a, bool pipeline) {
    int n = 0;
    bool* flag = nullptr;
    int* offset = nullptr;
    switch (a) {
        case VertexAttribute::Position: n = 3, flag = &hasPosition, offset = &position; break;
        case VertexAttribute::Color: n = 3, flag = &hasColor, offset = &color; break;
        case VertexAttribute::Normal: n = 3, flag = &hasNormal, offset = &normal; break;
        case VertexAttribute::Texture: n = pipeline ? 4 : 2, flag = &hasTexture, offset = &texture; break;
        case VertexAttribute::Weight: n = 1, flag = &hasWeight, offset = &weight; break;
        case VertexAttribute::Opacity: n = 1, flag = &hasOpacity, offset = &opacity; break;
    }
    if (pipeline && count + n > kVertexFloats - kFixedFloats) return;
    *flag = true;
    *offset = count;
    count += n;
}

void VertexLayout::finalize() {
    for (int* o : {&position, &color, &normal, &texture, &weight, &opacity})
        if (*o >= 0) *o += kFixedFloats;
    count += kFixedFloats;
}

int VertexLayout::parse(const std::string& vertexType, bool pipeline) {
    reset();
    const VertexType t = ReadVertexType(vertexType, pipeline ? 4 : 2);
    if (!t.valid) return kErrVertexType;
    if (pipeline && t.stride > kVertexFloats - kFixedFloats) return kErrVertexType;  // does not fit
    // A repeated letter: its numbers are taken from the last one.
    const auto take = [](const VertexField& field, bool& has, int& offset) {
        has = field.present();
        offset = field.last;
    };
    take(t.position, hasPosition, position);
    take(t.color, hasColor, color);
    take(t.normal, hasNormal, normal);
    take(t.texture, hasTexture, texture);
    take(t.weight, hasWeight, weight);
    take(t.opacity, hasOpacity, opacity);
    count = t.stride;
    return 0;
}

int BuildLayouts(const std::string& vertexType, VertexLayout& input, VertexLayout& pipeline, bool plainCopy) {
    int status = input.parse(vertexType, false);
    if (status != 0) return status;
    if (!input.hasPosition) return kErrVertexType;
    if (plainCopy) {
        if (input.count > kVertexFloats - kFixedFloats) return kErrVertexType;
        pipeline = input;
    } else {
        status = pipeline.parse(vertexType, true);
        if (status != 0) return status;
    }
    pipeline.finalize();
    return 0;
}

}  // namespace kx
