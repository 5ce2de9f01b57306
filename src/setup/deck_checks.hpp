#pragma once
// Checks of the deck values that the model cannot use as given (a rejection: the run stops
// with exit status 2 and one line naming the record, the item, the value and the rule) and
// warnings for values that run but are probably mistakes (one line each on the error
// stream, the run goes on unchanged).
//
// Each check runs where its values are first put to use, so that the console already shows
// the echo and the setup lines up to that point. The checks compare with the grid the deck
// describes (nx, ny, nz), never with the capacities: a grid too large for the arrays still
// stops at the first index beyond them.
#include <iosfwd>
#include <string>

#include "state/matrix_codes.hpp"
#include "state/model.hpp"

namespace quilmar {

// "deck record 22, item 6 (volfracs)" for a deck item named as in the deck layout.
std::string deck_item_label(const std::string& name);

// After the elements are filled: matrix code and matrix properties (record 22) and the cell
// sizes (records 37 to 39). Warns of a volume fraction that a code without embedded matrix
// only partly uses, and of cell centres too large for the coordinate fields.
void check_elements(const Deck& d, std::ostream& err);

// After the well search: a row and screened layers inside the grid, the screen bottom not
// above its top. Warns of a well x that matches no column (the well then samples the
// source plane).
void check_well(const Deck& d, const WellCells& w, std::ostream& err);

// Before the source setup: source rows and layers inside the grid, xremove a fraction.
// Warns of a remediation that ends before it starts.
void check_source(const Deck& d, std::ostream& err);

// Before the transport coefficients: a positive porosity of the aquifer.
void check_transport(const Deck& d);

// Before the time loop: a positive time step. Warns of model times too large for the time
// fields of the result files.
void check_time_steps(const Deck& d, std::ostream& err);

// True when a time or coordinate cannot be shown in the narrowest fixed-point fields of the
// result files (8 characters, 3 decimals): from 9999.9995 on it rounds to 10000.000 and
// the field fills with asterisks.
bool overflows_result_field(double v);

// True for the matrix codes whose elements hold embedded material (2, 5, 6, 7).
inline bool has_embedded_matrix(int mdflags) { return matrix_code(mdflags).embedded; }

}  // namespace quilmar
