#include "text/format.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quilmar {
namespace {

void append_padded(std::string& out, const char* text, std::size_t len, int w) {
    if (len > static_cast<std::size_t>(w)) {
        out.append(static_cast<std::size_t>(w), '*');
        return;
    }
    out.append(static_cast<std::size_t>(w) - len, ' ');
    out.append(text, len);
}

// NaN and infinities in a field of width w.
void append_non_finite(std::string& out, double v, int w) {
    if (std::isnan(v)) {
        append_padded(out, "NaN", 3, w);
        return;
    }
    const bool neg = std::signbit(v);
    const char* text = neg ? (w >= 9 ? "-Infinity" : "-Inf") : (w >= 8 ? "Infinity" : "Inf");
    append_padded(out, text, std::strlen(text), w);
}

// a times 10^k, k within +-44, by at most two operations with exactly representable powers
// of ten (10^22 is the largest), each correctly rounded.
inline double scaled_by_power_of_ten(double a, int k) {
    static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (k >= 0) return k <= 22 ? a * kPow10[k] : (a * kPow10[22]) * kPow10[k - 22];
    return -k <= 22 ? a / kPow10[-k] : (a / kPow10[22]) / kPow10[-k - 22];
}

// The d significant digits (d <= 15) of a > 0, correctly rounded, and the exponent that
// makes a = 0.d1d2..dd x 10^exponent. The value is scaled into [10^(d-1), 10^d) by powers of
// ten; the scaled value differs from the exact product by a few units in its last place,
// far less than the distance to the nearest rounding midpoint in all but very rare cases.
// Where that distance is within the bound (a decimal tie or nearly one), or a lies outside
// the range the scaling covers, this gives up (false) and the caller converts exactly.
bool scaled_digits(double a, int d, std::uint64_t& digits, int& exponent) {
    if (!(a >= 1e-290 && a < 1e290) || d < 1 || d > 15) return false;
    // a (normal here) lies in [2^(e2-1), 2^e2): its decimal exponent is e10 or e10 + 1
    const int e2 = static_cast<int>((std::bit_cast<std::uint64_t>(a) >> 52) & 0x7ff) - 1022;
    int e10 = static_cast<int>(std::floor((e2 - 1) * 0.30102999566398119521));
    static constexpr double kTop[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const int k = d - 1 - e10;
    if (k < -43 || k > 44) return false;  // k - 1 below stays in range too
    double s = scaled_by_power_of_ten(a, k);
    if (s >= kTop[d]) {
        ++e10;
        s = scaled_by_power_of_ten(a, k - 1);
    }
    const double whole = std::floor(s);
    const double fraction = s - whole;                   // exact: s < 2^53
    const double bound = s * 0x1p-50;                    // generous for two roundings
    if (std::fabs(fraction - 0.5) <= bound) return false;  // too near a midpoint to decide
    std::uint64_t n = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    if (n == static_cast<std::uint64_t>(kTop[d])) {  // rounding carried into the next decade
        n = static_cast<std::uint64_t>(kTop[d - 1]);
        ++e10;
    }
    if (n < static_cast<std::uint64_t>(kTop[d - 1]) || n >= static_cast<std::uint64_t>(kTop[d])) return false;
    digits = n;
    exponent = e10 + 1;
    return true;
}

}  // namespace

void append_fixed(std::string& out, double v, int w, int d) {
    if (!std::isfinite(v)) {
        append_non_finite(out, v, w);
        return;
    }
    // Correctly rounded decimal digits, as printf's %.*f gives them, without its overhead.
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, d);
    int len = ec == std::errc() ? static_cast<int>(end - buf) : std::snprintf(buf, sizeof buf, "%.*f", d, v);
    char* text = buf;
    // A value that rounds to zero carries no sign.
    bool all_zero = true;
    for (int i = 0; i < len; ++i)
        if (buf[i] >= '1' && buf[i] <= '9') all_zero = false;
    if (all_zero && buf[0] == '-') {
        ++text;
        --len;
    }
    if (len > w) {
        // Drop the optional zero before the decimal point: "0.500" -> ".500", "-0.5" -> "-.5".
        char* zero = (text[0] == '-') ? text + 1 : text;
        if (zero[0] == '0' && zero[1] == '.') {
            std::memmove(zero, zero + 1, static_cast<std::size_t>(len) - static_cast<std::size_t>(zero - text));
            --len;
        }
    }
    append_padded(out, text, static_cast<std::size_t>(len), w);
}

void append_exp(std::string& out, double v, int w, int d) {
    if (!std::isfinite(v)) {
        append_non_finite(out, v, w);
        return;
    }
    char field[64];
    int len = 0;
    const bool neg = std::signbit(v) && v != 0.0;
    field[len++] = neg ? '-' : ' ';
    field[len++] = '0';
    field[len++] = '.';
    int exponent = 0;
    if (v == 0.0) {
        std::memset(field + len, '0', static_cast<std::size_t>(d));
        len += d;
    } else if (std::uint64_t digits = 0; scaled_digits(std::fabs(v), d, digits, exponent)) {
        for (int p = len + d - 1; p >= len; --p) {
            field[p] = static_cast<char>('0' + digits % 10);
            digits /= 10;
        }
        len += d;
    } else {
        // d significant digits d1.d2..dd e X  ->  0.d1d2..dd with exponent X + 1 (correctly
        // rounded, as printf's %.*e gives them).
        char buf[64];
        const auto [end, ec] =
            std::to_chars(buf, buf + sizeof buf - 1, std::fabs(v), std::chars_format::scientific, d - 1);
        if (ec != std::errc())
            std::snprintf(buf, sizeof buf, "%.*e", d - 1, std::fabs(v));
        else
            *end = '\0';
        int p = 0;
        field[len++] = buf[p++];
        if (buf[p] == '.') ++p;
        while (buf[p] != 'e') field[len++] = buf[p++];
        exponent = std::atoi(buf + p + 1) + 1;
    }
    const int mag = exponent < 0 ? -exponent : exponent;
    field[len++] = mag <= 99 ? 'E' : (exponent < 0 ? '-' : '+');
    if (mag <= 99) field[len++] = exponent < 0 ? '-' : '+';
    if (mag > 99) field[len++] = static_cast<char>('0' + mag / 100);
    field[len++] = static_cast<char>('0' + mag / 10 % 10);
    field[len++] = static_cast<char>('0' + mag % 10);
    append_padded(out, field, static_cast<std::size_t>(len), w);
}

}  // namespace quilmar
