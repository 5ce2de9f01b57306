#pragma once
#include <string>

namespace quilmar {

// A real written so that it reads back to the same double, in the shortest such form.
std::string shortest_real(double v);

}  // namespace quilmar
