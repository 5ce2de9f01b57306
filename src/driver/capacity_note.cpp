#include "driver/capacity_note.hpp"

#include "state/capacity.hpp"

namespace quilmar {

std::string capacity_note(const Deck& d) {
    std::string note;
    auto add = [&](const std::string& part) { note += (note.empty() ? "(" : "; ") + part; };
    auto check = [&](int record, const char* name, int value, int most) {
        if (value > most)
            add("deck record " + std::to_string(record) + ": " + name + " = " + std::to_string(value) + ", at most " +
                std::to_string(most));
    };
    // Column nx + 1 is the zero boundary behind the last column, and row ny + 1 the one
    // beyond the last row: both must lie within the concentration grid.
    check(37, "nx", d.nx, kMaxX - 1);
    check(38, "ny", d.ny, kMaxY - 1);
    check(39, "nz", d.nz, kMaxZ);
    if (d.nx > 0 && d.ny > 0 && d.nz > 0) {
        const long long cells = static_cast<long long>(d.nx) * d.ny * d.nz;
        if (cells > maxnn)
            add("deck records 37 to 39: nx*ny*nz = " + std::to_string(cells) + " cells, at most " +
                std::to_string(maxnn));
    }
    return note.empty() ? note : note + ")";
}

}  // namespace quilmar
