#pragma once
// Meshes, camera and strokes shared by the fiber tests.
#include <cmath>
#include <vector>

#include "modes/curve/kernels/TFiberView.h"
#include "geom/TTriangleMesh.h"

namespace fibertest {

// A UV sphere; the rings are twisted a little so that no edge lies along a screen axis.
inline void appendSphere(const double c[3], double r, int stacks, int slices, TPoints& V, std::vector<TPolyIdx>& T) {
  const int base = static_cast<int>(V.size());
  V.emplace_back(c[0], c[1] + r, c[2]);
  for (int k = 1; k < stacks; ++k) {
    const double th = M_PI * k / stacks;
    for (int j = 0; j < slices; ++j) {
      const double ph = 2 * M_PI * (j + 0.37 * k) / slices;
      V.emplace_back(c[0] + r * std::sin(th) * std::cos(ph), c[1] + r * std::cos(th), c[2] + r * std::sin(th) * std::sin(ph));
    }
  }
  V.emplace_back(c[0], c[1] - r, c[2]);
  const int south = static_cast<int>(V.size()) - 1;
  auto ring = [&](int k, int j) { return base + 1 + (k - 1) * slices + (j % slices); };
  for (int j = 0; j < slices; ++j) T.push_back({base, ring(1, j + 1), ring(1, j)});
  for (int k = 1; k + 1 < stacks; ++k)
    for (int j = 0; j < slices; ++j) {
      T.push_back({ring(k, j), ring(k, j + 1), ring(k + 1, j)});
      T.push_back({ring(k, j + 1), ring(k + 1, j + 1), ring(k + 1, j)});
    }
  for (int j = 0; j < slices; ++j) T.push_back({south, ring(stacks - 1, j), ring(stacks - 1, j + 1)});
}

inline TFiberView camera() {
  const double eye[3] = {0.05, 0.13, 6.0}, centre[3] = {0, 0, 0}, up[3] = {0, 1, 0};
  return TFiberView::lookAt(eye, centre, up, 40.0, 0.5, 50.0, 400, 400);
}

// A straight window stroke from (x0, y0) to (x1, y1) in n segments.
inline TPoints line(double x0, double y0, double x1, double y1, int n) {
  TPoints s;
  for (int i = 0; i <= n; ++i) s.emplace_back(x0 + (x1 - x0) * i / n, y0 + (y1 - y0) * i / n, 0.0);
  return s;
}

}  // namespace fibertest
