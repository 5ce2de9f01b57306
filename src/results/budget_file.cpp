#include "results/budget_file.hpp"

#include <charconv>

#include "state/run_stop.hpp"

namespace quilmar {
namespace {

void append_shortest(std::string& line, double v) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    line.append(buf, res.ptr);
}

}  // namespace

std::string budget_line(double time, int component, const BudgetTerms& t) {
    std::string line;
    line.reserve(256);
    append_shortest(line, time);
    line += ',';
    line += std::to_string(component);
    for (const double v : {t.released, t.out_downstream, t.out_lateral, t.decayed_aquifer, t.produced_aquifer,
                           t.decayed_matrix, t.produced_matrix, t.change_aquifer, t.change_matrix, t.residual}) {
        line += ',';
        append_shortest(line, v);
    }
    return line;
}

void BudgetFile::open(const std::string& dir) {
    const std::string prefix = dir.empty() || dir == "." ? "" : dir + "/";
    file_.open(prefix + "budget.out", "budget.out");
    file_.write_line(kBudgetHeader);
    file_.flush();
}

std::string BudgetFile::close_after_stop() noexcept {
    try {
        file_.close();
    } catch (const RunStop& stop) {
        return stop.what();
    } catch (...) {
        return "cannot write result file 'budget.out'";
    }
    return "";
}

}  // namespace quilmar
