#include "geom/TSparseMatrix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "geom/TTriangleMesh.h"
#include "geom/cg4.h"
#include "geom/umfpack_component.h"

TSparseMatrix::TSparseMatrix(int rows, int cols)
    : nRows(rows > 0 ? rows : 0), nCols(cols > 0 ? cols : 0), rowLists(nRows) {
  std::fprintf(stderr, "TSparseMatrix created %d %d\n", rows, cols);
}

TSparseMatrix::~TSparseMatrix() { clear(); }

void TSparseMatrix::freeFactors() {
  if (symbolic && g_umfpackDllLoaded) {
    g_umfpack.freeSymbolic(&symbolic);
    if (numeric) g_umfpack.freeNumeric(&numeric);
  }
  symbolic = nullptr;
  numeric = nullptr;
  if (luRowPtr || luColIdx || luValues || luPerm) t_lumopackFree(luRowPtr, luColIdx, luValues, luPerm);
  luRowPtr = nullptr;
  luColIdx = nullptr;
  luValues = nullptr;
  luPerm = nullptr;
}

void TSparseMatrix::clear() {
  for (auto& r : rowLists) r.clear();
  delete[] rowPtr;
  delete[] colIdx;
  delete[] values;
  rowPtr = nullptr;
  colIdx = nullptr;
  values = nullptr;
  freeFactors();
}

void TSparseMatrix::buildFromRows(const TTriangleMesh& mesh, const unsigned short* flags,
                                  const std::vector<std::vector<int>>& rings) {
  const int n = mesh.vertexCount;
  if (nRows != n || nCols != n) std::fputs("error1211\n", stderr);
  clear();
  if (static_cast<int>(rowLists.size()) < n) rowLists.resize(n);
  for (int i = 0; i < n; ++i) {
    rowLists[i].push_back({i, 1.0});
    if (flags[i] != 0 || i >= static_cast<int>(rings.size())) continue;
    const auto& ring = rings[i];
    if (ring.empty()) continue;
    const double w = -1.0 / static_cast<double>(ring.size());
    for (int j : ring)
      if (j >= 0 && j < static_cast<int>(rowLists.size())) rowLists[j].push_back({i, w});
  }
}

int TSparseMatrix::multAAt(TSparseMatrix& out) const {
  if (out.nRows != nRows) {
    std::fputs("error 111123\n", stderr);
    return 0;
  }
  out.clear();
  // Rows of this matrix by column, so that row i meets only the rows that share a column.
  int maxCol = -1;
  for (const auto& r : rowLists)
    for (const auto& e : r) maxCol = std::max(maxCol, e.col);
  std::vector<std::vector<TSparseEntry>> byCol(maxCol + 1);  // (row, value)
  for (int i = 0; i < nRows; ++i)
    for (const auto& e : rowLists[i]) byCol[e.col].push_back({i, e.val});

  long total = 0;
#pragma omp parallel reduction(+ : total)
  {
    std::vector<double> acc(nRows, 0.0);
    std::vector<char> touched(nRows, 0);
    std::vector<int> hit;
#pragma omp for schedule(static)
    for (int i = 0; i < nRows; ++i) {
      hit.clear();
      // Ascending columns of row i, so each sum adds its products in column order.
      for (const auto& e : rowLists[i])
        for (const auto& o : byCol[e.col]) {
          if (!touched[o.col]) {
            touched[o.col] = 1;
            hit.push_back(o.col);
          }
          acc[o.col] += e.val * o.val;
        }
      std::sort(hit.begin(), hit.end());
      auto& dst = out.rowLists[i];
      dst.reserve(hit.size());
      for (int j : hit) {
        dst.push_back({j, acc[j]});
        acc[j] = 0.0;
        touched[j] = 0;
      }
      total += static_cast<long>(hit.size());
    }
  }
  return static_cast<int>(total);
}

void TSparseMatrix::allocFields(int nnz) {
  delete[] rowPtr;
  delete[] colIdx;
  delete[] values;
  long listed = 0;
  for (const auto& r : rowLists) listed += static_cast<long>(r.size());
  if (listed != nnz)
    std::fprintf(stderr, "allocFields: %d entries requested, the lists hold %ld\n", nnz, listed);
  const long size = std::max<long>(listed, 1);
  rowPtr = new int[nRows + 1];
  colIdx = new int[size];
  values = new double[size];
  long k = 0;
  for (int i = 0; i < nRows; ++i) {
    rowPtr[i] = static_cast<int>(k);
    for (const auto& e : rowLists[i]) {
      colIdx[k] = e.col;
      values[k] = e.val;
      ++k;
    }
  }
  rowPtr[nRows] = static_cast<int>(k);
}

