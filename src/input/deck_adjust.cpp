#include "input/deck_adjust.hpp"

#include <cmath>

namespace quilmar {

void adjust_deck(Deck& d) {
    if (d.gamma == 0.5) {
        d.gamma = 0.500001;
    } else if (std::fabs(1.0 - d.gamma) <= 0.01) {
        d.gamma = 1.01;
    }
    if (d.rates < 1e-6) d.rates = 1e-6;
    if (d.t2 == d.t1) d.t2 = d.t1 + 0.0001;
}

}  // namespace quilmar
