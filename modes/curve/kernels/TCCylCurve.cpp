#include "modes/curve/kernels/TCCylCurve.h"

#include <algorithm>
#include <cfloat>
#include <cstdio>

void TCCylCurve::clear() {
  ctrlPoints.clear();
  tube.clear();
  candidates.clear();
}

bool TCCylCurve::updateCurve(bool force) {
  const int n = int(ctrlPoints.size());
  if (n <= 1) {
    // A lone point has no curve; keeping the old tube would show one that is gone.
    tube.clear();
    candidates.clear();
    return true;
  }
  if (force || candidates.empty() || int(candidates[0].size()) != n) {
    TOrderSearchLimits limits = searchLimits;
    long long left = searchLimits.nodeBudget;
    for (int k = std::min(n - 1, 3); k <= n - 1; ++k) {
      // Whatever is left, but enough for the complete graph to yield a path.
      limits.nodeBudget = std::max(left, 32LL * n * n);
      TOrderSearchStats stats;
      searchBestOrders(k, candidates, limits, &stats);
      if (candidates.size() > 1) break;
      left -= stats.nodes;
      if (!stats.exhaustive && k < n - 2) k = n - 2;  // next: the complete graph
    }
  }
  if (candidates.size() == 2) {
    candidates.push_back(candidates[1]);
    candidates.push_back(candidates[1]);
  } else if (candidates.size() == 3) {
    candidates.push_back(candidates[1]);
  }
  if (candidates.size() < 2 || selected < 0 || selected >= int(candidates.size()) ||
      int(candidates[size_t(selected)].size()) != n) {
    printf("strange error42faf40234\n");
    return false;
  }

  TPoints line;
  line.reserve(size_t(n));
  for (int i : candidates[size_t(selected)]) line.push_back(ctrlPoints[size_t(i)]);
  tube.points.clear();
  tube.sides = 6;
  if (t_polylineLength(line) > 0.0) {
    t_resamplePolyline(2 * n, line, tube.points);
  } else {
    // All points coincide: the centre line stays at them rather than at the origin.
    tube.points.assign(size_t(2 * n + 1), line[0]);
  }
  tube.updateTube();
  return true;
}

void TCCylCurve::searchBestOrders(int k, std::vector<std::vector<int>>& out) const {
  searchBestOrders(k, out, searchLimits, nullptr);
}

void TCCylCurve::searchBestOrders(int k, std::vector<std::vector<int>>& out, const TOrderSearchLimits& limits,
                                  TOrderSearchStats* statsOut) const {
  if (statsOut) *statsOut = TOrderSearchStats();
  out.clear();
  const int n = int(ctrlPoints.size());
  if (n == 0) return;
  if (n <= 2) {
    std::vector<int> o(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) o[size_t(i)] = i;
    out.push_back(o);
    out.push_back(o);
    return;
  }
  TPointDistanceGraph graph;
  t_buildPointDistanceGraph(graph, ctrlPoints, std::min(k, n - 1));
  TOrderSearchStats stats;
  std::vector<std::vector<int>> best = t_searchBestPointOrders(ctrlPoints, graph, limits, &stats);
  if (statsOut) *statsOut = stats;

  std::vector<int> placed(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) placed[size_t(i)] = i;
  out.push_back(placed);
  for (auto& o : best) out.push_back(std::move(o));

  printf("considered size = %d,    time %f %f\n", int(std::min<long long>(stats.considered, 0x7fffffff)),
         stats.searchSeconds, stats.improveSeconds);
  if (!stats.exhaustive) printf("order search stopped at its budget of %lld paths; best found kept\n", stats.nodes);
  printf("--argminE 1:user 2-4:Best1-3-- listmax=%d\n", int(out.size()));
  for (size_t c = 0; c < out.size(); ++c) {
    printf("No%d:", int(c));
    for (int i : out[c]) printf("%d,", i);
    printf("\n");
  }
}

bool TCCylCurve::pickCtrlPoint(const double origin[3], const double direction[3], int& index) const {
  index = -1;
  double bestD2 = DBL_MAX;
  for (size_t i = 0; i < ctrlPoints.size(); ++i) {
    if (!(t_distPointLine(ctrlPoints[i], origin, direction) < tube.radius)) continue;
    const double d2 = t_distSq3(ctrlPoints[i], origin);
    if (d2 < bestD2) {
      bestD2 = d2;
      index = int(i);
    }
  }
  return index >= 0;
}

void TCCylCurve::copyCurveTo(Tstroke3D_tube& out) const { out = tube; }

void TCCylCurve::getBoundingBox(const TPoints& points, double min[3], double max[3]) {
  for (int k = 0; k < 3; ++k) {
    min[k] = 100000.0;
    max[k] = -100000.0;
  }
  for (const TVec3& p : points)
    for (int k = 0; k < 3; ++k) {
      min[k] = std::min(min[k], p[k]);
      max[k] = std::max(max[k], p[k]);
    }
}