void TSparseMatrix::multVec(int xLen, const double* x, int yLen, double* y) const {
  if (xLen != nCols || yLen != nRows) {
    std::fputs("error 11123\n", stderr);
    return;
  }
#pragma omp parallel for schedule(static) if (nRows > 4096)
  for (int i = 0; i < nRows; ++i) {
    double s = 0.0;
    if (colIdx) {
      for (int e = rowPtr[i]; e < rowPtr[i + 1]; ++e) s += values[e] * x[colIdx[e]];
    } else {
      for (const auto& e : rowLists[i]) s += e.val * x[e.col];
    }
    y[i] = s;
  }
}

void TSparseMatrix::copyTo(TSparseMatrix& out) const {
  if (out.nRows != nRows || out.nCols != nCols) {
    std::fputs("cant Copy!!\n", stderr);
    return;
  }
  out.clear();
  out.rowLists = rowLists;
  if (colIdx) {
    const int nnz = rowPtr[nRows];
    out.rowPtr = new int[nRows + 1];
    out.colIdx = new int[std::max(nnz, 1)];
    out.values = new double[std::max(nnz, 1)];
    std::copy(rowPtr, rowPtr + nRows + 1, out.rowPtr);
    std::copy(colIdx, colIdx + nnz, out.colIdx);
    std::copy(values, values + nnz, out.values);
  }
}

bool TSparseMatrix::readyToFactor() const {
  if (nRows != nCols) {
    std::fputs("error row size is not equal to col size\n", stderr);
    return false;
  }
  if (!colIdx) {
    std::fputs("error mat field is not ready!\n          ", stderr);
    return false;
  }
  return true;
}

bool TSparseMatrix::factorLU() {
  if (!readyToFactor()) return false;
  if (g_umfpackDllLoaded) {
    if (symbolic) freeFactors();
    int st = g_umfpack.symbolic(nCols, nCols, rowPtr, colIdx, values, &symbolic);
    if (st == 0) st = g_umfpack.numeric(rowPtr, colIdx, values, symbolic, &numeric);
    if (st != 0) {
      std::fprintf(stderr, "sparse LU (solver component) failed with status %d%s\n", st,
                   st == 1 ? ": the matrix is singular" : "");
      freeFactors();
      return false;
    }
    return true;
  }
  if (luRowPtr) freeFactors();
  return t_lumopackFactor(nRows, rowPtr, colIdx, values, &luRowPtr, &luColIdx, &luValues, &luPerm);
}

bool TSparseMatrix::solveLU(const double* b, double* x) {
  if (!readyToFactor()) return false;
  if (g_umfpackDllLoaded) {
    if (!symbolic && !factorLU()) {
      std::fill(x, x + nCols, 0.0);
      return false;
    }
    const int st = g_umfpack.solve(1, rowPtr, colIdx, values, x, b, numeric);
    if (st != 0) {
      std::fprintf(stderr, "sparse solve (solver component) failed with status %d\n", st);
      if (st < 0) std::fill(x, x + nCols, 0.0);
      return false;
    }
    return true;
  }
  return t_lumopackSolve(nRows, luRowPtr, luColIdx, luValues, luPerm, b, x);
}

bool t_solveCG(const int* rowPtr, const int* colIdx, const double* values, const double* b,
               double* x, double tolerance) {
  auto mult = [&](const double* v, double* out) {
    for (int i = 0; i < 4; ++i) {
      out[i] = 0.0;
      for (int e = rowPtr[i]; e < rowPtr[i + 1]; ++e) out[i] += values[e] * v[colIdx[e]];
    }
  };
  t_cg4(mult, b, x, tolerance);
  return true;
}

