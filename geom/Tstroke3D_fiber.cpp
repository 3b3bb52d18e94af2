#include "geom/Tstroke3D_fiber.h"

#include <cmath>
#include <cstdio>

#include "geom/TSparseMatrix.h"
#include "geom/matrix3.h"

namespace {

const Tstroke3D_fiber::Rot kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1};

inline double at(const Tstroke3D_fiber::Rot& R, int r, int c) { return R[r + 3 * c]; }

// Levi-Civita symbol: (w x u)_a = sum_k,c eps(a,k,c) w_k u_c.
int eps(int a, int k, int c) {
  if (a == k || k == c || a == c) return 0;
  return ((a == 0 && k == 1) || (a == 1 && k == 2) || (a == 2 && k == 0)) ? 1 : -1;
}

double segLength(const TVec3& a, const TVec3& b) { return t_dist3(a.v, b.v); }

}  // namespace

Tstroke3D_fiber::Tstroke3D_fiber() : Tstroke3D_tube(0.1) {}

Tstroke3D_fiber::~Tstroke3D_fiber() = default;

void Tstroke3D_fiber::resizePinned() { pinned.resize(points.size(), 0); }

void Tstroke3D_fiber::copyFrom(const Tstroke3D_fiber& other) {
  points = other.points;
  closed = other.closed;
  radius = other.radius;
  sides = other.sides;
  updateTube();
  restPoints = points;
  regionFlags.resize(points.size(), 0);
  rotations.resize(points.size(), kIdentity);
  pinned = other.pinned;
}

void Tstroke3D_fiber::relaxPoint(int i) {
  const int n = static_cast<int>(points.size());
  resizePinned();
  if (n < 3 || i < 0 || i > n - 1 || pinned[i] != 0) return;
  int a = i - 1, b = i + 1;
  if (i == 0 || i == n - 1) {
    if (!closed) return;
    if (i == 0) a = n - 1;
    if (i == n - 1) b = 0;
  }
  for (int k = 0; k < 3; ++k) points[i][k] = 0.5 * points[a][k] + 0.5 * points[b][k];
}

void Tstroke3D_fiber::startDeformation(int i, double r) {
  std::fputs("start fiber deformation!!!!\n", stderr);
  const int n = static_cast<int>(points.size());
  restPoints = points;
  regionFlags.assign(n, 0);
  rotations.assign(n, kIdentity);
  resizePinned();
  if (i < 0 || i >= n) return;
  regionFlags[i] = 1;
  if (closed) markRegionClosed(i, r);
  else markRegionOpen(i, r);
}

void Tstroke3D_fiber::markRegionOpen(int i, double r) {
  const int n = static_cast<int>(restPoints.size());
  resizePinned();
  if (i < 0 || i >= n || static_cast<int>(regionFlags.size()) < n) return;
  regionFlags[i] = 1;
  double a = 0.0;
  for (int j = i + 1; j < n; ++j) {
    if (pinned[j]) break;
    a += segLength(restPoints[j], restPoints[j - 1]);
    if (a > r) break;
    regionFlags[j] = 1;
  }
  a = 0.0;
  for (int j = i - 1; j >= 0; --j) {
    if (pinned[j]) break;
    a += segLength(restPoints[j], restPoints[j + 1]);
    if (a > r) break;
    regionFlags[j] = 1;
  }
}

void Tstroke3D_fiber::markRegionClosed(int i, double r) {
  const int n = static_cast<int>(restPoints.size());
  resizePinned();
  if (i < 0 || i >= n || static_cast<int>(regionFlags.size()) < n) return;
  regionFlags[i] = 1;
  double a = 0.0;
  for (int prev = i, j = (i + 1) % n; j != i; prev = j, j = (j + 1) % n) {
    if (pinned[j]) break;
    a += segLength(restPoints[j], restPoints[prev]);
    if (a > r) break;
    regionFlags[j] = 1;
  }
  a = 0.0;
  for (int prev = i, j = (i - 1 + n) % n; j != i; prev = j, j = (j - 1 + n) % n) {
    if (pinned[j]) break;
    a += segLength(restPoints[j], restPoints[prev]);
    if (a > r) break;
    regionFlags[j] = 1;
  }
}

void Tstroke3D_fiber::growRegionOpen(int i, const double target[3]) {
  if (i < 0 || i >= static_cast<int>(restPoints.size())) return;
  markRegionOpen(i, 0.5 * t_dist3(target, restPoints[i].v));
}

void Tstroke3D_fiber::growRegionClosed(int i, const double target[3]) {
  if (i < 0 || i >= static_cast<int>(restPoints.size())) return;
  markRegionClosed(i, 0.5 * t_dist3(target, restPoints[i].v));
}

