#pragma once
// How the solver runs, from the environment: QUILMAR_THREADS, QUILMAR_REFERENCE,
// QUILMAR_PORTABLE and QUILMAR_TIMING. None of them changes a result.
namespace quilmar {

struct SolverOptions {
    int threads = 0;         // QUILMAR_THREADS: members of the sweep team; 0 when not set
    int threads_asked = 0;   // the value asked for, before the cap at the processors available
    bool reference = false;  // QUILMAR_REFERENCE: the checked cell-by-cell solver
    bool portable = false;   // QUILMAR_PORTABLE: the fast solver without AVX2
    bool timing = false;     // QUILMAR_TIMING: a line on where the time went
};

// Reads the four variables. A switch is off when unset, empty, 0, no, off or false, and on
// when 1 (or another positive integer), yes, on or true; QUILMAR_THREADS takes a
// non-negative integer (0 as 1), empty counting as unset, and is capped at the processors
// this process may run on. Any other value stops the run (RunStop, status 2) with a message
// naming the variable.
SolverOptions solver_options_from_environment();

// The processors this process may run on (at least 1).
int available_processors();

}  // namespace quilmar