namespace {

void fill5(TSparseMatrix& m) {
  auto& r = m.rowLists;
  r[0] = {{0, 2}, {1, 3}};
  r[1] = {{0, 3}, {2, 4}, {4, 6}};
  r[2] = {{1, -1}, {2, -3}, {3, 2}};
  r[3] = {{2, 1}};
  r[4] = {{1, 4}, {2, 2}, {4, 1}};
}

void fill4(TSparseMatrix& m) {
  auto& r = m.rowLists;
  r[0] = {{0, 1}, {2, 2}, {3, 5}};
  r[1] = {{1, -4}, {2, 1}, {3, -1}};
  r[2] = {{0, 2}, {1, 1}, {3, 2}};
  r[3] = {{0, 5}, {1, -1}, {2, 2}, {3, 3}};
}

void printErrorBlock() {
  for (int i = 0; i < 10; ++i)
    std::fputs("!!!!!!!!!!!!!!!!!There are some errors in TSparseMatrix!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n",
               stderr);
}

// Own LU directly on the compressed arrays of m.
bool lumoSolve(const TSparseMatrix& m, const double* b, double* x) {
  int *rp, *ci, *pm;
  double* v;
  if (!t_lumopackFactor(m.nRows, m.rowPtr, m.colIdx, m.values, &rp, &ci, &v, &pm)) {
    std::fill(x, x + m.nRows, 0.0);
    return false;
  }
  const bool ok = t_lumopackSolve(m.nRows, rp, ci, v, pm, b, x);
  t_lumopackFree(rp, ci, v, pm);
  return ok;
}

}  // namespace

bool TSparseMatrix::test() {
  std::fputs("\n\n\n\n!!!!!!!!!!!!!!!test TSparseMatrix!!!!!!!!!!!!!!!!!!!!!!\n", stderr);
  std::fputs("!!!!!!!!!!!!!!!test TSparseMatrix!!!!!!!!!!!!!!!!!!!!!!\n", stderr);
  bool ok = true;
  {
    TSparseMatrix m(5, 5);
    fill5(m);
    m.allocFields(12);
    const double b[5] = {8, 45, -3, 3, 19};
    double x1[5] = {0}, x2[5] = {0}, nb[5] = {0};
    m.factorLU();
    m.solveLU(b, x1);
    m.freeFactors();
    lumoSolve(m, b, x2);
    std::fprintf(stderr, "result(umf ) %f %f %f %f %f\n", x1[0], x1[1], x1[2], x1[3], x1[4]);
    std::fprintf(stderr, "result(lumo) %f %f %f %f %f\n", x2[0], x2[1], x2[2], x2[3], x2[4]);
    m.multVec(5, x1, 5, nb);
    std::fprintf(stderr, "new b %.2f %.2f %.2f %.2f %.2f (should be {8.45.-3,3,19})\n", nb[0],
                 nb[1], nb[2], nb[3], nb[4]);
    bool e1 = false, e2 = false;
    for (int i = 0; i < 5; ++i) {
      if (!(std::fabs(x1[i] - (i + 1)) <= 1e-10)) e1 = true;
      if (!(std::fabs(x2[i] - (i + 1)) <= 1e-10)) e2 = true;
    }
    if (e1) std::fputs("error1!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n", stderr);
    if (e2) std::fputs("error2!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n", stderr);
    if (e1 || e2) printErrorBlock();
    ok = ok && !e1 && !e2;
  }
  {
    TSparseMatrix m(4, 4);
    fill4(m);
    m.allocFields(13);
    const double b[4] = {1, 2, 3, 4};
    double x1[4] = {0}, x2[4] = {0}, x3[4] = {0};
    m.factorLU();
    m.solveLU(b, x1);
    m.freeFactors();
    lumoSolve(m, b, x2);
    t_solveCG(m.rowPtr, m.colIdx, m.values, b, x3, 1e-8);
    std::fprintf(stderr, "result(umf ) %f %f %f %f \n", x1[0], x1[1], x1[2], x1[3]);
    std::fprintf(stderr, "result(lumo) %f %f %f %f \n", x2[0], x2[1], x2[2], x2[3]);
    std::fprintf(stderr, "result(cg  ) %f %f %f %f \n", x3[0], x3[1], x3[2], x3[3]);
    bool e1 = false, e2 = false;
    for (int i = 0; i < 4; ++i) {
      if (!(std::fabs(x1[i] - x3[i]) <= 1e-10)) e1 = true;
      if (!(std::fabs(x2[i] - x3[i]) <= 1e-10)) e2 = true;
    }
    if (e1) std::fputs("error1!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n", stderr);
    if (e2) std::fputs("error2!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n", stderr);
    if (e1 || e2) printErrorBlock();
    ok = ok && !e1 && !e2;
    m.clear();
  }
  std::fputs("FIN FIN FIN test TSparseMatrix!!!!!!!!!!!!!!!!!!!!!!\n", stderr);
  std::fputs("FIN FIN FIN test TSparseMatrix!!!!!!!!!!!!!!!!!!!!!!\n", stderr);
  return ok;
}
