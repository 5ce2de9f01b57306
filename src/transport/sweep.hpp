#pragma once
#include "state/model.hpp"

namespace quilmar {

// Value carried between calls of the matrix fitting: the parent component's concentration
// of the cell last updated (for the first component it keeps the previous call's value).
struct SweepCarry {
    double cnewtm_1 = 0.0;
};

// One point Gauss-Seidel sweep of the implicit cell balance over all cells (element order,
// components 1 to 4 innermost), every access checked. Raises s.errmax.
void sweep_checked(Model& s, SweepCarry& carry);

}  // namespace quilmar
