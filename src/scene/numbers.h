// The number conversions of the scene reader: std::strtod, std::strtof and
// std::strtol with base 0, with exactly their results and end pointers, but
// without a library call for the plain decimal numbers of scene files: a
// number of at most 19 significant digits (at most 2^53, or 2^24 for a
// float) scaled by at most 10^22 (10^10) is one correctly rounded division
// or product, as the library's result is. Everything else (hexadecimal,
// exponents, inf, nan, long mantissas, leading blanks) goes to the library.
// Inline: every number of a scene goes through them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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
        // Leading zeros are no significant digits. A run longer than can be
        // taken here is still read to its end (the mantissa may wrap, and is
        // not used then).
        const char* first = p;
        while (*p == '0') ++p;
        const char* digits = p;
        for (; IsDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        long significant = p - digits;
        bool any = p != first;
        if (*p == '.') {
            const char* fraction = ++p;
            if (significant == 0)
                while (*p == '0') ++p;
            digits = p;
            for (; IsDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
            significant += p - digits;
            if (p - fraction > kMaxScale) return false;
            scale = static_cast<int>(p - fraction);
            any = any || p != fraction;
        }
        if (significant > kMaxSignificant || !any || *p == 'e' || *p == 'E') return false;
        end = p;
        return true;
    }
};

inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr float kPow10f[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

inline constexpr uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Text that is followed by at least this many readable bytes past the end
// of its word can have its digits read eight at a time.
constexpr size_t kReadAhead = 8;

// The run of digits at p appended to mantissa (ten times it and the digit,
// a digit at a time, wrapping past 64 bits); returns the end of the run.
// With ReadAhead the text must be followed by kReadAhead readable bytes
// past the first byte that is no digit.
template <bool ReadAhead>
inline const char* TakeDigits(const char* p, uint64_t& mantissa) {
    if constexpr (ReadAhead && std::endian::native == std::endian::little) {
        for (;;) {
            uint64_t bytes;
            std::memcpy(&bytes, p, sizeof bytes);
            // A digit byte becomes its value; any other byte sets its top
            // bit in stop. A carry only runs from a byte that is no digit
            // to those after it, so the first such byte is found.
            const uint64_t v = bytes ^ 0x3030303030303030u;
            const uint64_t stop = ((v + 0x7676767676767676u) | v) & 0x8080808080808080u;
            const int n = stop != 0 ? std::countr_zero(stop) >> 3 : 8;
            if (n == 0) return p;
            // The n digits as the last of eight, after leading zeros, then
            // pairs, fours and the eight combined.
            uint64_t d = n == 8 ? v : v << (64 - 8 * n);
            d = d * 10 + (d >> 8);
            d = (((d & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
                 (((d >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
                32;
            mantissa = mantissa * kPow10Int[n] + d;
            p += n;
            if (n < 8) return p;
        }
    } else {
        for (unsigned d; (d = static_cast<unsigned char>(*p) - unsigned('0')) < 10; ++p) mantissa = mantissa * 10 + d;
        return p;
    }
}

// The plain decimal at s as T, with its end, when its mantissa and
// 10^scale are exact in T, so that one division rounds it correctly; else
// false, and the runtime's conversion is the one to take.
template <typename T>
bool ReadPlainRealSlow(const char* s, const char*& end, T& value, int mantissaBits, const T* pow10, int maxScale) {
    PlainDecimal d;
    if (!d.read(s) || d.mantissa > (uint64_t(1) << mantissaBits) || d.scale > maxScale) return false;
    T v = static_cast<T>(d.mantissa) / pow10[d.scale];
    value = d.negative ? -v : v;
    end = d.end;
    return true;
}

// The same, first for the common number of at most 19 digits in all: its
// digits make the mantissa as they come, leading zeros or not, without
// overflow. Longer ones, and those followed by what could make them
// hexadecimal or give them an exponent, take the way above. The integer
// part, mostly a digit or two, is read a digit at a time; the fraction
// eight at a time with ReadAhead (see TakeDigits).
template <typename T, bool ReadAhead = false>
inline bool ReadPlainReal(const char* s, const char*& end, T& value, int mantissaBits, const T* pow10, int maxScale) {
    const char* p = s;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t mantissa = 0;
    const char* digits = p;
    p = TakeDigits<false>(p, mantissa);
    long count = p - digits;
    long scale = 0;
    if (*p == '.') {
        const char* fraction = ++p;
        p = TakeDigits<ReadAhead>(p, mantissa);
        scale = p - fraction;
        count += scale;
    }
    if (count == 0) return false;
    const char c = *p;
    if (count > PlainDecimal::kMaxSignificant || c == 'e' || c == 'E' || c == 'x' || c == 'X')
        return ReadPlainRealSlow(s, end, value, mantissaBits, pow10, maxScale);
    if (mantissa > (uint64_t(1) << mantissaBits) || scale > maxScale) return false;
    T v = static_cast<T>(mantissa) / pow10[scale];
    value = negative ? -v : v;
    end = p;
    return true;
}

template <typename T>
T ReadReal(const char* s, char** end, int mantissaBits, const T* pow10, int maxScale, T (*runtime)(const char*, char**)) {
    T v;
    const char* stop;
    if (ReadPlainReal(s, stop, v, mantissaBits, pow10, maxScale)) {
        if (end) *end = const_cast<char*>(stop);
        return v;
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
// ReadDouble's fast path alone, on text followed by numbers::kReadAhead
// readable bytes past the end of the number's word: false where it would
// call the runtime.
inline bool ReadPlainDouble(const char* s, const char*& end, double& value) {
    return numbers::ReadPlainReal<double, true>(s, end, value, 53, numbers::kPow10, 22);
}

// The plain decimal integer at s, with its end; false when strtol (base 0)
// is the one to take: an octal or hexadecimal number, a long digit run, or
// anything else. A leading 0 makes the number octal (or hexadecimal) for
// strtol with base 0, and "0" alone is the one such number taken here.
// With ReadAhead, the text is followed as for ReadPlainDouble.
template <bool ReadAhead = true>
inline bool ReadPlainLong(const char* s, const char*& end, long& value) {
    using numbers::IsDigit;
    const char* p = s;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p >= '1' && *p <= '9') {
        // At most 18 digits, below 2^63.
        uint64_t v = 0;
        const char* digits = p;
        p = numbers::TakeDigits<ReadAhead>(p, v);
        if (p - digits > 18) return false;
        end = p;
        value = negative ? -static_cast<long>(v) : static_cast<long>(v);
        return true;
    }
    if (p[0] == '0' && !IsDigit(p[1]) && p[1] != 'x' && p[1] != 'X') {
        end = p + 1;
        value = 0;
        return true;
    }
    return false;
}

inline long ReadLong(const char* s, char** end) {
    const char* stop;
    long v;
    if (ReadPlainLong<false>(s, stop, v)) {
        if (end) *end = const_cast<char*>(stop);
        return v;
    }
    return std::strtol(s, end, 0);
}

}  // namespace kx
