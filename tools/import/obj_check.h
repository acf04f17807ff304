// A check of Wavefront OBJ text before the model library reads it: every
// face index within the file's vertices, every line of bounded length, read
// in constant memory as the text streams by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kx {

// No real line comes near this; a face of a million corners with texture
// coordinates and normals takes about 25 MB.
constexpr size_t kObjMaxLineBytes = size_t{64} << 20;

class ObjCheck {
public:
    // Feed the text in pieces of any size; false once the text is refused
    // (error() says why).
    bool feed(const char* data, size_t size);
    // After the last piece: false when the text is refused.
    bool finish();

    const std::string& error() const { return error_; }
    // What the faces have: normals and texture coordinates on every corner,
    // on some corners.
    bool allNormals() const { return allNormals_; }
    bool anyNormals() const { return anyNormals_; }
    bool allTexcoords() const { return allTexcoords_; }
    bool anyTexcoords() const { return anyTexcoords_; }

private:
    enum class Kind { None, Face, Other };
    bool endLine();
    bool keywordChar(char c);
    bool faceChar(char c);
    bool endCorner();
    bool badFace();

    // Line state.
    uint64_t line_ = 1;
    size_t lineBytes_ = 0;
    bool comment_ = false;  // past a '#'
    std::string keyword_;
    bool keywordDone_ = false;
    Kind kind_ = Kind::None;

    // Corner being read: up to three fields (vertex/texture/normal).
    int field_ = 0;
    bool inCorner_ = false;
    bool negative_[3] = {};
    bool digits_[3] = {};
    bool present_[3] = {};
    uint64_t value_[3] = {};
    bool sign_ = false;

    uint64_t counts_[3] = {};  // v, vt, vn so far
    uint64_t faces_ = 0;
    uint64_t cornersInFace_ = 0;

    // Absolute indices beyond the count so far are allowed (the vertex may
    // come later) and checked at the end. The first face whose index goes
    // past the final count always raises the largest such index seen so
    // far, so only those rises are kept.
    struct Forward {
        uint64_t face;
        uint64_t index;
    };
    std::vector<Forward> forward_[3];

    bool allNormals_ = true, anyNormals_ = false, allTexcoords_ = true, anyTexcoords_ = false;
    std::string error_;
    // The first relative index reaching before the first vertex (syntax
    // errors and a file without vertices are reported first).
    uint64_t backFace_ = 0;
    int backField_ = -1;
    bool failed_ = false;
};

}  // namespace kx
