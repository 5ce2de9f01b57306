#pragma once
// Fixed-width number fields of the result files.
//   format_fixed(v, w, d): fixed point, right-aligned in w characters with d decimals; the 0
//     before the decimal point is dropped when only that makes the value fit; w asterisks
//     when it does not fit.
//   format_exp(v, w, d): a sign position, "0.", d significant digits and an exponent E+dd;
//     an exponent of three digits replaces the letter E (0.12345-100).
// NaN and infinities are written as NaN, Infinity or Inf, right-aligned.
#include <string>

namespace quilmar {

void append_fixed(std::string& out, double v, int w, int d);
void append_exp(std::string& out, double v, int w, int d);

inline std::string format_fixed(double v, int w, int d) {
    std::string s;
    append_fixed(s, v, w, d);
    return s;
}
inline std::string format_exp(double v, int w, int d) {
    std::string s;
    append_exp(s, v, w, d);
    return s;
}

}  // namespace quilmar
