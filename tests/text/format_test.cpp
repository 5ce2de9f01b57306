#include "text/format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace quilmar {
namespace {

TEST(FixedField, RightAlignedWithLeadingZeroWhenThereIsRoom) {
    EXPECT_EQ(format_fixed(0.5, 8, 3), "   0.500");
    EXPECT_EQ(format_fixed(12.5, 10, 5), "  12.50000");
    EXPECT_EQ(format_fixed(0.0, 8, 3), "   0.000");
    EXPECT_EQ(format_fixed(-2.25, 8, 3), "  -2.250");
}

TEST(FixedField, RoundsAtTheLastDigit) {
    EXPECT_EQ(format_fixed(1.23449, 8, 3), "   1.234");
    EXPECT_EQ(format_fixed(1.2346, 8, 3), "   1.235");
    EXPECT_EQ(format_fixed(0.0004, 8, 3), "   0.000");
    EXPECT_EQ(format_fixed(-0.0004, 8, 3), "   0.000");  // rounds to zero: no sign
}

TEST(FixedField, FourDigitTimesFitAndTenThousandDoesNot) {
    // 9999.9995 is stored just below the tie and rounds down.
    EXPECT_EQ(format_fixed(9999.9995, 8, 3), "9999.999");
    EXPECT_EQ(format_fixed(9999.99951, 8, 3), "********");
    EXPECT_EQ(format_fixed(10000.0, 8, 3), "********");
    EXPECT_EQ(format_fixed(9999.5, 10, 5), "9999.50000");
    EXPECT_EQ(format_fixed(10000.0, 10, 5), "**********");
}

TEST(FixedField, DropsTheZeroBeforeThePointOnlyWhenThatMakesItFit) {
    EXPECT_EQ(format_fixed(0.5, 4, 3), ".500");
    EXPECT_EQ(format_fixed(-0.5, 5, 3), "-.500");
    EXPECT_EQ(format_fixed(-0.5, 4, 3), "****");
}

TEST(FixedField, NonFiniteValues) {
    EXPECT_EQ(format_fixed(std::nan(""), 8, 3), "     NaN");
    EXPECT_EQ(format_fixed(HUGE_VAL, 8, 3), "Infinity");
    EXPECT_EQ(format_fixed(-HUGE_VAL, 8, 3), "    -Inf");
    EXPECT_EQ(format_fixed(-HUGE_VAL, 10, 5), " -Infinity");
}

TEST(ExpField, MantissaBelowOneWithTwoDigitExponent) {
    EXPECT_EQ(format_exp(12.5, 12, 5), " 0.12500E+02");
    EXPECT_EQ(format_exp(0.0, 12, 5), " 0.00000E+00");
    EXPECT_EQ(format_exp(-0.0, 12, 5), " 0.00000E+00");
    EXPECT_EQ(format_exp(-12.5, 12, 5), "-0.12500E+02");
    EXPECT_EQ(format_exp(1.0, 15, 8), " 0.10000000E+01");
    EXPECT_EQ(format_exp(0.000123456789, 15, 8), " 0.12345679E-03");
}

TEST(ExpField, RoundingCarriesIntoTheExponent) {
    EXPECT_EQ(format_exp(9.999996, 12, 5), " 0.10000E+02");
    EXPECT_EQ(format_exp(9.999949, 12, 5), " 0.99999E+01");
    EXPECT_EQ(format_exp(0.1, 12, 5), " 0.10000E+00");
}

TEST(ExpField, ThreeDigitExponentReplacesTheLetter) {
    EXPECT_EQ(format_exp(1e-100, 12, 5), " 0.10000E-99");
    EXPECT_EQ(format_exp(1e100, 12, 5), " 0.10000+101");
    EXPECT_EQ(format_exp(1e-101, 12, 5), " 0.10000-100");
    EXPECT_EQ(format_exp(-2.5e-150, 15, 8), "-0.25000000-149");
    EXPECT_EQ(format_exp(std::numeric_limits<double>::denorm_min(), 12, 5), " 0.49407-323");
    EXPECT_EQ(format_exp(std::numeric_limits<double>::max(), 12, 5), " 0.17977+309");
}

TEST(ExpField, NonFiniteValues) {
    EXPECT_EQ(format_exp(std::nan(""), 12, 5), "         NaN");
    EXPECT_EQ(format_exp(HUGE_VAL, 12, 5), "    Infinity");
    EXPECT_EQ(format_exp(-HUGE_VAL, 15, 8), "      -Infinity");
}

// The digits of both fields must be printf's correctly rounded digits, also for values that
// lie exactly halfway between two printed values and for the whole exponent range.
std::string printf_exp(double v, int w, int d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", d - 1, std::fabs(v));
    std::string digits;
    const char* p = buf;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits += *p;
    const int e = std::atoi(p + 1) + 1;
    std::snprintf(buf, sizeof buf, e < -99 || e > 99 ? "%c%03d" : "E%c%02d", e < 0 ? '-' : '+', std::abs(e));
    std::string field = std::string(v < 0 ? "-" : " ") + "0." + digits + buf;
    return std::string(static_cast<std::size_t>(w) - field.size(), ' ') + field;
}

TEST(Fields, DigitsAreThoseOfPrintfOnRandomValuesAndExactTies) {
    std::mt19937_64 rng(20261207);
    std::uniform_int_distribution<int> exponent(-320, 300);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    for (int n = 0; n < 200000; ++n) {
        const double v = (n % 2 ? -1.0 : 1.0) * mantissa(rng) * std::pow(10.0, exponent(rng));
        if (v == 0.0 || !std::isfinite(v)) continue;
        ASSERT_EQ(format_exp(v, 15, 8), printf_exp(v, 15, 8)) << v;
        ASSERT_EQ(format_exp(v, 12, 5), printf_exp(v, 12, 5)) << v;
    }
    for (int n = 1; n < 20000; ++n) {
        const double tie = n / 64.0;  // exact in binary, many end in a 5 beyond the printed digits
        char buf[64];
        std::snprintf(buf, sizeof buf, "%10.3f", tie);
        ASSERT_EQ(format_fixed(tie, 10, 3), buf) << tie;
        std::snprintf(buf, sizeof buf, "%8.3f", tie / 16);
        ASSERT_EQ(format_fixed(tie / 16, 8, 3), buf) << tie / 16;
        ASSERT_EQ(format_exp(tie, 12, 5), printf_exp(tie, 12, 5)) << tie;
        ASSERT_EQ(format_exp(1.0 / n, 12, 5), printf_exp(1.0 / n, 12, 5)) << 1.0 / n;
    }
}

// Values next to a rounding midpoint of the printed digits or to a power of ten are where a
// conversion that scales in floating point goes wrong first: the doubles nearest to such
// a decimal and their neighbours a few units in the last place away, over the exponents
// the result files see and beyond.
TEST(ExpField, DigitsNextToMidpointsAndDecadesAreThoseOfPrintf) {
    std::mt19937_64 rng(7);
    for (const int d : {5, 8}) {
        const int w = d + 7;
        std::uniform_int_distribution<long long> lead(1, 9), rest(0, static_cast<long long>(std::pow(10.0, d - 1)) - 1);
        for (int e = -60; e <= 60; ++e) {
            for (int n = 0; n < 40; ++n) {
                // d digits and a 5 after them: a midpoint; and d nines and a 5: the carry.
                const double digits = static_cast<double>(lead(rng)) * std::pow(10.0, d - 1) + static_cast<double>(rest(rng));
                char text[64];
                std::snprintf(text, sizeof text, "%.0f5e%d", digits, e);
                const double mid = std::strtod(text, nullptr);
                std::snprintf(text, sizeof text, "%.0f5e%d", std::pow(10.0, d) - 1, e);
                const double carry = std::strtod(text, nullptr);
                std::snprintf(text, sizeof text, "1e%d", e);
                const double decade = std::strtod(text, nullptr);
                for (double v : {mid, carry, decade}) {
                    v = std::nextafter(v, 0.0);
                    v = std::nextafter(v, 0.0);
                    for (int step = 0; step < 5; ++step, v = std::nextafter(v, HUGE_VAL)) {
                        ASSERT_EQ(format_exp(v, w, d), printf_exp(v, w, d)) << v;
                        ASSERT_EQ(format_exp(-v, w, d), printf_exp(-v, w, d)) << -v;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace quilmar
