#pragma once
// The command line: a deck file in place of standard input, the switches of a run, and the
// requests for the usage text and the version.
#include <string>
#include <vector>

#include "driver/run.hpp"

namespace quilmar {

struct Invocation {
    enum class Action { Run, Help, Version, Misuse };
    Action action = Action::Run;
    RunOptions options;
    std::string deck_path;  // empty: the deck comes on standard input
    std::string problem;    // for Misuse: what was wrong with the arguments
};

// args: the arguments after the program name.
Invocation parse_arguments(const std::vector<std::string>& args);

// The text of --help (also shown on standard error after a misuse).
const std::string& usage_text();
// The line of --version.
const std::string& version_line();

}  // namespace quilmar
