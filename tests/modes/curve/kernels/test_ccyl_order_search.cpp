// Best-order search of the control-point curve: against a brute-force search over all
// permutations of the same k-nearest-neighbour graph, the energy against its formula,
// coincident points, and the bounded search on larger curve-like sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "modes/curve/kernels/TCCylCurve.h"
#include "modes/curve/kernels/ccyl_order_search.h"

namespace {

const double kPi = 3.14159265358979323846;

std::vector<int> identity(int n) {
  std::vector<int> o(static_cast<size_t>(n));
  std::iota(o.begin(), o.end(), 0);
  return o;
}

// The symmetric k-nearest-neighbour relation as an adjacency matrix; equal distances are
// taken in ascending index order.
std::vector<std::vector<char>> referenceGraph(const TPoints& p, int k) {
  const int n = int(p.size());
  std::vector<std::vector<char>> adj(size_t(n), std::vector<char>(size_t(n), 0));
  for (int i = 0; i < n; ++i) {
    std::vector<int> others;
    for (int j = 0; j < n; ++j)
      if (j != i) others.push_back(j);
    auto d2 = [&](int j) {
      const double dx = p[size_t(i)][0] - p[size_t(j)][0], dy = p[size_t(i)][1] - p[size_t(j)][1],
                   dz = p[size_t(i)][2] - p[size_t(j)][2];
      return dx * dx + dy * dy + dz * dz;
    };
    std::stable_sort(others.begin(), others.end(), [&](int a, int b) { return d2(a) < d2(b); });
    for (int q = 0; q < k && q < int(others.size()); ++q)
      adj[size_t(i)][size_t(others[size_t(q)])] = adj[size_t(others[size_t(q)])][size_t(i)] = 1;
  }
  return adj;
}

// The candidate list the curve should hold: the order as placed, then the three best
// paths met in lexicographic order with strict comparisons (the first met stays ahead on
// ties), over the smallest graph from k = 3 that has any path, padded to four entries.
std::vector<std::vector<int>> referenceCandidates(const TPoints& p) {
  const int n = int(p.size());
  const std::vector<int> placed = identity(n);
  std::vector<std::vector<int>> list{placed};
  for (int k = std::min(n - 1, 3); k <= n - 1; ++k) {
    const auto adj = referenceGraph(p, k);
    double E[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    std::vector<int> O[3];
    std::vector<int> perm = placed;
    do {
      if (perm.front() > perm.back()) continue;
      bool ok = true;
      for (int q = 1; q < n && ok; ++q) ok = adj[size_t(perm[size_t(q - 1)])][size_t(perm[size_t(q)])] != 0;
      if (!ok) continue;
      const double e = t_pointOrderEnergy(p, perm);
      if (e < E[0]) {
        E[2] = E[1]; O[2] = O[1];
        E[1] = E[0]; O[1] = O[0];
        E[0] = e; O[0] = perm;
      } else if (e < E[1]) {
        E[2] = E[1]; O[2] = O[1];
        E[1] = e; O[1] = perm;
      } else if (e < E[2]) {
        E[2] = e; O[2] = perm;
      }
    } while (std::next_permutation(perm.begin(), perm.end()));
    for (int r = 0; r < 3; ++r)
      if (E[r] != HUGE_VAL) list.push_back(O[r]);
    if (list.size() > 1) break;
  }
  while (list.size() > 1 && list.size() < 4) list.push_back(list[1]);
  return list;
}

enum class Layout { Cube, Lattice, TwoClusters, Curve };

TPoints randomPoints(std::mt19937& rng, int n, Layout layout) {
  TPoints p;
  std::uniform_real_distribution<double> u(0.0, 10.0);
  std::uniform_int_distribution<int> cell(0, 2);
  for (int i = 0; i < n; ++i) {
    switch (layout) {
      case Layout::Cube:
        p.emplace_back(u(rng), u(rng), u(rng));
        break;
      case Layout::Lattice:  // small integer grid: coincident points and equal energies
        p.emplace_back(cell(rng), cell(rng), 0.5 * cell(rng));
        break;
      case Layout::TwoClusters: {
        const double off = (i % 2) ? 100.0 : 0.0;
        p.emplace_back(off + 0.1 * u(rng), 0.1 * u(rng), 0.1 * u(rng));
        break;
      }
      case Layout::Curve: {
        const double t = u(rng);
        p.emplace_back(3 * std::cos(t), 3 * std::sin(t), t);
        break;
      }
    }
  }
  return p;
}

TEST(CCylOrderSearch, EqualsBruteForceOverTheSameGraphUpToEightPoints) {
  std::mt19937 rng(20261208);
  int cases = 0;
  for (Layout layout : {Layout::Cube, Layout::Lattice, Layout::TwoClusters, Layout::Curve})
    for (int n = 3; n <= 8; ++n) {
      const int seeds = n <= 6 ? 60 : (n == 7 ? 25 : 8);
      for (int s = 0; s < seeds; ++s) {
        TCCylCurve curve;
        curve.ctrlPoints = randomPoints(rng, n, layout);
        ASSERT_TRUE(curve.updateCurve(true));
        const auto want = referenceCandidates(curve.ctrlPoints);
        ASSERT_EQ(curve.candidates, want) << "layout " << int(layout) << " n " << n << " seed " << s;
        for (size_t c = 1; c < curve.candidates.size(); ++c)
          EXPECT_TRUE(std::isfinite(t_pointOrderEnergy(curve.ctrlPoints, curve.candidates[c])));
        ++cases;
      }
    }
  EXPECT_GT(cases, 500);
}

TEST(CCylOrderSearch, EnergyFollowsStepsAndBends) {
  // Distinct points: squared steps plus (θ - π)² at each interior point, written out here.
  std::mt19937 rng(7);
  for (int s = 0; s < 50; ++s) {
    const TPoints p = randomPoints(rng, 6, Layout::Cube);
    std::vector<int> o{3, 1, 5, 0, 2, 4};
    double E = 0.0;
    for (size_t q = 1; q < o.size(); ++q) {
      const TVec3 &a = p[size_t(o[q - 1])], &b = p[size_t(o[q])];
      E += (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
    }
    for (size_t q = 1; q + 1 < o.size(); ++q) {
      const TVec3 &a = p[size_t(o[q - 1])], &b = p[size_t(o[q])], &c = p[size_t(o[q + 1])];
      double u[3], w[3];
      for (int k = 0; k < 3; ++k) {
        u[k] = a[k] - b[k];
        w[k] = c[k] - b[k];
      }
      const double cosv = t_dot3(u, w) / std::sqrt(t_dot3(u, u) * t_dot3(w, w));
      const double th = cosv < -0.99999 ? kPi : (cosv > 0.99999 ? 0.0 : std::acos(cosv));
      E += (th - kPi) * (th - kPi);
    }
    EXPECT_NEAR(t_pointOrderEnergy(p, o), E, 1e-9 * E);
  }
  // A full reversal costs π² on top of the steps.
  const TPoints line{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  EXPECT_NEAR(t_pointOrderEnergy(line, {0, 2, 1}), 4.0 + 1.0 + kPi * kPi, 1e-12);
  EXPECT_DOUBLE_EQ(t_pointOrderEnergy(line, {0, 1, 2}), 2.0);
}

TEST(CCylOrderSearch, CoincidentPointsActAsOnePoint) {
  // A doubled point bends once, between its distinct neighbours: the same energy as the
  // path without the copy, and never NaN.
  const TPoints p{{0, 0, 0}, {2, 0, 0}, {2, 0, 0}, {2, 3, 0}, {2, 3, 0}, {2, 3, 0}};
  const TPoints q{{0, 0, 0}, {2, 0, 0}, {2, 3, 0}};
  EXPECT_DOUBLE_EQ(t_pointOrderEnergy(p, {0, 1, 2, 3, 4, 5}), t_pointOrderEnergy(q, {0, 1, 2}));
  // Hiding a reversal behind a copy gains nothing.
  const TPoints r{{0, 0, 0}, {4, 0, 0}, {4, 0, 0}, {2, 0, 0}};
  EXPECT_NEAR(t_pointOrderEnergy(r, {0, 1, 2, 3}), 16.0 + 4.0 + kPi * kPi, 1e-12);

  // All points at one place: candidates without NaN, and the tube stays at the point.
  TCCylCurve curve;
  curve.tube.radius = 0.5;
  for (int i = 0; i < 5; ++i) curve.ctrlPoints.emplace_back(3.0, -2.0, 7.5);
  ASSERT_TRUE(curve.updateCurve(true));
  ASSERT_EQ(curve.candidates.size(), 4u);
  for (size_t c = 1; c < 4; ++c) EXPECT_EQ(t_pointOrderEnergy(curve.ctrlPoints, curve.candidates[c]), 0.0);
  ASSERT_EQ(curve.tube.points.size(), 11u);
  for (const TVec3& v : curve.tube.points) EXPECT_EQ(v, TVec3(3.0, -2.0, 7.5));
  for (const TPoints& ring : curve.tube.ringVerts)
    for (const TVec3& v : ring)
      for (int k = 0; k < 3; ++k) EXPECT_TRUE(std::isfinite(v[k]));
}

TEST(CCylOrderSearch, SmallSetsAndCandidateSwitching) {
  TCCylCurve curve;
  curve.tube.radius = 0.25;
  // Collinear ends placed first: the best order runs through the middle.
  curve.ctrlPoints = {{0, 0, 0}, {4, 0, 0}, {2, 0, 0}};
  ASSERT_TRUE(curve.updateCurve(true));
  EXPECT_EQ(curve.candidates[0], (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(curve.candidates[1], (std::vector<int>{0, 2, 1}));
  EXPECT_DOUBLE_EQ(t_pointOrderEnergy(curve.ctrlPoints, curve.candidates[1]), 8.0);
  EXPECT_NEAR(t_polylineLength(curve.tube.points), 4.0, 1e-12);

  // "placed order" runs the tube 0 → 4 → 2.
  curve.selected = 0;
  ASSERT_TRUE(curve.updateCurve(false));
  EXPECT_NEAR(t_polylineLength(curve.tube.points), 6.0, 1e-12);
  EXPECT_EQ(curve.tube.points.size(), 7u);

  // Two points: every candidate joins them.
  curve.ctrlPoints = {{1, 1, 1}, {1, 1, 3}};
  curve.selected = 2;
  ASSERT_TRUE(curve.updateCurve(true));
  EXPECT_EQ(curve.candidates, std::vector<std::vector<int>>(4, std::vector<int>{0, 1}));

  // A point added without a new search: the stale selection is refused, the tube kept.
  const TPoints before = curve.tube.points;
  curve.ctrlPoints.emplace_back(5, 5, 5);
  curve.candidates.push_back({0, 1});
  curve.candidates[0] = {0, 1, 2};
  EXPECT_FALSE(curve.updateCurve(false));
  EXPECT_EQ(curve.tube.points, before);
}

// Points along a helix, shuffled: the best order is the one along the helix.
TEST(CCylOrderSearch, LargerCurveLikeSetsFollowTheCurve) {
  std::mt19937 rng(99);
  for (int n : {12, 16, 20, 24}) {
    for (int s = 0; s < 3; ++s) {
      std::vector<double> t(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) t[size_t(i)] = 0.6 * i + std::uniform_real_distribution<double>(0, 0.2)(rng);
      std::vector<int> perm(static_cast<size_t>(n));
      std::iota(perm.begin(), perm.end(), 0);
      std::shuffle(perm.begin(), perm.end(), rng);
      TCCylCurve curve;
      curve.ctrlPoints.resize(size_t(n));
      for (int i = 0; i < n; ++i) {
        const double ti = t[size_t(i)];
        curve.ctrlPoints[size_t(perm[size_t(i)])] = TVec3(3 * std::cos(ti), 3 * std::sin(ti), 0.8 * ti);
      }
      ASSERT_TRUE(curve.updateCurve(true));
      std::vector<int> along(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) along[size_t(i)] = perm[size_t(i)];
      if (along.front() > along.back()) std::reverse(along.begin(), along.end());
      EXPECT_EQ(curve.candidates[1], along) << "n " << n;
    }
  }
}

TEST(CCylOrderSearch, BudgetStopsTheSearchWithValidRankedOrders) {
  std::mt19937 rng(5);
  for (int s = 0; s < 5; ++s) {
    const TPoints p = randomPoints(rng, 13, Layout::Cube);
    TPointDistanceGraph g;
    t_buildPointDistanceGraph(g, p, 4);
    TOrderSearchLimits lim;
    lim.nodeBudget = 2000;
    TOrderSearchStats st;
    const auto best = t_searchBestPointOrders(p, g, lim, &st);
    EXPECT_FALSE(st.exhaustive);
    EXPECT_LE(st.nodes, lim.nodeBudget);
    ASSERT_FALSE(best.empty());
    const auto adj = referenceGraph(p, 4);
    for (const auto& o : best) {
      EXPECT_TRUE(std::is_permutation(o.begin(), o.end(), identity(13).begin()));
      for (size_t q = 1; q < o.size(); ++q) EXPECT_TRUE(adj[size_t(o[q - 1])][size_t(o[q])]);
    }
    // The unbounded search can only do as well or better.
    TOrderSearchLimits unbounded;
    unbounded.exhaustiveUpTo = 64;
    const auto exact = t_searchBestPointOrders(p, g, unbounded, &st);
    EXPECT_TRUE(st.exhaustive);
    ASSERT_FALSE(exact.empty());
    EXPECT_LE(t_pointOrderEnergy(p, exact[0]), t_pointOrderEnergy(p, best[0]));
  }
  // A curve whose first graphs split into clusters still gets its candidates when the
  // budget is too small to settle them.
  TCCylCurve curve;
  curve.ctrlPoints = randomPoints(rng, 14, Layout::TwoClusters);
  curve.searchLimits.nodeBudget = 50;
  ASSERT_TRUE(curve.updateCurve(true));
  ASSERT_EQ(curve.candidates.size(), 4u);
  for (const auto& c : curve.candidates) EXPECT_TRUE(std::is_permutation(c.begin(), c.end(), identity(14).begin()));
}

}  // namespace
