#include "state/solver_options.hpp"

#include <sched.h>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "state/run_stop.hpp"

namespace quilmar {
namespace {

std::string lower(std::string_view v) {
    std::string s(v);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A non-negative integer written in decimal digits alone; -1 if the text is not one (or
// does not fit an int).
int non_negative_integer(std::string_view v) {
    int n = -1;
    if (v.empty() || v.front() < '0' || v.front() > '9') return -1;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc() || end != v.data() + v.size()) return -1;
    return n;
}

// Shows a value in a one-line message: bytes that are not printable escaped, long values cut.
std::string shown(std::string_view v) {
    std::string out;
    for (std::size_t i = 0; i < v.size() && i < 40; ++i) {
        const unsigned char c = static_cast<unsigned char>(v[i]);
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    if (v.size() > 40) out += "...";
    return out;
}

bool read_switch(const char* name) {
    const char* raw = std::getenv(name);
    if (!raw) return false;
    const std::string v = lower(raw);
    if (v.empty() || v == "no" || v == "off" || v == "false") return false;
    if (v == "yes" || v == "on" || v == "true") return true;
    const int n = non_negative_integer(v);
    if (n < 0)
        throw RunStop(kExitInputOrIndex, std::string("environment variable ") + name + "=" + shown(raw) +
                                             ": not a switch (0 or 1, no or yes, off or on, false or true)");
    return n > 0;
}

}  // namespace

int available_processors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n >= 1) return n;
    }
    const unsigned hc = std::thread::hardware_concurrency();
    return hc >= 1 ? static_cast<int>(hc) : 1;
}

SolverOptions solver_options_from_environment() {
    SolverOptions o;
    if (const char* raw = std::getenv("QUILMAR_THREADS"); raw && *raw) {
        const int n = non_negative_integer(raw);
        if (n < 0)
            throw RunStop(kExitInputOrIndex, std::string("environment variable QUILMAR_THREADS=") + shown(raw) +
                                                 ": not a non-negative integer");
        o.threads_asked = n < 1 ? 1 : n;
        const int available = available_processors();
        o.threads = o.threads_asked > available ? available : o.threads_asked;
    }
    o.reference = read_switch("QUILMAR_REFERENCE");
    o.portable = read_switch("QUILMAR_PORTABLE");
    o.timing = read_switch("QUILMAR_TIMING");
    return o;
}

}  // namespace quilmar
