// The commands that carry vertex lists: Curve, Patch, PointSet, LineSet,
// PolySet and Subdivision. Their counts come from the file, and their
// indices go to the input's shared index buffer.
#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "interface/vertex_type.h"
#include "scene/command_reader.h"
#include "scene/input.h"
#include "scene/numbers.h"
#include "scene/parser.h"

namespace kx {

namespace {

// Error codes of one vertex-list command.
struct ListCodes {
    int notNumber;     // a vertex word that is no number
    int noIndex;       // an index word that is no number
    int decimalPoint;  // an index followed by a decimal point
};
constexpr ListCodes kPolySetCodes{kErrVertexCoordExpected, kErrVertexIndexExpected, kErrIntegerExpected};
constexpr ListCodes kPointSetCodes{kErrVertexCoordExpected, 0, 0};
constexpr ListCodes kLineSetCodes{kErrIllegalContext, kErrIllegalContext, kErrIntegerExpected};
constexpr ListCodes kBezierCodes{kErrIllegalContext, 0, 0};
constexpr ListCodes kSubdivisionCodes{kErrVertexCoordExpected, kErrVertexIndexExpected, kErrVertexIndexExpected};

// a * b, saturating (counts come from the file and may be absurd).
long long SaturatingProduct(long long a, long long b) {
    if (a <= 0 || b <= 0) return 0;
    if (a > LLONG_MAX / b) return LLONG_MAX;
    return a * b;
}

// The arguments of a command and its vertex data, word by word.
class VertexReader : public CommandReader {
public:
    explicit VertexReader(SceneInput& in) : CommandReader(in) {}

    // count numbers of vertex data, appended to out.
    int vertexNumbers(long long count, int notNumber, std::vector<float>& out) {
        out.clear();
        // One buffer for the whole list instead of a doubling series of
        // copies (a count from the file is taken at its word only so far).
        try {
            out.reserve(static_cast<size_t>(std::min<long long>(count, 1 << 24)));
        } catch (const std::exception&) {
        }
        long long k = 0;
        auto take = [&](double v) {
            out.push_back(static_cast<float>(v));
            return ++k < count;
        };
        while (k < count) {
            if (in_.takePlainWords<double, ReadPlainDouble>(take) > 0) continue;
            in_.skipBlank();
            if (in_.atEnd()) return kErrEndOfFile;
            if (in_.takePlainWords<double, ReadPlainDouble>(take) > 0) continue;
            in_.readToken(token_);
            const char* start = token_.c_str();
            char* end = nullptr;
            double v = ReadDouble(start, &end);
            if (end == start) return notNumber;
            take(v);
        }
        return 0;
    }

    // One index word for a list over nvertices vertices: 0 and the value.
    int index(int nvertices, const ListCodes& codes, long& value) {
        in_.skipBlank();
        if (in_.atEnd()) return kErrEndOfFile;
        in_.readToken(token_);
        const char* start = token_.c_str();
        char* end = nullptr;
        value = ReadLong(start, &end);
        if (end == start) return codes.noIndex;
        if (*end == '.') return codes.decimalPoint;
        return checkIndex(nvertices, value);
    }

    static int checkIndex(int nvertices, long value) {
        return value >= nvertices || value < -1 ? kErrVertexIndexRange : 0;
    }

    // Appends a value to the shared index buffer at position n.
    bool store(int& n, int value) {
        if (n >= in_.indexCapacity && !in_.growIndexBuffer()) return false;
        in_.indexBuffer[n++] = value;
        return true;
    }

