// The program's own sparse LU: left-looking by columns with partial pivoting by rows and no
// reordering.  Columns are computed by sparse triangular solves over the reach of the column's
// pattern, so the work is proportional to the arithmetic; the pivot rule is the one of the
// dense elimination (largest magnitude, ties to the earliest row position).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "geom/TSparseMatrix.h"

namespace {

struct ColumnStore {
  std::vector<int> ptr{0};
  std::vector<int> idx;
  std::vector<double> val;
  void push(int i, double v) {
    idx.push_back(i);
    val.push_back(v);
  }
  void close() { ptr.push_back(static_cast<int>(idx.size())); }
};

}  // namespace

bool t_lumopackFactor(int n, const int* rowPtr, const int* colIdx, const double* values,
                      int** luRowPtr, int** luColIdx, double** luValues, int** luPerm) {
  *luRowPtr = nullptr;
  *luColIdx = nullptr;
  *luValues = nullptr;
  *luPerm = nullptr;
  if (n <= 0) return false;

  // Columns of A (the first entry of a repeated (row, column) pair counts, as a row scan would).
  std::vector<int> cp(n + 1, 0), ci, lastRowInCol(n, -1);
  std::vector<double> cx;
  for (int i = 0; i < n; ++i)
    for (int e = rowPtr[i]; e < rowPtr[i + 1]; ++e) {
      const int c = colIdx[e];
      if (c < 0 || c >= n) continue;
      if (lastRowInCol[c] == i) continue;
      lastRowInCol[c] = i;
      ++cp[c + 1];
    }
  for (int c = 0; c < n; ++c) cp[c + 1] += cp[c];
  ci.resize(cp[n]);
  cx.resize(cp[n]);
  {
    std::vector<int> fill(cp.begin(), cp.end() - 1);
    std::fill(lastRowInCol.begin(), lastRowInCol.end(), -1);
    for (int i = 0; i < n; ++i)
      for (int e = rowPtr[i]; e < rowPtr[i + 1]; ++e) {
        const int c = colIdx[e];
        if (c < 0 || c >= n || lastRowInCol[c] == i) continue;
        lastRowInCol[c] = i;
        ci[fill[c]] = i;
        cx[fill[c]] = values[e];
        ++fill[c];
      }
  }

  std::vector<int> perm(n), pos(n);
  for (int i = 0; i < n; ++i) perm[i] = pos[i] = i;
  ColumnStore L, U;           // L by original row ids; U by pivot positions
  std::vector<double> x(n, 0.0);
  std::vector<char> inPattern(n, 0);
  std::vector<int> pattern;   // original rows touched in this column
  std::vector<int> mark(n, -1), stack, childPos, topo;

  for (int j = 0; j < n; ++j) {
    pattern.clear();
    topo.clear();
    // Scatter column j and find the pivoted columns it reaches (depth-first, post-order).
    for (int e = cp[j]; e < cp[j + 1]; ++e) {
      const int r = ci[e];
      x[r] = cx[e];
      if (!inPattern[r]) {
        inPattern[r] = 1;
        pattern.push_back(r);
      }
      const int k0 = pos[r];
      if (k0 >= j || mark[k0] == j) continue;
      stack.assign(1, k0);
      childPos.assign(1, L.ptr[k0]);
      mark[k0] = j;
      while (!stack.empty()) {
        const int k = stack.back();
        int& cpos = childPos.back();
        bool descended = false;
        while (cpos < L.ptr[k + 1]) {
          const int kk = pos[L.idx[cpos++]];
          if (kk < j && mark[kk] != j) {
            mark[kk] = j;
            stack.push_back(kk);
            childPos.push_back(L.ptr[kk]);
            descended = true;
            break;
          }
        }
        if (!descended) {
          topo.push_back(k);
          stack.pop_back();
          childPos.pop_back();
        }
      }
    }
    // Sparse forward solve in topological order (reverse post-order).
    for (auto it = topo.rbegin(); it != topo.rend(); ++it) {
      const int k = *it;
      const double xk = x[perm[k]];
      if (xk == 0.0) continue;
      for (int e = L.ptr[k]; e < L.ptr[k + 1]; ++e) {
        const int r = L.idx[e];
        if (!inPattern[r]) {
          inPattern[r] = 1;
          pattern.push_back(r);
        }
        x[r] -= L.val[e] * xk;
      }
    }
    // U part: the pivoted rows, in position order.
    std::sort(topo.begin(), topo.end());
    for (int k : topo) {
      const double v = x[perm[k]];
      if (v != 0.0) U.push(k, v);
    }
    // Pivot among the rows not pivoted yet: largest magnitude, ties to the smallest position.
    int pr = -1;
    double best = 0.0;
    for (int r : pattern) {
      if (pos[r] < j) continue;
      const double a = std::fabs(x[r]);
      if (pr < 0 || a > best || (a == best && pos[r] < pos[pr])) {
        pr = r;
        best = a;
      }
    }
    const double piv = pr >= 0 ? x[pr] : 0.0;
    if (piv == 0.0 || !std::isfinite(piv) || !std::isfinite(1.0 / piv)) {
      std::fprintf(stderr, "sparse LU failed: the matrix is singular (no pivot in column %d)\n", j);
      return false;
    }
    U.push(j, piv);
    U.close();
    const int p = pos[pr];
    if (p != j) {
      const int rj = perm[j];
      std::swap(perm[j], perm[p]);
      pos[rj] = p;
      pos[pr] = j;
    }
    const double inv = 1.0 / piv;
    for (int r : pattern) {
      if (pos[r] > j) {
        const double l = x[r] * inv;
        if (l != 0.0) L.push(r, l);
      }
      x[r] = 0.0;
      inPattern[r] = 0;
    }
    L.close();
  }

  // Rows of the factor by final position: L entries (columns < i) then U entries (columns >= i).
  std::vector<int> lcount(n, 0), ucount(n, 0);
  for (int e = 0; e < L.ptr[n]; ++e) ++lcount[pos[L.idx[e]]];
  for (int e = 0; e < U.ptr[n]; ++e) ++ucount[U.idx[e]];
  int* rp = new int[n + 1];
  rp[0] = 0;
  for (int i = 0; i < n; ++i) rp[i + 1] = rp[i] + lcount[i] + ucount[i];
  int* cidx = new int[rp[n] > 0 ? rp[n] : 1];
  double* vals = new double[rp[n] > 0 ? rp[n] : 1];
  std::vector<int> lcur(n), ucur(n);
  for (int i = 0; i < n; ++i) {
    lcur[i] = rp[i];
    ucur[i] = rp[i] + lcount[i];
  }
  for (int k = 0; k < n; ++k)
    for (int e = L.ptr[k]; e < L.ptr[k + 1]; ++e) {
      const int i = pos[L.idx[e]];
      cidx[lcur[i]] = k;
      vals[lcur[i]++] = L.val[e];
    }
  for (int jcol = 0; jcol < n; ++jcol)
    for (int e = U.ptr[jcol]; e < U.ptr[jcol + 1]; ++e) {
      const int i = U.idx[e];
      cidx[ucur[i]] = jcol;
      vals[ucur[i]++] = U.val[e];
    }
  int* pm = new int[n];
  for (int i = 0; i < n; ++i) pm[i] = perm[i];
  *luRowPtr = rp;
  *luColIdx = cidx;
  *luValues = vals;
  *luPerm = pm;
  return true;
}

