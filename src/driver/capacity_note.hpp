#pragma once
// The deck items behind an index stop: a grid beyond the capacities reaches an array's
// declared bound, and the report then names the item, its value and its largest value.
#include <string>

#include "state/model.hpp"

namespace quilmar {

// For example "(deck record 37: nx = 2000, at most 1999)", one part per item beyond its
// capacity, joined by "; "; empty when the deck is within all of them.
std::string capacity_note(const Deck& d);

}  // namespace quilmar
