// The number conversions of the scene reader: std::strtod, std::strtof and
// std::strtol with base 0, with exactly their results and end pointers, but
// without a library call for the plain decimal numbers of scene files: a
// number of at most 19 significant digits (at most 2^53, or 2^24 for a
// float) scaled by at most 10^22 (10^10) is one correctly rounded division
// or product, as the library's result is. Everything else (hexadecimal,
// exponents, inf, nan, long mantissas, leading blanks) goes to the library.
// Inline: every number of a scene goes through them.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace kx {

namespace numbers {

inline bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// A plain decimal number: sign, digits, an optional point and digits, and
// no exponent. False when the text is anything else or too long to be
// converted exactly here. The counts stop at the first digit past what
// can be converted here, so a digit run of any length cannot overflow them.
struct PlainDecimal {
    static constexpr int kMaxSignificant = 19;  // at most 10^19 - 1 < 2^64
    static constexpr int kMaxScale = 22;        // the largest exact power of ten in a double

    bool negative = false;
    uint64_t mantissa = 0;  // the significant digits
    int scale = 0;          // digits after the point
    const char* end = nullptr;

    bool read(const char* s) {
        const char* p = s;
        if (*p == '+' || *p == '-') negative = *p++ == '-';
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return false;  // hexadecimal
        bool any = false;
        int significant = 0;
        for (; IsDigit(*p); ++p, any = true) {
            if (mantissa == 0 && *p == '0') continue;
            if (++significant > kMaxSignificant) return false;
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        }
        if (*p == '.') {
            ++p;
            for (; IsDigit(*p); ++p, any = true) {
                if (++scale > kMaxScale) return false;
                if (mantissa == 0 && *p == '0') continue;
                if (++significant > kMaxSignificant) return false;
                mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
            }
        }
        if (!any || *p == 'e' || *p == 'E') return false;
        end = p;
        return true;
    }
};

inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr float kPow10f[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// The plain decimal as T when its mantissa and 10^scale are exact in T, so
// that one division rounds it correctly; else the runtime's conversion.
template <typename T>
T ReadReal(const char* s, char** end, int mantissaBits, const T* pow10, int maxScale, T (*runtime)(const char*, char**)) {
    PlainDecimal d;
    if (d.read(s) && d.mantissa <= (uint64_t(1) << mantissaBits) && d.scale <= maxScale) {
        T v = static_cast<T>(d.mantissa) / pow10[d.scale];
        if (end) *end = const_cast<char*>(d.end);
        return d.negative ? -v : v;
    }
    return runtime(s, end);
}

inline double RuntimeDouble(const char* s, char** end) { return std::strtod(s, end); }
inline float RuntimeFloat(const char* s, char** end) { return std::strtof(s, end); }

}  // namespace numbers

inline double ReadDouble(const char* s, char** end) {
    return numbers::ReadReal<double>(s, end, 53, numbers::kPow10, 22, numbers::RuntimeDouble);
}
inline float ReadFloat(const char* s, char** end) {
    return numbers::ReadReal<float>(s, end, 24, numbers::kPow10f, 10, numbers::RuntimeFloat);
}

inline long ReadLong(const char* s, char** end) {
    using numbers::IsDigit;
    // Decimal only: a leading 0 makes the number octal (or hexadecimal) for
    // strtol with base 0, and "0" alone is the one such number taken here.
    const char* p = s;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p >= '1' && *p <= '9') {
        long v = 0;
        int digits = 0;
        for (; IsDigit(*p) && digits < 18; ++p, ++digits) v = v * 10 + (*p - '0');
        if (!IsDigit(*p)) {
            if (end) *end = const_cast<char*>(p);
            return negative ? -v : v;
        }
    } else if (p[0] == '0' && !IsDigit(p[1]) && p[1] != 'x' && p[1] != 'X') {
        if (end) *end = const_cast<char*>(p + 1);
        return 0;
    }
    return std::strtol(s, end, 0);
}

}  // namespace kx
