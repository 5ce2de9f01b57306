#include "text/shortest_real.hpp"

#include <charconv>

namespace quilmar {

std::string shortest_real(double v) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

}  // namespace quilmar
