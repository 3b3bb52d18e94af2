#pragma once
// Diagnostics of the dense matrix: the symmetry map and the start-up self test.
class TDenseSqMat;

namespace TDenseMatEx {
// Prints one line per row: " 0" zero entry, " s" equal to its mirror entry, " w" otherwise.
void trace(const TDenseSqMat& m);
// Solves two small systems and prints the results; prints error lines on a mismatch.
// Returns whether both systems gave the expected solution.
bool TEST();
}  // namespace TDenseMatEx

// Conjugate gradients for a 4 x 4 system given by its row pointers.
void t_denseSolveCG(double* const* A, const double b[4], double x[4]);
