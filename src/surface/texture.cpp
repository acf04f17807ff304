#include "surface/texture.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/errors.h"
#include "core/paths.h"
#include "surface/texture_formats.h"

namespace kx {
namespace {

// ---------------------------------------------------------------------------
// Reading PNM files

bool isBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// A read position in the bytes of a map file. Every read checks the end.
class Cursor {
public:
    Cursor(const uint8_t* p, size_t n) : p_(p), end_(p + n) {}

    size_t remaining() const { return static_cast<size_t>(end_ - p_); }
    const uint8_t* here() const { return p_; }
    void advance(size_t n) { p_ += n; }

    // White space and comments ('#' to the end of the line).
    void skipBlanks() {
        while (p_ < end_) {
            if (isBlank(*p_)) {
                ++p_;
            } else if (*p_ == '#') {
                while (p_ < end_ && *p_ != '\n' && *p_ != '\r') ++p_;
            } else {
                break;
            }
        }
    }

    // A decimal header number no larger than limit.
    bool number(uint64_t limit, uint64_t& out) {
        skipBlanks();
        if (p_ == end_ || !isDigit(*p_)) return false;
        uint64_t v = 0;
        while (p_ < end_ && isDigit(*p_)) {
            v = v * 10 + (*p_++ - '0');
            if (v > limit) return false;
        }
        out = v;
        return true;
    }

    // A plain sample: a decimal number of which the low 8 bits are kept.
    bool sample(uint8_t& out) {
        skipBlanks();
        if (p_ == end_ || !isDigit(*p_)) return false;
        unsigned v = 0;
        while (p_ < end_ && isDigit(*p_)) v = (v * 10 + (*p_++ - '0')) & 0xFFu;
        out = static_cast<uint8_t>(v);
        return true;
    }

    // A plain bitmap pixel: '0' or '1', separators optional.
    bool bit(bool& out) {
        skipBlanks();
        if (p_ == end_ || (*p_ != '0' && *p_ != '1')) return false;
        out = *p_++ == '1';
        return true;
    }

