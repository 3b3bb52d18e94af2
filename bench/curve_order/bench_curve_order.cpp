// Times TCCylCurve::updateCurve (the whole search: graph widening from k = 3, branch and
// bound, local improvement when the budget runs out) for 4 … 24 control points, on points
// along a curve placed in random order (how the mode is used) and on points scattered in a
// cube (no curve to follow: the hardest case for the bound).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

#include "modes/curve/kernels/TCCylCurve.h"
#include "modes/curve/kernels/ccyl_fill.h"

namespace {

TPoints alongCurve(std::mt19937& rng, int n) {
  std::uniform_real_distribution<double> jitter(0.0, 0.3), u(0.0, 1.0);
  std::vector<int> perm(static_cast<size_t>(n));
  std::iota(perm.begin(), perm.end(), 0);
  std::shuffle(perm.begin(), perm.end(), rng);
  TPoints p(static_cast<size_t>(n));
  const double r = 2.0 + 2.0 * u(rng), pitch = 0.5 + u(rng);
  for (int i = 0; i < n; ++i) {
    const double t = 0.7 * i + jitter(rng);
    p[size_t(perm[size_t(i)])] = TVec3(r * std::cos(t), r * std::sin(t), pitch * t);
  }
  return p;
}

TPoints inCube(std::mt19937& rng, int n) {
  std::uniform_real_distribution<double> u(0.0, 10.0);
  TPoints p;
  for (int i = 0; i < n; ++i) p.emplace_back(u(rng), u(rng), u(rng));
  return p;
}

struct Figures {
  double median = 0, worst = 0;
};

Figures timeRuns(TPoints (*make)(std::mt19937&, int), int n, int runs, unsigned seed) {
  std::mt19937 rng(seed + unsigned(n));
  std::vector<double> ms;
  Figures f;
  const int saved = dup(1);
  for (int r = 0; r < runs; ++r) {
    TCCylCurve curve;
    curve.ctrlPoints = make(rng, n);
    // The search reports each run on the console; keep the table readable.
    fflush(stdout);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    close(devnull);
    const auto t0 = std::chrono::steady_clock::now();
    curve.updateCurve(true);
    const double t = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    fflush(stdout);
    dup2(saved, 1);
    ms.push_back(t);
  }
  close(saved);
  std::sort(ms.begin(), ms.end());
  f.median = ms[ms.size() / 2];
  f.worst = ms.back();
  return f;
}

// Nodes and exhaustiveness of one search at the k the curve settles on.
void searchFigures(TPoints (*make)(std::mt19937&, int), int n, int runs, unsigned seed, double& meanNodes,
                   int& exhaustive) {
  std::mt19937 rng(seed + unsigned(n));
  meanNodes = 0;
  exhaustive = 0;
  for (int r = 0; r < runs; ++r) {
    const TPoints p = make(rng, n);
    for (int k = std::min(n - 1, 3); k <= n - 1; ++k) {
      TPointDistanceGraph g;
      t_buildPointDistanceGraph(g, p, k);
      TOrderSearchStats st;
      const auto best = t_searchBestPointOrders(p, g, TOrderSearchLimits(), &st);
      meanNodes += double(st.nodes);
      if (!best.empty() || k == n - 1) {
        exhaustive += st.exhaustive ? 1 : 0;
        break;
      }
    }
  }
  meanNodes /= runs;
}

}  // namespace

int main() {
  const int runs = 15;
  printf("best-order search, %d point sets per row, wall-clock ms per updateCurve(true); node budget %lld\n", runs,
         TOrderSearchLimits().nodeBudget);
  printf("%4s | %-44s | %-44s\n", "n", "points along a curve, shuffled", "points scattered in a cube");
  printf("%4s | %10s %10s %10s %10s | %10s %10s %10s %10s\n", "", "median", "worst", "nodes", "exact", "median",
         "worst", "nodes", "exact");
  for (int n = 4; n <= 24; ++n) {
    const Figures a = timeRuns(alongCurve, n, runs, 1000);
    const Figures b = timeRuns(inCube, n, runs, 2000);
    double na, nb;
    int ea, eb;
    searchFigures(alongCurve, n, runs, 1000, na, ea);
    searchFigures(inCube, n, runs, 2000, nb, eb);
    printf("%4d | %10.3f %10.3f %10.0f %7d/%-2d | %10.3f %10.3f %10.0f %7d/%-2d\n", n, a.median, a.worst, na, ea,
           runs, b.median, b.worst, nb, eb, runs);
    fflush(stdout);
  }
  printf("target: under 100 ms at 20 points\n\n");

  // What the budget costs in quality: scattered points, the graph the curve settles on,
  // against the same search with 40 times the budget.
  printf("scattered points: best energy within the budget / with 40 x the budget (5 sets each)\n");
  for (int n : {16, 20, 24}) {
    std::mt19937 rng(3000 + unsigned(n));
    double worstRatio = 1.0, sumRatio = 0.0;
    int same = 0;
    const int sets = 5;
    for (int r = 0; r < sets; ++r) {
      const TPoints p = inCube(rng, n);
      for (int k = std::min(n - 1, 3); k <= n - 1; ++k) {
        TPointDistanceGraph g;
        t_buildPointDistanceGraph(g, p, k);
        const auto best = t_searchBestPointOrders(p, g);
        if (best.empty()) continue;
        TOrderSearchLimits wide;
        wide.nodeBudget *= 40;
        const auto better = t_searchBestPointOrders(p, g, wide);
        const double ratio = t_pointOrderEnergy(p, best[0]) / t_pointOrderEnergy(p, better[0]);
        worstRatio = std::max(worstRatio, ratio);
        sumRatio += ratio;
        same += best[0] == better[0] ? 1 : 0;
        break;
      }
    }
    printf("  n = %2d: same best order %d/%d, mean ratio %.4f, worst ratio %.4f\n", n, same, sets, sumRatio / sets,
           worstRatio);
  }

  // "Finish" on a 512 x 512 x 256 volume: a helix of 20 control points through it.
  {
    const int W = 512, H = 512, D = 256;
    const double pitch[3] = {0.5, 0.5, 0.8};
    std::vector<uint8_t> flags(size_t(W) * H * D, 1), mask(flags.size(), 0);
    TCCylCurve curve;
    for (int i = 0; i < 20; ++i) {
      const double t = 0.35 * i;
      curve.ctrlPoints.emplace_back(128 + 80 * std::cos(t), 128 + 80 * std::sin(t), 20 + 8.0 * i);
    }
    fflush(stdout);
    const int saved = dup(1), devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    close(devnull);
    curve.updateCurve(true);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    for (double r : {2.0, 6.0}) {
      curve.tube.radius = r;
      const std::vector<TCCylCurve> stored{curve};
      const auto tubes = t_collectCurveTubes(stored, nullptr);
      const auto t0 = std::chrono::steady_clock::now();
      const TCCylFillResult res = t_fillCurvedCylinders(flags.data(), mask.data(), W, H, D, pitch, tubes, 1);
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      printf("fill %dx%dx%d, 20-point helix, radius %.0f: %lld voxels in %.1f ms\n", W, H, D, r, res.filled, ms);
    }
  }
  return 0;
}
