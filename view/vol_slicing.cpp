#include "view/vol_slicing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

const int kCubeNeighbours[8][3] = {{3, 4, 1}, {0, 5, 2}, {1, 6, 3}, {2, 7, 0},
                                   {5, 0, 7}, {6, 1, 4}, {7, 2, 5}, {4, 3, 6}};

bool t_volumeExtent(const double pitch[3], int W, int H, int D, double extent[3]) {
  const int n[3] = {W, H, D};
  double e[3];
  for (int i = 0; i < 3; ++i) {
    if (n[i] <= 0 || !(pitch[i] > 0) || !std::isfinite(pitch[i])) return false;
    e[i] = n[i] * pitch[i];
  }
  const double m = std::max({e[0], e[1], e[2]});
  if (!(m > 0) || !std::isfinite(m)) return false;
  for (int i = 0; i < 3; ++i) {
    double v = e[i] * (10.0 / m);
    extent[i] = std::min(10.0, std::max(0.0, v));
  }
  return true;
}

void t_boxCorners(const double extent[3], double c[8][3]) {
  const double ex = extent[0], ey = extent[1], ez = extent[2];
  const double pts[8][3] = {{0, 0, 0},   {ex, 0, 0},   {ex, ey, 0},   {0, ey, 0},
                            {0, 0, ez},  {ex, 0, ez},  {ex, ey, ez},  {0, ey, ez}};
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 3; ++k) c[i][k] = pts[i][k];
}

int t_sliceCount(int sliderPos, bool buttonHeld) {
  const double f = buttonHeld ? 0.3 : 1.0;
  return int(int(sliderPos * 0.01 * 1900 + 100) * f);
}

bool t_viewAlignedSlices(const double corners[8][3], const double viewDir[3], int N,
                         const std::function<void(const TSlicePolygon&)>& emit) {
  if (N < 1) return true;
  double d[3] = {viewDir[0], viewDir[1], viewDir[2]};
  const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (len > 0) {
    for (double& v : d) v /= len;
  }

  double depth[8];
  for (int i = 0; i < 8; ++i)
    depth[i] = d[0] * corners[i][0] + d[1] * corners[i][1] + d[2] * corners[i][2];

  int order[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  std::stable_sort(order, order + 8, [&](int a, int b) { return depth[a] < depth[b]; });

  // Edge lists between consecutive sorted corners; each edge (a, b) runs from a passed corner to
  // one not yet passed, and the list stays in polygon order around the cross-section.
  using Edge = std::pair<int, int>;
  std::vector<Edge> lists[7];
  bool passed[8] = {false, false, false, false, false, false, false, false};
  for (int k = 0; k < 7; ++k) {
    const int v = order[k];
    passed[v] = true;
    if (k == 0) {
      for (int j = 0; j < 3; ++j) lists[0].push_back({v, kCubeNeighbours[v][j]});
      continue;
    }
    bool replaced = false;
    for (const Edge& e : lists[k - 1]) {
      if (e.first != v && e.second != v) {
        lists[k].push_back(e);
        continue;
      }
      if (replaced) continue;
      replaced = true;
      const int other = (e.first == v) ? e.second : e.first;
      int j = 0;
      while (j < 3 && kCubeNeighbours[v][j] != other) ++j;
      for (int m = 1; m <= 2; ++m) {
        const int nb = kCubeNeighbours[v][(j + m) % 3];
        if (!passed[nb]) lists[k].push_back({v, nb});
      }
    }
  }

  const double step = 23.0 / N;
  const double tEnd = depth[order[7]];
  TSlicePolygon poly;
  for (double t = depth[order[0]]; t < tEnd; t += step) {
    int c = 0;
    while (c < 8 && depth[order[c]] <= t) ++c;
    const int k = c - 1;
    if (k < 0 || k > 6) {
      fprintf(stderr, "strange error 1238902\n");
      return false;
    }
    poly.n = 0;
    for (const Edge& e : lists[k]) {
      if (poly.n >= 6) break;
      const double da = depth[e.first], db = depth[e.second];
      const double u = (db != da) ? (t - da) / (db - da) : 0.0;
      for (int i = 0; i < 3; ++i)
        poly.p[poly.n][i] = (1 - u) * corners[e.first][i] + u * corners[e.second][i];
      ++poly.n;
    }
    if (poly.n >= 3) emit(poly);
  }
  return true;
}
