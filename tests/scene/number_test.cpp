// The scene's number readers against the C runtime they stand in for:
// the same value, bit for bit, and the same end pointer, on plain decimals
// of every length and on everything the fast path hands on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "scene/numbers.h"

namespace kx {
namespace {

std::vector<std::string> Samples() {
    std::vector<std::string> v = {
        "0", "-0", "+0", "0.", ".0", "-.0", "5.", ".5", "-0.000", "00", "007", "08", "0009.5", "1", "-1",
        "123456789", "0.1", "0.2", "0.3", "-0.0191079", "0.081467", "-0.996493", "1e5", "1E-5", "1e", "1e+",
        "2.5e-3x", "0x1p3", "-0X10", "0x", "00x1", "inf", "-infinity", "nan", "NAN(1)", ".", "-", "+", "",
        " 1", "\t2.5", "1.5.3", "12abc", "3,5", "9007199254740992", "9007199254740993", "9007199254740993.0",
        "16777216", "16777217", "0.16777217", "1234567890123456789", "12345678901234567890",
        "0.00000000000000000000001", "1.0000000000000000000000", "4503599627370497.5",
        "999999999999999999", "9999999999999999999", "99999999999999999999", "-9223372036854775808",
        "9223372036854775807", "9223372036854775808", "340282356779733661637539395458142568448",
        "3.4028235e38", "1.17549435e-38", "7.0e-46", "0.1234567891", "0.12345678912", "123.4567e2"};
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> digit(0, 9), len(0, 24), pick(0, 9);
    for (int k = 0; k < 30000; ++k) {
        std::string s;
        if (pick(rng) < 3) s += pick(rng) < 5 ? '-' : '+';
        int a = len(rng) % (k % 3 == 0 ? 20 : 8), b = len(rng);
        for (int i = 0; i < a; ++i) s += static_cast<char>('0' + (i == 0 && pick(rng) < 3 ? 0 : digit(rng)));
        if (pick(rng) < 7) s += '.';
        for (int i = 0; i < b % (k % 5 == 0 ? 25 : 9); ++i) s += static_cast<char>('0' + digit(rng));
        if (pick(rng) == 0) {
            s += 'e';
            s += std::to_string(digit(rng) * (pick(rng) < 5 ? -7 : 7));
        }
        if (pick(rng) == 1) s += " -1";
        v.push_back(s);
    }
    return v;
}

TEST(NumberReaders, SameValuesAndEndsAsTheRuntime) {
    for (const std::string& text : Samples()) {
        const char* s = text.c_str();
        char *e1 = nullptr, *e2 = nullptr;
        double d1 = ReadDouble(s, &e1), d2 = std::strtod(s, &e2);
        ASSERT_EQ(e1, e2) << '"' << text << '"';
        ASSERT_EQ(std::memcmp(&d1, &d2, sizeof d1), 0) << '"' << text << "\" " << d1 << " " << d2;
        float f1 = ReadFloat(s, &e1), f2 = std::strtof(s, &e2);
        ASSERT_EQ(e1, e2) << '"' << text << '"';
        ASSERT_EQ(std::memcmp(&f1, &f2, sizeof f1), 0) << '"' << text << "\" " << f1 << " " << f2;
        long l1 = ReadLong(s, &e1), l2 = std::strtol(s, &e2, 0);
        ASSERT_EQ(e1, e2) << '"' << text << '"';
        ASSERT_EQ(l1, l2) << '"' << text << '"';
    }
    // A null end pointer is allowed, as for the runtime.
    EXPECT_EQ(ReadDouble("2.5", nullptr), 2.5);
    EXPECT_EQ(ReadFloat("-0.75", nullptr), -0.75f);
    EXPECT_EQ(ReadLong("42", nullptr), 42);
    EXPECT_TRUE(std::signbit(ReadDouble("-0", nullptr)));
}

// The readers of words in place, whose text is followed by bytes of any
// kind: where they take a number, the runtime's value and end.
TEST(NumberReaders, InPlaceReadersAgreeWithTheRuntime) {
    int taken = 0;
    for (const std::string& sample : Samples()) {
        for (const char* after : {"", " 7", "\n12345678", "99999999", ".5e3 1"}) {
            std::string text = sample + '\0' + after + std::string(numbers::kReadAhead, '9');
            const char* s = text.c_str();
            const char* stop = nullptr;
            char* e2 = nullptr;
            double d1 = 0;
            if (ReadPlainDouble(s, stop, d1)) {
                double d2 = std::strtod(s, &e2);
                ASSERT_EQ(stop, e2) << '"' << sample << '"';
                ASSERT_EQ(std::memcmp(&d1, &d2, sizeof d1), 0) << '"' << sample << '"';
                ++taken;
            }
            long l1 = 0;
            if (ReadPlainLong(s, stop, l1)) {
                long l2 = std::strtol(s, &e2, 0);
                ASSERT_EQ(stop, e2) << '"' << sample << '"';
                ASSERT_EQ(l1, l2) << '"' << sample << '"';
                ++taken;
            }
        }
    }
    EXPECT_GT(taken, 100000);
}

// Digit runs far longer than any count of significant digits or decimal
// places the fast path takes: the same results as the runtime's.
TEST(NumberReaders, DigitRunsOfAnyLength) {
    const std::string run(100000, '0'), nines(100000, '9');
    for (const std::string& text :
         {"0." + run + "1", run + "1", run + ".5", "-" + run + "." + run, "1" + run, "0." + nines, nines + ".5",
          "." + run + "e999", "-0." + run + "1x", run}) {
        const char* s = text.c_str();
        char *e1 = nullptr, *e2 = nullptr;
        double d1 = ReadDouble(s, &e1), d2 = std::strtod(s, &e2);
        ASSERT_EQ(e1, e2) << text.substr(0, 20);
        ASSERT_EQ(std::memcmp(&d1, &d2, sizeof d1), 0) << text.substr(0, 20);
        float f1 = ReadFloat(s, &e1), f2 = std::strtof(s, &e2);
        ASSERT_EQ(e1, e2) << text.substr(0, 20);
        ASSERT_EQ(std::memcmp(&f1, &f2, sizeof f1), 0) << text.substr(0, 20);
        long l1 = ReadLong(s, &e1), l2 = std::strtol(s, &e2, 0);
        ASSERT_EQ(e1, e2) << text.substr(0, 20);
        ASSERT_EQ(l1, l2) << text.substr(0, 20);
    }
}

}  // namespace
}  // namespace kx
