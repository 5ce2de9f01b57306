#pragma once
// Fixed capacities of a run. The arrays are declared at these sizes whatever the grid;
// a deck that needs more stops at the first access beyond them.
namespace quilmar {

inline constexpr int maxn = 500000;   // elements in the matrix-diffusion arrays
inline constexpr int maxm = 4;        // components of the decay chain
inline constexpr int maxnn = 500000;  // elements in the host-grid element data
inline constexpr int kMaxX = 2000;    // last x index of the concentration grid (cnew starts at 0)
inline constexpr int kMaxY = 50;      // last row index
inline constexpr int kMaxZ = 50;      // last layer index
inline constexpr int kComponents = 4;

// Concentrations, cell masses and well values below this count as zero at the end of a step;
// a component has a source only with at least this much initial mass.
inline constexpr double kNegligible = 1e-20;

}  // namespace quilmar
