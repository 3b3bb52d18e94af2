#pragma once
// Sparse matrix assembled as row lists, compressed once into rows, factorised and solved many
// times with the solver component (UMFPACK behind our own shared library) or, when that is not
// loaded, with the program's own sparse LU.
#include <vector>

class TTriangleMesh;

struct TSparseEntry {
  int col;
  double val;
};

class TSparseMatrix {
 public:
  TSparseMatrix(int rows, int cols);
  ~TSparseMatrix();
  TSparseMatrix(const TSparseMatrix&) = delete;
  TSparseMatrix& operator=(const TSparseMatrix&) = delete;

  void clear();
  // Transposed umbrella Laplacian of the mesh; vertices with a non-zero flag get identity rows.
  void buildFromRows(const TTriangleMesh& mesh, const unsigned short* flags,
                     const std::vector<std::vector<int>>& rings);
  // out := this * this^T (row lists); returns the number of stored entries.
  int multAAt(TSparseMatrix& out) const;
  // Compressed-row snapshot of the lists; nnz must be the lists' total entry count.
  void allocFields(int nnz);
  void multVec(int xLen, const double* x, int yLen, double* y) const;
  void copyTo(TSparseMatrix& out) const;
  // Factorises the compressed form with the active back end; false (console line) when the
  // matrix is not square, not compressed, or singular.
  bool factorLU();
  // Solves A x = b; factorises first with the component when no factor exists.  False when no
  // usable factor exists (x is then zeroed).
  bool solveLU(const double* b, double* x);
  void freeFactors();

  // Start-up self test: prints the results of both back ends and conjugate gradients.
  static bool test();

  int nRows;
  int nCols;
  std::vector<std::vector<TSparseEntry>> rowLists;
  int* rowPtr = nullptr;
  int* colIdx = nullptr;
  double* values = nullptr;
  void* symbolic = nullptr;
  void* numeric = nullptr;
  int* luRowPtr = nullptr;
  int* luColIdx = nullptr;
  int* luPerm = nullptr;
  double* luValues = nullptr;

 private:
  // A square matrix in compressed form; otherwise the console says which is missing.
  bool readyToFactor() const;
};

// The program's own sparse LU (left-looking, partial pivoting by rows, no reordering).  The
// factor is stored by rows: row i holds L[i][k] (k < i), the pivot U[i][i], then U[i][k] (k > i);
// row i of the factor is equation luPerm[i].  Returns false (console line, no arrays) when a
// pivot is exactly zero or not finite.
bool t_lumopackFactor(int n, const int* rowPtr, const int* colIdx, const double* values,
                      int** luRowPtr, int** luColIdx, double** luValues, int** luPerm);
// x = A^-1 b; false when a row of the factor has no pivot.
bool t_lumopackSolve(int n, const int* luRowPtr, const int* luColIdx, const double* luValues,
                     const int* luPerm, const double* b, double* x);
void t_lumopackFree(int* luRowPtr, int* luColIdx, double* luValues, int* luPerm);

// Conjugate gradients for a 4 x 4 compressed-row matrix; tolerance on the squared residual.
bool t_solveCG(const int* rowPtr, const int* colIdx, const double* values, const double* b,
               double* x, double tolerance);
