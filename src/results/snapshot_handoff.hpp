#pragma once
// A snapshot step's result pass by two threads: one formats the concentration-field lines
// column by column, the other forms the sums and writes every line in the same order as a
// single thread would.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <limits>
#include <string>
#include <vector>

#include "results/result_pass.hpp"
#include "state/spin_wait.hpp"

namespace quilmar {

// The hand-off of a snapshot's lines from the thread that formats them to the one that
// writes them, through a ring of column texts: column i is formatted into entry i % size
// once column i - size is written, and written once it is formatted. If the formatting
// fails, its error stops the writing pass; if the writing pass stops (a result file that
// cannot be written), the formatting is abandoned.
class SnapshotHandoff {
public:
    explicit SnapshotHandoff(std::vector<std::string>& texts) : ring_(texts) {}

    // The formatting side: the text of column i, once there is room for it (null if the
    // writing pass has stopped); then formatted(i).
    std::string* room_for(int i);
    void formatted(int i) { formatted_.store(i, std::memory_order_release); }
    void fail(std::exception_ptr e);
    // The writing side stops.
    void abandon() { abandoned_.store(true, std::memory_order_release); }

    // The writing side, as the result pass's snapshot.
    void column(LineFile& quilmar, int i, double);
    void cell(LineFile&, int, int, const double*) const {}

private:
    std::vector<std::string>& ring_;
    std::atomic<int> formatted_{0}, written_{0};
    std::atomic<bool> format_failed_{false}, abandoned_{false};
    std::exception_ptr format_error_;
};

// The snapshot lines of every column, gather(i0, i1, to) giving the concentrations of up to
// kGatherColumns columns at a time in element order (to[((i - i0) * ny * nz + (j - 1) * nz +
// k - 1) * 4 + m - 1]).
template <class Gather>
void format_snapshot(const Deck& dk, double atime, Gather&& gather, SnapshotHandoff& handoff) {
    constexpr int kGatherColumns = 8;
    const int nynz = dk.ny * dk.nz;
    SnapshotHeads heads(dk, atime);
    std::vector<double> values(static_cast<std::size_t>(kGatherColumns) * nynz * kComponents);
    for (int i0 = 1; i0 <= dk.nx; i0 += kGatherColumns) {
        const int i1 = std::min(dk.nx, i0 + kGatherColumns - 1);
        gather(i0, i1, values.data());
        for (int i = i0; i <= i1; ++i) {
            std::string* text = handoff.room_for(i);
            if (!text) return;
            text->clear();
            heads.column(cell_centre(i, dk.dx));
            const double* at = values.data() + static_cast<std::size_t>(i - i0) * nynz * kComponents;
            for (int j = 1; j <= dk.ny; ++j)
                for (int k = 1; k <= dk.nz; ++k, at += kComponents) {
                    const double c[kComponents + 1] = {0.0, at[0], at[1], at[2], at[3]};
                    heads.append(*text, j, k);
                    append_quilmar_values(*text, c);
                    *text += '\n';
                }
            handoff.formatted(i);
        }
    }
}

// The result pass of a snapshot step with the lines formatted aside: run_pair(job) runs
// job(0) and job(1) at the same time on two threads. The ring holds about twice what a
// result file collects before it writes, so that the formatting goes on while the file is
// written. cell_values as for write_step_results; gather as for format_snapshot.
template <class CellValues, class Gather, class RunPair>
void write_step_results_formatting_aside(Model& s, ResultFiles& files, CellValues&& cell_values, Gather&& gather,
                                         RunPair&& run_pair, std::vector<std::string>& ring) {
    constexpr std::size_t kLineRingBytes = std::size_t{8} << 20;
    constexpr std::size_t kFieldLineBytes = 96;
    constexpr std::size_t kGatherColumns = 8;
    const std::size_t column_bytes = static_cast<std::size_t>(s.deck.ny * s.deck.nz) * kFieldLineBytes;
    const std::size_t entries = std::max<std::size_t>(2 * kGatherColumns, kLineRingBytes / column_bytes + 1);
    ring.resize(std::min<std::size_t>(entries, static_cast<std::size_t>(s.deck.nx) + 1));
    SnapshotHandoff handoff{ring};
    std::exception_ptr write_error;
    run_pair([&](int member) {
        if (member == 1) {
            try {
                format_snapshot(s.deck, s.atime, gather, handoff);
            } catch (...) {
                handoff.fail(std::current_exception());
            }
        } else if (member == 0) {
            try {
                write_step_results_direct(s, files, cell_values, &handoff);
            } catch (...) {
                write_error = std::current_exception();
                handoff.abandon();
            }
        }
    });
    if (write_error) std::rethrow_exception(write_error);
}

}  // namespace quilmar