    bool skipOne() {
        if (p_ == end_) return false;
        ++p_;
        return true;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// Bitmap pixels: 1 is black, 0 is white.
uint8_t bitValue(bool set) { return set ? 0 : 255; }

// Fewest bytes of pixel data a file of this type and size can have: raw
// data has its exact size; a plain sample takes at least one character and
// is separated from the next one (bitmap pixels need no separator).
uint64_t minimumDataBytes(int type, uint64_t w, uint64_t h) {
    const uint64_t pixels = w * h;
    switch (type) {
        case 1: return pixels;
        case 2: return 2 * pixels - 1;
        case 3: return 6 * pixels - 1;
        case 4: return (w + 7) / 8 * h;
        case 5: return pixels;
        default: return 3 * pixels;
    }
}

// Decodes the pixel data into level 0 (whose planes are allocated). The
// file's rows run from the top of the image down, the planes' from the
// bottom up.
bool decodePixels(int type, Cursor& in, TextureLevel& lv) {
    const size_t w = static_cast<size_t>(lv.width);
    const int h = lv.height;
    for (int r = 0; r < h; ++r) {
        const size_t base = static_cast<size_t>(h - 1 - r) * w;
        uint8_t* red = lv.red.data() + base;
        uint8_t* green = lv.green.data() + base;
        uint8_t* blue = lv.blue.data() + base;
        switch (type) {
            case 1:
                for (size_t x = 0; x < w; ++x) {
                    bool set;
                    if (!in.bit(set)) return false;
                    red[x] = bitValue(set);
                }
                break;
            case 2:
                for (size_t x = 0; x < w; ++x)
                    if (!in.sample(red[x])) return false;
                break;
            case 3:
                for (size_t x = 0; x < w; ++x)
                    if (!in.sample(red[x]) || !in.sample(green[x]) || !in.sample(blue[x])) return false;
                break;
            case 4: {
                const size_t rowBytes = (w + 7) / 8;
                if (in.remaining() < rowBytes) return false;
                const uint8_t* p = in.here();
                for (size_t x = 0; x < w; ++x) red[x] = bitValue((p[x >> 3] >> (7 - (x & 7))) & 1);
                in.advance(rowBytes);
                break;
            }
            case 5:
                if (in.remaining() < w) return false;
                std::memcpy(red, in.here(), w);
                in.advance(w);
                break;
            default: {
                if (in.remaining() / 3 < w) return false;
                const uint8_t* p = in.here();
                for (size_t x = 0; x < w; ++x) {
                    red[x] = p[3 * x];
                    green[x] = p[3 * x + 1];
                    blue[x] = p[3 * x + 2];
                }
                in.advance(3 * w);
                break;
            }
        }
        if (type != 3 && type != 6) {  // one sample per pixel: grey
            std::memcpy(green, red, w);
            std::memcpy(blue, red, w);
        }
    }
    return true;
}

int parsePnm(const uint8_t* data, size_t size, TextureMap& out) {
    if (SniffImageFile(data, size) != ImageFileKind::Pnm) return kErrMapFormat;
    const int type = data[1] - '0';
    Cursor in(data + 2, size - 2);

    uint64_t w = 0, h = 0, maxValue = 0;
    if (!in.number(INT_MAX, w) || !in.number(INT_MAX, h)) return kErrMapFormat;
    if (type != 1 && type != 4 && !in.number(INT_MAX, maxValue)) return kErrMapFormat;  // not used
    if (!in.skipOne()) return kErrMapFormat;
    if (w == 0 || h == 0 || w * h > kMaxMapPixels) return kErrMapFormat;
    if (minimumDataBytes(type, w, h) > in.remaining()) return kErrMapFormat;

    out.levels.resize(1);
    TextureLevel& lv = out.levels[0];
    lv.width = static_cast<int>(w);
    lv.height = static_cast<int>(h);
    const size_t pixels = static_cast<size_t>(w * h);
    lv.red.assign(pixels, 0);
    lv.green.assign(pixels, 0);
    lv.blue.assign(pixels, 0);
    if (!decodePixels(type, in, lv)) return kErrMapFormat;
    return kOk;
}

// Builds for fuzzing decode smaller images, so that a small compressed file
// cannot spend the fuzzer's time on a legitimately huge picture.
#ifdef KX_FUZZ_BUILD
constexpr uint64_t kMaxDecodedPixels = uint64_t{1} << 20;
#else
constexpr uint64_t kMaxDecodedPixels = kMaxMapPixels;
#endif

// The file's kind is told by its first bytes, not by its name.
int parseTexture(const uint8_t* data, size_t size, const std::string& label, TextureMap& out) {
    int rc = kErrMapFormat;
    switch (SniffImageFile(data, size)) {
        case ImageFileKind::Pnm: rc = parsePnm(data, size, out); break;
        case ImageFileKind::Png:
            out.levels.resize(1);
            rc = DecodePng(data, size, kMaxDecodedPixels, out.levels[0]);
            break;
        case ImageFileKind::Jpeg:
            out.levels.resize(1);
            rc = DecodeJpeg(data, size, kMaxDecodedPixels, out.levels[0]);
            break;
        case ImageFileKind::Unknown: break;
    }
    if (rc != kOk) return rc;
    BuildTextureLevels(out);
    out.label = label;
    return kOk;
}

// Reads a whole file; -29 when it is larger than any map file may be or
// does not start like one.
int readFile(std::FILE* f, std::vector<uint8_t>& bytes) {
    constexpr size_t kChunk = size_t{1} << 16;
    for (;;) {
        const size_t old = bytes.size();
        if (old > kMaxMapFileBytes) return kErrMapFormat;
        bytes.resize(old + kChunk);
        const size_t n = std::fread(bytes.data() + old, 1, kChunk, f);
        bytes.resize(old + n);
        if (old == 0 && !MayBeImageFile(bytes.data(), n)) return kErrMapFormat;
        if (n < kChunk) return kOk;
    }
}

// ---------------------------------------------------------------------------
// Reduced levels

// The footprint of one reduced texel along one axis, in units of 1/n of a
// level-0 texel (n = texels of the reduced level along the axis, N = of
// level 0): texel i covers [i N, (i + 1) N), level-0 texel k covers
// [k n, (k + 1) n). Interior level-0 texels weigh n.
struct Footprint {
    int first = 0, last = 0;
    uint64_t firstWeight = 0, lastWeight = 0;
    uint64_t weight(int k, uint64_t n) const {
        return k == first ? firstWeight : k == last ? lastWeight : n;
    }
};

std::vector<Footprint> footprints(int N, int n) {
    std::vector<Footprint> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int64_t lo = static_cast<int64_t>(i) * N, hi = lo + N;
        Footprint& f = out[static_cast<size_t>(i)];
        f.first = static_cast<int>(lo / n);
        f.last = static_cast<int>((hi - 1) / n);
        if (f.first == f.last) {
            f.firstWeight = f.lastWeight = static_cast<uint64_t>(N);
        } else {
            f.firstWeight = static_cast<uint64_t>((f.first + 1) * static_cast<int64_t>(n) - lo);
            f.lastWeight = static_cast<uint64_t>(hi - f.last * static_cast<int64_t>(n));
        }
    }
    return out;
}

// Weighted sum of one row of level 0 over a horizontal footprint.
uint64_t rowSum(const uint8_t* row, const Footprint& f, uint64_t n) {
    if (f.first == f.last) return row[f.first] * f.firstWeight;
    uint64_t interior = 0;
    for (int k = f.first + 1; k < f.last; ++k) interior += row[k];
    return row[f.first] * f.firstWeight + interior * n + row[f.last] * f.lastWeight;
}

// One plane of a reduced level from the same plane of level 0: horizontal
// sums weighted vertically, divided by W0 * H0 with rounding to nearest and
// an exact half rounding down.
void reducePlane(const std::vector<uint8_t>& src, int W0, int H0, const std::vector<Footprint>& fx,
                 const std::vector<Footprint>& fy, std::vector<uint8_t>& dst, std::vector<uint64_t>& acc) {
    const uint64_t w = fx.size(), h = fy.size();
    const uint64_t area = static_cast<uint64_t>(W0) * static_cast<uint64_t>(H0);
    dst.assign(static_cast<size_t>(w * h), 0);
    for (size_t j = 0; j < h; ++j) {
        std::fill(acc.begin(), acc.end(), 0);
        const Footprint& fj = fy[j];
        for (int r = fj.first; r <= fj.last; ++r) {
            const uint64_t wy = fj.weight(r, h);
            const uint8_t* row = src.data() + static_cast<size_t>(r) * static_cast<size_t>(W0);
            for (size_t i = 0; i < w; ++i) acc[i] += wy * rowSum(row, fx[i], w);
        }
        uint8_t* out = dst.data() + j * w;
        for (size_t i = 0; i < w; ++i) out[i] = static_cast<uint8_t>((2 * acc[i] + area - 1) / (2 * area));
    }
}

// ---------------------------------------------------------------------------
// Lookup

// Texel coordinates beyond this are as far outside as it matters; keeping
// them within it makes every conversion to int well defined.
constexpr float kCoordLimit = 1073741824.0f;  // 2^30

inline float guardCoord(float f) {
    if (f >= -kCoordLimit && f <= kCoordLimit) return f;
    return f > 0 ? kCoordLimit : -kCoordLimit;  // NaN goes below
}

inline int floorToInt(float f) {  // |f| <= 2^30
    int i = static_cast<int>(f);
    return f < static_cast<float>(i) ? i - 1 : i;
}

// Brings a texel coordinate into 0..n-1 under a border mode; false when the
// texel is outside ("none").
inline bool resolveAxis(int& x, int n, MapBorderMode mode) {
    if (x >= 0 && x < n) return true;
    switch (mode) {
        case MapBorderMode::None: return false;
        case MapBorderMode::Clamp: x = x < 0 ? 0 : n - 1; return true;
        case MapBorderMode::Repeat:
            x %= n;
            if (x < 0) x += n;
            return true;
    }
    return false;
}

struct Fetcher {
    const TextureLevel& lv;
    MapBorderMode uBorder, vBorder;
    ColorRGB outside;  // the current colour in 0..255.9999

