// quilmar_v3: one run of the plume simulator. The input deck comes on standard input;
// the result files are written in the working directory.
#include <iostream>

#include "driver/run.hpp"

int main() {
    std::ios::sync_with_stdio(false);
    return quilmar::run(std::cin, std::cout, std::cerr);
}
