#include "obj_check.h"

#include <cstdint>

namespace kx {

namespace {

constexpr const char* kFieldNames[3] = {"vertex", "texture coordinate", "normal"};
// Index values are kept exactly up to here; larger ones are out of range
// anyway.
constexpr uint64_t kIndexCeiling = uint64_t{1} << 40;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

bool ObjCheck::feed(const char* data, size_t size) {
    for (size_t i = 0; i < size && !failed_; ++i) {
        const char c = data[i];
        if (c == '\n') {
            if (!endLine()) return false;
            continue;
        }
        if (++lineBytes_ > kObjMaxLineBytes) {
            error_ = "line " + std::to_string(line_) + ": longer than " + std::to_string(kObjMaxLineBytes) +
                     " bytes";
            failed_ = true;
            return false;
        }
        if (comment_) continue;
        if (c == '#') {
            if (kind_ == Kind::Face && !endCorner()) return false;
            comment_ = true;
            continue;
        }
        if (!keywordDone_) {
            if (!keywordChar(c)) return false;
        } else if (kind_ == Kind::Face) {
            if (!faceChar(c)) return false;
        }
    }
    return !failed_;
}

bool ObjCheck::keywordChar(char c) {
    if (isBlank(c)) {
        if (keyword_.empty()) return true;  // blanks before the keyword
        keywordDone_ = true;
        if (keyword_ == "v") {
            ++counts_[0];
        } else if (keyword_ == "vt") {
            ++counts_[1];
        } else if (keyword_ == "vn") {
            ++counts_[2];
        } else if (keyword_ == "f") {
            kind_ = Kind::Face;
            ++faces_;
            cornersInFace_ = 0;
            return true;
        }
        kind_ = Kind::Other;
        return true;
    }
    if (keyword_.size() < 8) keyword_ += c;
    return true;
}

bool ObjCheck::faceChar(char c) {
    if (isBlank(c)) return endCorner();
    if (!inCorner_) {
        inCorner_ = true;
        field_ = 0;
        sign_ = false;
        for (int f = 0; f < 3; ++f) {
            negative_[f] = digits_[f] = present_[f] = false;
            value_[f] = 0;
        }
        present_[0] = true;
    }
    if (c == '/') {
        if (field_ == 2 || sign_) return badFace();
        ++field_;
        present_[field_] = true;
        return true;
    }
    if (c == '-') {
        if (digits_[field_] || negative_[field_]) return badFace();
        negative_[field_] = true;
        sign_ = true;
        return true;
    }
    if (c < '0' || c > '9') return badFace();
    sign_ = false;
    digits_[field_] = true;
    value_[field_] = value_[field_] * 10 + static_cast<uint64_t>(c - '0');
    if (value_[field_] > kIndexCeiling) value_[field_] = kIndexCeiling;
    return true;
}

bool ObjCheck::badFace() {
    error_ = "line " + std::to_string(line_) +
             ": bad face (indices are numbers counted from 1, or negative from the end)";
    failed_ = true;
    return false;
}

bool ObjCheck::endCorner() {
    if (!inCorner_) return true;
    inCorner_ = false;
    ++cornersInFace_;
    // v, v/t, v//n or v/t/n.
    if (!digits_[0] || (present_[1] && !digits_[1] && !present_[2]) || (present_[2] && !digits_[2]))
        return badFace();
    for (int f = 0; f < 3; ++f) {
        if (!digits_[f]) continue;
        if (value_[f] == 0) return badFace();
        if (negative_[f]) {
            if (value_[f] > counts_[f] && backField_ < 0) {
                backFace_ = faces_;
                backField_ = f;
            }
        } else if (value_[f] > counts_[f]) {
            std::vector<Forward>& list = forward_[f];
            if (list.empty() || value_[f] > list.back().index) list.push_back({faces_, value_[f]});
        }
    }
    allTexcoords_ = allTexcoords_ && digits_[1];
    anyTexcoords_ = anyTexcoords_ || digits_[1];
    allNormals_ = allNormals_ && digits_[2];
    anyNormals_ = anyNormals_ || digits_[2];
    return true;
}

bool ObjCheck::endLine() {
    if (!keywordDone_ && !keyword_.empty()) keywordChar(' ');  // a keyword alone on its line
    if (kind_ == Kind::Face) {
        if (!endCorner()) return false;
        if (cornersInFace_ == 0) return badFace();
    }
    ++line_;
    lineBytes_ = 0;
    comment_ = false;
    keyword_.clear();
    keywordDone_ = false;
    kind_ = Kind::None;
    return true;
}

bool ObjCheck::finish() {
    if (failed_) return false;
    if ((lineBytes_ > 0 || !keyword_.empty()) && !endLine()) return false;
    if (counts_[0] == 0) {
        error_ = "no vertices";
        return false;
    }
    // The earliest face with an index out of range: backward ones were
    // noted as they came, forward ones are checked against the totals.
    uint64_t worstFace = backField_ >= 0 ? backFace_ : UINT64_MAX;
    int worstField = backField_;
    for (int f = 0; f < 3; ++f)
        for (const Forward& fw : forward_[f])
            if (fw.index > counts_[f]) {
                if (fw.face < worstFace) {
                    worstFace = fw.face;
                    worstField = f;
                }
                break;
            }
    if (worstField >= 0) {
        error_ = "face " + std::to_string(worstFace) + ": " + kFieldNames[worstField] +
                 " index out of range (the file has " + std::to_string(counts_[worstField]) +
                 (worstField == 0 ? " vertices)" : ")");
        return false;
    }
    if (faces_ == 0) {
        error_ = "no faces";
        return false;
    }
    return true;
}

}  // namespace kx
