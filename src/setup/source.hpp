#pragma once
#include <iosfwd>

#include "state/model.hpp"

namespace quilmar {

// True for a component that has source mass.
inline bool has_source(const Deck& d, int m) { return d.tzeromass(m) >= kNegligible; }

// Source geometry, the constants of the depletion law from time 0 and from the end of
// remediation, and the masses at t1 and t2; prints the initial mass of every component
// that has a source.
void setup_source(Model& s, std::ostream& out);

// Source concentration of component m at time trelease (updates s.src.smass); the
// previous csource is returned when no regime applies.
double source_concentration(Model& s, int m, double trelease);

// Sets csource for the model time atime and writes it into the source cells of column 0.
void release_source(Model& s);

}  // namespace quilmar