    ColorRGB operator()(int x, int y) const {
        if (!resolveAxis(x, lv.width, uBorder) || !resolveAxis(y, lv.height, vBorder)) return outside;
        const size_t i = static_cast<size_t>(y) * static_cast<size_t>(lv.width) + static_cast<size_t>(x);
        return {static_cast<float>(lv.red[i]), static_cast<float>(lv.green[i]), static_cast<float>(lv.blue[i])};
    }
};

inline ColorRGB mix(const ColorRGB& a, float wa, const ColorRGB& b, float wb) {
    return {a.r * wa + b.r * wb, a.g * wa + b.g * wb, a.b * wa + b.b * wb};
}

constexpr float kTexelScale = 255.9999f;

bool parseFilter(const std::string& s, MapFilter& out) {
    if (s == "nearest") out = MapFilter::Nearest;
    else if (s == "linear") out = MapFilter::Linear;
    else return false;
    return true;
}

bool parseBorder(const std::string& s, MapBorderMode& out) {
    if (s == "none") out = MapBorderMode::None;
    else if (s == "clamp") out = MapBorderMode::Clamp;
    else if (s == "repeat") out = MapBorderMode::Repeat;
    else return false;
    return true;
}

// Stores each of two named settings that is valid; failCode if either is not.
template <typename T>
int setPair(bool (*parse)(const std::string&, T&), const std::string& a, T& outA, const std::string& b,
            T& outB, int failCode) {
    const bool okA = parse(a, outA);
    const bool okB = parse(b, outB);
    return okA && okB ? kOk : failCode;
}

const char* const kMapType = "texture";

}  // namespace

// ---------------------------------------------------------------------------

void BuildTextureLevels(TextureMap& map) {
    if (map.levels.empty()) return;
    const int W0 = map.levels[0].width, H0 = map.levels[0].height;
    if (W0 <= 0 || H0 <= 0) return;
    const int count = std::bit_width(static_cast<unsigned>(std::min(W0, H0)));
    map.levels.resize(static_cast<size_t>(count));
    const TextureLevel& base = map.levels[0];
    std::vector<uint64_t> acc;
    for (int L = 1; L < count; ++L) {
        TextureLevel& lv = map.levels[static_cast<size_t>(L)];
        lv.width = W0 >> L;
        lv.height = H0 >> L;
        const std::vector<Footprint> fx = footprints(W0, lv.width), fy = footprints(H0, lv.height);
        acc.assign(static_cast<size_t>(lv.width), 0);
        reducePlane(base.red, W0, H0, fx, fy, lv.red, acc);
        reducePlane(base.green, W0, H0, fx, fy, lv.green, acc);
        reducePlane(base.blue, W0, H0, fx, fy, lv.blue, acc);
    }
}

int ParseTextureData(const uint8_t* data, size_t size, const std::string& label, TextureMap& out) {
    out = TextureMap{};
    int rc;
    try {
        rc = parseTexture(data, size, label, out);
    } catch (const std::bad_alloc&) {
        rc = kErrDisplayMemory;
    }
    if (rc != kOk) out = TextureMap{};
    return rc;
}

int LoadTextureFile(const std::string& fileName, const std::string& label, TextureMap& out) {
    out = TextureMap{};
    // A NUL inside (a "\0" escape) would cut the name short and load
    // another file.
    if (fileName.find('\0') != std::string::npos) return kErrMapFileNotFound;
    std::FILE* f = std::fopen(ConfinedPath(fileName).c_str(), "rb");
    if (!f) return kErrMapFileNotFound;
    std::vector<uint8_t> bytes;
    int rc;
    try {
        rc = readFile(f, bytes);
    } catch (const std::bad_alloc&) {
        rc = kErrDisplayMemory;
    }
    std::fclose(f);
    if (rc != kOk) return rc;
    return ParseTextureData(bytes.data(), bytes.size(), label, out);
}

int MapList::MapLoad(const std::string& fileName, const std::string& label) {
    if (maps.size() >= static_cast<size_t>(kMaxMaps)) return kErrMapListOverflow;
    if (label == "none") return kErrMapLabel;
    for (const TextureMap& m : maps)
        if (m.label == label) return kErrMapLabel;
    TextureMap map;
    int rc = LoadTextureFile(fileName, label, map);
    // "brick.ppm" named by "scenes/room.kx" is also "scenes/brick.ppm"; a
    // name found as given keeps its meaning.
    if (rc == kErrMapFileNotFound && !sceneFolder.empty() && !fileName.empty() && fileName[0] != '/')
        rc = LoadTextureFile(sceneFolder + "/" + fileName, label, map);
    if (rc != kOk) return rc;
    maps.reserve(kMaxMaps);  // the current map never moves
    maps.push_back(std::move(map));
    return kOk;
}

int MapList::Map(const std::string& type, const std::string& label) {
    if (type != kMapType) return kErrMapType;
    currentIndex = -1;
    if (label == "none") return kOk;
    for (size_t i = 0; i < maps.size(); ++i) {
        if (maps[i].label == label) {
            currentIndex = static_cast<int>(i);
            return kOk;
        }
    }
    return kErrMapNotFound;
}

int MapList::MapSample(const std::string& type, const std::string& first, const std::string& second) {
    if (type != kMapType) return kErrMapType;
    return setPair(parseFilter, first, filter, second, secondFilter, kErrMapInterpolation);
}

int MapList::MapBorder(const std::string& type, const std::string& u, const std::string& v) {
    if (type != kMapType) return kErrMapType;
    return setPair(parseBorder, u, uBorder, v, vBorder, kErrMapBorder);
}

int MapList::MapBound(const std::string& type, float umin_, float vmin_, float umax, float vmax) {
    if (type != kMapType) return kOk;
    umin = umin_;
    vmin = vmin_;
    du = umax - umin_;
    dv = vmax - vmin_;
    return kOk;
}

ColorRGB MapList::lookup(float u, float v, float dudx, float dudy, float dvdx, float dvdy,
                         const ColorRGB& currentColor) const {
    if (currentIndex < 0) return currentColor;
    return SampleTexture(maps[static_cast<size_t>(currentIndex)], sampling(), u, v, dudx, dudy, dvdx, dvdy,
                         currentColor);
}

TextureSampling MapList::sampling() const {
    TextureSampling s;
    s.uBorder = uBorder;
    s.vBorder = vBorder;
    s.filter = filter;
    s.maxLevel = maxLevel;
    return s;
}

ColorRGB SampleTexture(const TextureMap& map, const TextureSampling& sampling, float u, float v, float dudx,
                       float dudy, float dvdx, float dvdy, const ColorRGB& currentColor) {
    const int count = map.levelCount();
    if (count == 0) return currentColor;
    const int maxLevel = sampling.maxLevel;

    // Level from the largest derivative; NaN derivatives are ignored.
    float m = 0;
    if (std::fabs(dudx) > m) m = std::fabs(dudx);
    if (std::fabs(dudy) > m) m = std::fabs(dudy);
    if (std::fabs(dvdx) > m) m = std::fabs(dvdx);
    if (std::fabs(dvdy) > m) m = std::fabs(dvdy);
    int L = 0;
    if (count > 1 && m > 1.0f) {  // otherwise the level is 0 anyway
        float level = std::log(m) / 0.6931472f;
        if (level > static_cast<float>(count - 1)) level = static_cast<float>(count - 1);
        if (maxLevel > 0 && level > static_cast<float>(maxLevel - 1)) level = static_cast<float>(maxLevel - 1);
        L = static_cast<int>(level);
    }

    const TextureLevel& base = map.levels[0];
    const TextureLevel& lv = map.levels[static_cast<size_t>(L)];
    const float uu = u / static_cast<float>(base.width);
    const float vv = v / static_cast<float>(base.height);
    const float fx = guardCoord(static_cast<float>(lv.width) * uu);
    const float fy = guardCoord(static_cast<float>(lv.height) * vv);
    const Fetcher t{lv, sampling.uBorder, sampling.vBorder,
                    {currentColor.r * kTexelScale, currentColor.g * kTexelScale, currentColor.b * kTexelScale}};

    ColorRGB c;
    if (sampling.filter == MapFilter::Nearest) {
        c = t(static_cast<int>(fx), static_cast<int>(fy));
    } else {
        const int x0 = floorToInt(fx), y0 = floorToInt(fy);
        const float ax = fx - static_cast<float>(x0), ay = fy - static_cast<float>(y0);
        const ColorRGB a = mix(t(x0, y0), 1 - ax, t(x0 + 1, y0), ax);
        const ColorRGB b = mix(t(x0 + 1, y0 + 1), ax, t(x0, y0 + 1), 1 - ax);
        c = mix(a, 1 - ay, b, ay);
    }
    return {c.r / kTexelScale, c.g / kTexelScale, c.b / kTexelScale};
}

void MapList::releaseAll() {
    maps.clear();
    currentIndex = -1;
}

void MapList::reset() { *this = MapList{}; }

MapList& mapList() {
    static MapList list;
    return list;
}

}  // namespace kx
