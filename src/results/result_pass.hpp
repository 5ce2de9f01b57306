#pragma once
#include "results/result_files.hpp"
#include "state/model.hpp"

namespace quilmar {

// End-of-step handover and results: cold takes the converged cnew, values of cnew below
// 1e-20 (negatives included) become 0; then per column the discharge line, at snapshot
// steps the concentration field, and the well and plume-mass lines.
void handover_and_results(Model& s, ResultFiles& files);

}  // namespace quilmar
