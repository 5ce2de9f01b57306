#pragma once
// What the process sets up before a run: the standard descriptors and the handling of
// the termination signals.
namespace quilmar {

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so that no result
// file is ever given one of them (the console would then be written into it).
void open_missing_standard_descriptors();

// SIGINT, SIGTERM and SIGHUP stop the run where every file holds complete lines: while
// the deck is being read the process ends at once (the result files hold their header
// lines), afterwards the run stops after the time step in progress. A second signal of
// the same kind ends the process at once.
void install_stop_signals();

// Whether a signal ends the process at once (true before and during the deck reading).
void stop_at_once_on_signal(bool at_once);

}  // namespace quilmar