    // An index list of items lists, each ended by -1, into the index buffer;
    // the number of stored entries in n.
    int indexList(int nvertices, int items, const ListCodes& codes, int& n) {
        n = 0;
        int closed = 0, status = 0;
        // The plain index words in place, as index() would read them.
        auto take = [&](long v) {
            if ((status = checkIndex(nvertices, v)) != 0) return false;
            if (!store(n, static_cast<int>(v))) {
                status = kErrDisplayMemory;
                return false;
            }
            return v != -1 || ++closed < items;
        };
        while (closed < items) {
            if (in_.takePlainWords<long, ReadPlainLong<true>>(take) > 0) {
                if (status != 0) return status;
                continue;
            }
            long v = 0;
            if (int s = index(nvertices, codes, v)) return s;
            if (!store(n, static_cast<int>(v))) return kErrDisplayMemory;
            if (v == -1) ++closed;
        }
        return 0;
    }

private:
    std::string token_;
};

}  // namespace

int SceneParser::readCurve() {
    VertexReader r(input_);
    r.word(s1_);
    if (s1_ != "\"Bezier\"") return kErrCurveType;
    r.word(s2_);
    int stride = VertexStride(s2_);
    if (stride < 0) return kErrVertexType;
    int degree = r.skipInt();
    if (r.truncated()) return kErrEndOfFile;
    if (degree < 0) return kErrBsplineMismatch;
    long long count = SaturatingProduct(static_cast<long long>(degree) + 1, stride);
    if (int s = r.vertexNumbers(count, kBezierCodes.notNumber, floats_)) return s;
    return recordOrCall<Command::Curve, &RenderEngine::Curve>(s2_, degree, floats_);
}

int SceneParser::readLineSet() { return readIndexedSet(Command::LineSet); }
int SceneParser::readPolySet() { return readIndexedSet(Command::PolySet); }

int SceneParser::readIndexedSet(Command command) {
    const bool poly = command == Command::PolySet;
    const ListCodes& codes = poly ? kPolySetCodes : kLineSetCodes;
    VertexReader r(input_);
    r.word(s1_);
    int stride = VertexStride(s1_, poly);
    if (stride < 0) return kErrVertexType;
    int nvertices = r.skipInt();
    int nitems = r.skipInt();
    if (r.truncated()) return kErrEndOfFile;
    if (nvertices < 0 || nitems < 0) return kErrVertexIndexRange;
    if (stride == 0 && nvertices > 0) return kErrVertexType;
    if (int s = r.vertexNumbers(SaturatingProduct(nvertices, stride), codes.notNumber, floats_)) return s;
    int n = 0;
    if (int s = r.indexList(nvertices, nitems, codes, n)) return s;
    // Called at once, the operation reads the indices in the shared buffer;
    // a definition keeps a copy.
    const int* indices = input_.indexBuffer.get();
    if (recording()) {
        std::vector<int> copy(indices, indices + n);
        if (poly)
            objects_.record(std::make_unique<RecordedCall<Command::PolySet, &RenderEngine::PolySet>>(
                s1_, nvertices, floats_, nitems, std::move(copy)));
        else
            objects_.record(std::make_unique<RecordedCall<Command::LineSet, &RenderEngine::LineSet>>(
                s1_, nvertices, floats_, nitems, std::move(copy)));
        return 0;
    }
    RenderEngine& engine = *engine_;
    return poly ? engine.PolySet(s1_, nvertices, floats_.data(), nitems, indices)
                : engine.LineSet(s1_, nvertices, floats_.data(), nitems, indices);
}

int SceneParser::readPatch() {
    VertexReader r(input_);
    r.word(s1_);
    r.word(s2_);
    int stride = VertexStride(s2_);
    if (stride < 0) return kErrVertexType;
    if (s1_ != "\"Bezier\"") return kErrPatchType;
    int udegree = r.skipInt();
    int vdegree = r.i();
    if (r.truncated()) return kErrEndOfFile;
    if (udegree < 0 || vdegree < 0) return kErrBsplineMismatch;
    long long count = SaturatingProduct(
        SaturatingProduct(static_cast<long long>(udegree) + 1, static_cast<long long>(vdegree) + 1), stride);
    if (int s = r.vertexNumbers(count, kBezierCodes.notNumber, floats_)) return s;
    return recordOrCall<Command::Patch, &RenderEngine::Patch>(s2_, udegree, vdegree, floats_);
}

int SceneParser::readPointSet() {
    VertexReader r(input_);
    r.word(s1_);
    int stride = VertexStride(s1_);
    if (stride < 0) return kErrVertexType;
    int count = r.skipInt();
    if (r.truncated()) return kErrEndOfFile;
    if (count < 0) return kErrVertexIndexRange;
    if (stride == 0 && count > 0) return kErrVertexType;
    if (int s = r.vertexNumbers(SaturatingProduct(count, stride), kPointSetCodes.notNumber, floats_)) return s;
    return recordOrCall<Command::PointSet, &RenderEngine::PointSet>(s1_, count, floats_);
}

int SceneParser::readSubdivision() {
    VertexReader r(input_);
    r.word(s1_);
    r.word(s2_);
    int stride = VertexStride(s2_);
    if (stride < 0) return kErrVertexType;
    if (s1_ != "\"Catmull-Clark\"") return kErrPatchType;
    int nvertices = r.skipInt();
    int nfaces = r.skipInt();
    int ncreases = r.skipInt();
    if (r.truncated()) return kErrEndOfFile;
    if (nvertices < 0 || nfaces < 0 || ncreases < 0) return kErrVertexIndexRange;
    if (stride == 0 && nvertices > 0) return kErrVertexType;
    const ListCodes& codes = kSubdivisionCodes;
    if (int s = r.vertexNumbers(SaturatingProduct(nvertices, stride), codes.notNumber, floats_)) return s;
    int n = 0;
    if (int s = r.indexList(nvertices, nfaces, codes, n)) return s;
    const int* buffer = input_.indexBuffer.get();
    std::vector<int> faces(buffer, buffer + n);
    std::vector<int> creases;
    std::vector<float> sharpness;
    creases.reserve(10);
    sharpness.reserve(10);
    for (int k = 0; k < ncreases; ++k) {
        int length = 0;
        for (;;) {
            long v = 0;
            if (int s = r.index(nvertices, codes, v)) return s;
            creases.push_back(static_cast<int>(v));
            if (v == -1) break;
            ++length;
        }
        std::vector<float> values;
        if (int s = r.vertexNumbers(length > 0 ? length - 1 : 0, kErrFloatExpected, values)) return s;
        sharpness.insert(sharpness.end(), values.begin(), values.end());
    }
    auto object = std::make_unique<RecordedCall<Command::Subdivision, &RenderEngine::Subdivision>>(
        s2_, floats_, nvertices, std::move(faces), nfaces, std::move(creases), ncreases, std::move(sharpness));
    if (recording()) {
        objects_.record(std::move(object));
        return 0;
    }
    return object->replay(*engine_);
}

}  // namespace kx