bool t_lumopackSolve(int n, const int* luRowPtr, const int* luColIdx, const double* luValues,
                     const int* luPerm, const double* b, double* x) {
  if (!luRowPtr || !luColIdx || !luValues || !luPerm) {
    std::fprintf(stderr, "sparse LU solve refused: no factor\n");
    std::fill(x, x + n, 0.0);
    return false;
  }
  std::vector<double> y(n);
  for (int i = 0; i < n; ++i) y[i] = b[luPerm[i]];
  for (int i = 0; i < n; ++i) {
    double s = y[i];
    for (int e = luRowPtr[i]; e < luRowPtr[i + 1] && luColIdx[e] < i; ++e) s -= y[luColIdx[e]] * luValues[e];
    y[i] = s;
  }
  for (int i = n - 1; i >= 0; --i) {
    int e = luRowPtr[i];
    while (e < luRowPtr[i + 1] && luColIdx[e] < i) ++e;
    if (e >= luRowPtr[i + 1] || luColIdx[e] != i || luValues[e] == 0.0) {
      std::fprintf(stderr, "sparse LU solve failed: row %d of the factor has no pivot\n", i);
      std::fill(x, x + n, 0.0);
      return false;
    }
    const double piv = luValues[e];
    double s = y[i];
    for (++e; e < luRowPtr[i + 1]; ++e) s -= x[luColIdx[e]] * luValues[e];
    x[i] = s / piv;
  }
  return true;
}

void t_lumopackFree(int* luRowPtr, int* luColIdx, double* luValues, int* luPerm) {
  delete[] luRowPtr;
  delete[] luColIdx;
  delete[] luValues;
  delete[] luPerm;
}
