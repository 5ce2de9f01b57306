#pragma once
// The layout of the input deck: 42 groups of two comment lines and one value record,
// every value identified by its position.
#include <iosfwd>
#include <string>
#include <vector>

#include "input/deck_reader.hpp"
#include "state/model.hpp"

namespace quilmar {

inline constexpr int kDeckRecords = 42;

// The items of every record, in deck order, bound to the fields of deck.
std::vector<std::vector<DeckItem>> deck_records(Deck& deck);

// Reads and echoes the whole deck: each comment line as 100 characters, each value record
// as one line with a leading blank. Each echo line is written right after its read. A
// record whose line goes on with a number after its last value draws a warning on err
// (when given); the number is ignored like any note.
void read_deck(Model& s, std::istream& in, std::ostream& out, std::ostream* err = nullptr);

// The echo line of one value record.
std::string echo_record(const std::vector<DeckItem>& items);

}  // namespace quilmar
