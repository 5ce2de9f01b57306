#pragma once
#include "state/model.hpp"

namespace quilmar {

// Values the source depletion law cannot take as given, adjusted in place before first use:
// gamma 0.5 (a singular case) becomes 0.500001, gamma within 0.01 of 1 becomes 1.01,
// rates below 1e-6 becomes 1e-6, and a remediation of zero length lasts 0.0001.
void adjust_deck(Deck& d);

}  // namespace quilmar