bool Tstroke3D_fiber::deform(int i, const double T[3]) {
  resizePinned();
  const int n = static_cast<int>(points.size());
  if (n == 0 || i < 0 || i >= n || static_cast<int>(restPoints.size()) != n ||
      static_cast<int>(regionFlags.size()) != n || static_cast<int>(rotations.size()) != n) {
    if (n > 0) std::fputs("fiber deformation without a started drag\n", stderr);
    return false;
  }
  if (closed) growRegionClosed(i, T);
  else growRegionOpen(i, T);

  int m = 0;
  for (int f : regionFlags) m += f ? 1 : 0;
  if (m == 0) return true;
  if (m == 1) {
    for (int k = 0; k < 3; ++k) points[i][k] = T[k];
    updateTube();
    return true;
  }
  if (m == n) {
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < 3; ++k) points[j][k] = restPoints[j][k] + (T[k] - restPoints[i][k]);
    updateTube();
    return true;
  }

  // Local numbering of the region; a region across the end of a closed fiber starts after the gap.
  std::vector<int> g;
  if (regionFlags[n - 1] && regionFlags[0]) {
    int s = 0;
    for (int j = n - 2; j >= 0; --j)
      if (!regionFlags[j]) {
        s = j + 1;
        break;
      }
    for (int j = s; j < n; ++j) g.push_back(j);
    for (int j = 0; j < s && regionFlags[j]; ++j) g.push_back(j);
  } else {
    for (int j = 0; j < n; ++j)
      if (regionFlags[j]) g.push_back(j);
  }
  m = static_cast<int>(g.size());
  int h = 0;
  for (int l = 0; l < m; ++l)
    if (g[l] == i) h = l;

  const int nVar = 6 * m, nEq = 12 * m + 18;
  TSparseMatrix At(nVar, nEq);  // one row per variable, one column per equation
  std::vector<double> rhs;
  rhs.reserve(nEq);
  int eq = 0;
  auto put = [&](int var, double coef) {
    if (coef != 0.0) At.rowLists[var].push_back({eq, coef});
  };
  auto P = [](int l, int k) { return 6 * l + k; };
  auto W = [](int l, int k) { return 6 * l + 3 + k; };

  // (a) edges, weight 20.
  for (int l = 0; l < m; ++l) {
    const int lp = l >= 1 ? l - 1 : 1;
    double d[3], e[3];
    for (int k = 0; k < 3; ++k) d[k] = restPoints[g[l]][k] - restPoints[g[lp]][k];
    const Rot& R = rotations[g[l]];
    for (int a = 0; a < 3; ++a) e[a] = at(R, a, 0) * d[0] + at(R, a, 1) * d[1] + at(R, a, 2) * d[2];
    // [e]x w = e x w: component a = sum_k,c eps(a,c,k) e_c w_k.
    for (int a = 0; a < 3; ++a, ++eq) {
      put(P(l, a), 20.0);
      put(P(lp, a), -20.0);
      for (int k = 0; k < 3; ++k) {
        double c = 0.0;
        for (int cc = 0; cc < 3; ++cc) c += eps(a, cc, k) * e[cc];
        put(W(l, k), 20.0 * c);
      }
      rhs.push_back(20.0 * e[a]);
    }
  }
  // Coefficient of w_k in ([w]x R)(a, b).
  auto wxR = [](const Rot& R, int a, int b, int k) {
    double c = 0.0;
    for (int cc = 0; cc < 3; ++cc) c += eps(a, k, cc) * at(R, cc, b);
    return c;
  };
  // (b) rotation smoothness, weight 100.
  for (int l = 1; l < m; ++l) {
    const Rot& R1 = rotations[g[l]];
    const Rot& R0 = rotations[g[l - 1]];
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b, ++eq) {
        for (int k = 0; k < 3; ++k) put(W(l, k), 100.0 * wxR(R1, a, b, k));
        for (int k = 0; k < 3; ++k) put(W(l - 1, k), -100.0 * wxR(R0, a, b, k));
        rhs.push_back(100.0 * (at(R0, a, b) - at(R1, a, b)));
      }
  }
  // (c) handle, (d) first and (e) last region point, weight 20.
  for (int k = 0; k < 3; ++k, ++eq) {
    put(P(h, k), 20.0);
    rhs.push_back(20.0 * T[k]);
  }
  for (int k = 0; k < 3; ++k, ++eq) {
    put(P(0, k), 20.0);
    rhs.push_back(20.0 * restPoints[g[0]][k]);
  }
  for (int k = 0; k < 3; ++k, ++eq) {
    put(P(m - 1, k), 20.0);
    rhs.push_back(20.0 * restPoints[g[m - 1]][k]);
  }
  // (f) end rotations drawn to the identity, weight 20.
  for (int l : {0, m - 1}) {
    const Rot& R = rotations[g[l]];
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b, ++eq) {
        for (int k = 0; k < 3; ++k) put(W(l, k), 20.0 * wxR(R, a, b, k));
        rhs.push_back(20.0 * ((a == b ? 1.0 : 0.0) - at(R, a, b)));
      }
  }

  TSparseMatrix AtA(nVar, nVar);
  const int nnz = At.multAAt(AtA);
  AtA.allocFields(nnz);
  std::vector<double> Atb(nVar, 0.0), x(nVar, 0.0);
  At.multVec(nEq, rhs.data(), nVar, Atb.data());
  const bool ok = AtA.factorLU() && AtA.solveLU(Atb.data(), x.data());
  AtA.freeFactors();
  if (!ok) {
    std::fputs("fiber deformation: the least-squares system could not be solved\n", stderr);
    return false;
  }

  for (int l = 0; l < m; ++l) {
    for (int k = 0; k < 3; ++k) points[g[l]][k] = x[P(l, k)];
    const double w[3] = {x[W(l, 0)], x[W(l, 1)], x[W(l, 2)]};
    const Rot& R = rotations[g[l]];
    // (I + [w]x) R, column-major.  The polar factor commutes with transposition, so the
    // row-major routine works on the column-major array as it is.
    Rot M;
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) {
        double v = at(R, a, b);
        for (int cc = 0; cc < 3; ++cc) {
          double wx = 0.0;  // [w]x(a, cc)
          for (int k = 0; k < 3; ++k) wx += eps(a, k, cc) * w[k];
          v += wx * at(R, cc, b);
        }
        M[a + 3 * b] = v;
      }
    Rot Rn;
    t_fitRotation(M.data(), Rn.data());
    rotations[g[l]] = Rn;
  }
  updateTube();
  return true;
}

void Tstroke3D_fiber::finishDeformation() {
  restPoints = points;
  updateTube();
  std::fputs("finish fiber deformation!!!!\n", stderr);
}
