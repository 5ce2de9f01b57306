// quilmar_v3: one run of the plume simulator. The input deck comes on standard input or
// from the file named on the command line; the result files are written in the working
// directory.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "driver/arguments.hpp"
#include "driver/process_setup.hpp"
#include "driver/run.hpp"
#include "state/run_stop.hpp"

int main(int argc, char** argv) {
    using quilmar::Invocation;
    quilmar::open_missing_standard_descriptors();
    quilmar::install_stop_signals();
    std::ios::sync_with_stdio(false);
    // The console is flushed where the run decides; reading the deck must not flush it, or
    // a console that cannot be written would show as a deck that ends early.
    std::cin.tie(nullptr);

    const Invocation inv = quilmar::parse_arguments(std::vector<std::string>(argv + 1, argv + argc));
    switch (inv.action) {
        case Invocation::Action::Help:
            std::cout << quilmar::usage_text() << std::flush;
            return std::cout ? quilmar::kExitOk : quilmar::kExitInputOrIndex;
        case Invocation::Action::Version:
            std::cout << quilmar::version_line() << std::flush;
            return std::cout ? quilmar::kExitOk : quilmar::kExitInputOrIndex;
        case Invocation::Action::Misuse:
            std::cerr << "quilmar_v3: " << inv.problem << "\n\n" << quilmar::usage_text();
            return quilmar::kExitInputOrIndex;
        case Invocation::Action::Run:
            break;
    }
    if (inv.deck_path.empty()) {
        if (::isatty(STDIN_FILENO))
            std::cerr << "quilmar_v3: reading the deck from standard input (end it with Ctrl-D; "
                         "quilmar_v3 --help for usage)"
                      << std::endl;
        return quilmar::run(std::cin, std::cout, std::cerr, inv.options);
    }
    // The deck file is checked before the run creates any result file.
    std::error_code ec;
    if (std::filesystem::is_directory(inv.deck_path, ec)) {
        std::cerr << "quilmar_v3: cannot read deck file '" << inv.deck_path << "': it is a folder\n";
        return quilmar::kExitInputOrIndex;
    }
    std::ifstream deck(inv.deck_path, std::ios::binary);
    if (!deck) {
        std::cerr << "quilmar_v3: cannot read deck file '" << inv.deck_path << "': " << std::strerror(errno) << '\n';
        return quilmar::kExitInputOrIndex;
    }
    return quilmar::run(deck, std::cout, std::cerr, inv.options);
}
