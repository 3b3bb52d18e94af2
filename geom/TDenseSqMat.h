#pragma once
// Dense square matrix with an in-place LU factor (row pivoting, optional per-column pivot limits),
// a factorisation continued after rows and columns were appended, and exchanges of two adjacent
// variables or equations inside an existing factor.  The implicit-surface systems of the contour
// modes live in it.
//
// Rows are pointers into one block: exchanging two rows swaps the two pointers.  rowPerm[i] is the
// equation held in physical row i, colPerm[j] the variable held in physical column j.
#include <functional>

class TDenseSqMat {
 public:
  explicit TDenseSqMat(int n);
  ~TDenseSqMat();
  TDenseSqMat(const TDenseSqMat&) = delete;
  TDenseSqMat& operator=(const TDenseSqMat&) = delete;

  // Copies the leading m x m block and the first m entries of both permutations of src; does
  // nothing when m exceeds either order.
  void copyFrom(const TDenseSqMat& src, int m);

  // In-place LU with row pivoting.  pivotLimits (one entry per column, may be null): in column j
  // only rows i <= pivotLimits[j] may become the pivot row.  progress (may be empty) is called
  // at every 100th column with the fraction of columns done.  Returns false, with a console line,
  // when a pivot is zero, vanishes against its column's scale (n * eps * largest entry, which is
  // what rounding leaves of a zero) or is not finite: the factor is then unusable and solveLU
  // refuses it.
  bool factorLU(const int* pivotLimits = nullptr,
                const std::function<void(double)>& progress = {});

  // Continues a factor whose leading k0 x k0 block is factorised (copied in by copyFrom) over the
  // rows and columns appended after it.  Without pivot limits the diagonal is always the pivot.
  // Progress goes to the main frame.  Same failure rule as factorLU.
  bool factorLUPartial(int k0, const int* pivotLimits = nullptr);

  // Solves A x = b with the stored factor; b is not changed.  False (x zeroed) when the factor is
  // not valid.
  bool solveLU(const double* b, double* x) const;

  // Whether the stored factor came from a successful factorisation.
  bool factorValid() const { return m_factorValid; }

  int n;
  double** rows;
  int* rowPerm;
  int* colPerm;

 private:
  friend bool t_flipRow(TDenseSqMat&, int);
  friend bool t_flipRowEx(TDenseSqMat&, int, bool);
  bool m_factorValid = false;
  double* m_block = nullptr;  // the storage of all rows
};

// Exchanges variables k and k+1 inside the factor; false for k >= n-1.
bool t_flipRow(TDenseSqMat& m, int k);
// Exchanges equations k and k+1 inside the factor; false for k >= n-1 or when the exchange is
// refused (columns may not be exchanged and the sub-diagonal entry vanishes).
bool t_flipRowEx(TDenseSqMat& m, int k, bool allowColumnExchange);
