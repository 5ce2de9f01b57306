#pragma once
// How a run ends early: every stop carries the process exit status and the one-line
// report for standard error. The driver catches it, closes the result files with the
// complete lines written so far, prints the report and returns the status.
#include <stdexcept>
#include <string>

namespace quilmar {

inline constexpr int kExitOk = 0;
inline constexpr int kExitNotConverged = 1;
inline constexpr int kExitInputOrIndex = 2;

class RunStop : public std::runtime_error {
public:
    RunStop(int status, const std::string& report) : std::runtime_error(report), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// An access outside an array's declared index range.
class IndexError : public RunStop {
public:
    explicit IndexError(const std::string& report) : RunStop(kExitInputOrIndex, report) {}
};

}  // namespace quilmar
