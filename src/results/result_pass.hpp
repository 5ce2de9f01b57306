#pragma once
#include <string>

#include "results/result_files.hpp"
#include "state/model.hpp"

namespace quilmar {

// End-of-step handover and results: cold takes the converged cnew, values of cnew below
// 1e-20 (negatives included) become 0; then per column the discharge line, at snapshot
// steps the concentration field, and the well and plume-mass lines.
void handover_and_results(Model& s, ResultFiles& files);

// Pieces shared with the wavefront solver's result pass.

// Mass of a component in the matrices of one element: only the matrices the element has
// count (a bounding layer on each active face, embedded material if present).
double matrix_mass_value(bool top, bool bot, bool embed, double porm, double amd1, double amd2, double retardm,
                         double ainew1, double ainew2);

// One line of Quilmar.out and of discharge.out; c and discharge indexed 1..4.
void append_quilmar_line(std::string& line, double atime, double x, double y, double z, const double* c);
void append_discharge_line(std::string& line, double atime, double x, const double* discharge);

// After the cells: resets the snapshot counter, writes the well line and the plume-mass line
// (the sums doubled to the whole plume).
void finish_step_results(Model& s, ResultFiles& files);

}  // namespace quilmar
