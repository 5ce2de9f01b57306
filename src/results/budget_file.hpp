#pragma once
// budget.out: the mass budget of every step and component, written with --budget. One
// header line, then comma-separated lines; every number in the shortest decimal form that
// reads back to the same double.
#include <string>

#include "results/line_file.hpp"

namespace quilmar {

// The terms of one component's budget over one step, whole plume (both halves).
struct BudgetTerms {
    double released = 0;          // entered the aquifer across the source area
    double out_downstream = 0;    // left through the downstream face of the last column
    double out_lateral = 0;       // left across the outer row and the rest of the upstream face
    double decayed_aquifer = 0;   // decayed in the aquifer water
    double produced_aquifer = 0;  // formed there by the decay of the parent
    double decayed_matrix = 0;    // decayed in the matrix water
    double produced_matrix = 0;   // formed there by the decay of the parent
    double change_aquifer = 0;    // held in the aquifer at the end less at the start
    double change_matrix = 0;     // held in the matrix at the end less at the start
    double residual = 0;          // what the other terms leave unexplained
};

inline constexpr const char* kBudgetHeader =
    "time,component,released,out_downstream,out_lateral,decayed_aquifer,produced_aquifer,decayed_matrix,"
    "produced_matrix,change_aquifer,change_matrix,residual";

// One line of budget.out, without its line end.
std::string budget_line(double time, int component, const BudgetTerms& t);

class BudgetFile {
public:
    // Creates (or empties) budget.out in dir and writes its header; stops the run naming the
    // file if that fails.
    void open(const std::string& dir);
    bool is_open() const { return file_.is_open(); }
    void write(double time, int component, const BudgetTerms& t) { file_.write_line(budget_line(time, component, t)); }
    void flush() { file_.flush(); }
    void close() { file_.close(); }
    // After a stop: writes out the complete lines; returns the report of a failure, or "".
    std::string close_after_stop() noexcept;

private:
    LineFile file_;
};

}  // namespace quilmar
