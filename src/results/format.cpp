#include "results/format.hpp"

#include <charconv>
#include <cmath>
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
