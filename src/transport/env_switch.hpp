#pragma once
// Run switches from the environment (QUILMAR_REFERENCE, QUILMAR_PORTABLE, QUILMAR_TIMING): on
// when the variable is set to anything but "" or "0".
#include <cstdlib>
#include <cstring>

namespace quilmar {

inline bool env_switch(const char* name) {
    const char* v = std::getenv(name);
    return v && *v && std::strcmp(v, "0") != 0;
}

}  // namespace quilmar
