#pragma once
// Matrix diffusion by the profile method: per element and component the matrix
// concentration at distance z from the interface is taken as (c0 + p z + q z^2) exp(-z/d),
// with c0 the cell concentration and d a penetration depth growing with sqrt(time).
// Suffix 1: a bounding layer above/below the grid (semi-infinite); suffix 2: material
// embedded in the element (finite thickness difflen).
//
// The routines keep no state; they read and write the module arrays.
#include "state/model.hpp"

namespace quilmar {

// One-time setup: face switches from the code, interface areas, volfrac forced to 1
// without embedded material, matrix retardation, apparent diffusivity, retarded decay.
void matrixdsr1(MatrixdModule& md, const GlobalVek& gv);

// Penetration depth and profile moments for the elapsed time atime.
void matrixdsr2(MatrixdModule& md, const GlobalVek& gv, double atime);

// Fitting coefficients p = aa c0 + bb of element n, component m for this sweep.
void matrixdsr3(MatrixdModule& md, int n, int m, double dt, double cnewtm_1, double coldt);

// Right-hand-side and diagonal terms of the cell's exchange with its active matrices.
double matrixdsr4rhs(const MatrixdModule& md, int n, int m);
double matrixdsr5diag(const MatrixdModule& md, int n, int m);

// Stored amounts (depth integrals of the profiles) from the concentrations of the latest
// sweep. The profile coefficients p and q are formed on the way and not kept.
void matrixdsr6int(MatrixdModule& md, const GlobalVek& gv, double dt);

// End of a converged step: the stored amounts become the old level.
void matrixdsr7updt(MatrixdModule& md, const GlobalVek& gv);

}  // namespace quilmar
