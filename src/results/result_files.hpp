#pragma once
// The four result files, opened at the start of a run with their header lines.
#include <string>

#include "results/line_file.hpp"

namespace quilmar {

struct ResultFiles {
    LineFile discharge;  // discharge.out
    LineFile quilmar;    // Quilmar.out
    LineFile plume_mass; // plume_mass.out
    LineFile obs_well;   // obs_well.out

    // Creates the files in dir, in this order, and writes their header lines.
    void open(const std::string& dir);
    void flush();
    void close();
    // After a stop: writes out the complete lines collected so far; returns the report of a
    // file that could not take them, or an empty string.
    std::string close_after_stop() noexcept;
};

}  // namespace quilmar
