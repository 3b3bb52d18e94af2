#include "modes/region/kernels/lasso_fill.h"

#include <algorithm>
#include <cmath>

void t_fillLassoPolygon(int w, int h, const double cellSize[2], const TPoints& polygon,
                        std::vector<std::uint8_t>& grid) {
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  grid.assign(static_cast<std::size_t>(w) * h, 0);
  const double cx = cellSize[0], cy = cellSize[1];
  const std::size_t n = polygon.size();
  if (n < 3 || !(cx > 0) || !(cy > 0) || !std::isfinite(cx) || !std::isfinite(cy)) return;
  for (const TVec3& p : polygon)
    if (!std::isfinite(p[0]) || !std::isfinite(p[1])) return;

  std::vector<double> xs;
  for (int r = 0; r < h; ++r) {
    const double y = (r + 0.5) * cy;
    xs.clear();
    // Each edge counts once where it crosses the scan line, its lower end included and its upper
    // end left out: a vertex at the line's height is crossed by exactly the edges that pass
    // through it, and edges along the line are not crossed at all.
    for (std::size_t e = 0; e < n; ++e) {
      const TVec3& a = polygon[e];
      const TVec3& b = polygon[e + 1 == n ? 0 : e + 1];
      if ((a[1] <= y) == (b[1] <= y)) continue;
      xs.push_back(a[0] + (y - a[1]) * (b[0] - a[0]) / (b[1] - a[1]));
    }
    std::sort(xs.begin(), xs.end());
    std::uint8_t* row = grid.data() + static_cast<std::size_t>(r) * w;
    // A centre is inside when an odd number of crossings lie left of it: (x0, x1], (x2, x3], ...
    for (std::size_t m = 0; m + 1 < xs.size(); m += 2) {
      const double first = std::floor(xs[m] / cx - 0.5) + 1.0;  // first centre beyond xs[m]
      const double last = std::floor(xs[m + 1] / cx - 0.5);     // last centre at or before xs[m+1]
      const double c0 = std::max(first, 0.0), c1 = std::min(last, w - 1.0);
      if (c0 > c1) continue;
      std::fill(row + static_cast<int>(c0), row + static_cast<int>(c1) + 1, std::uint8_t(255));
    }
  }
}

std::int64_t t_applyLassoStroke(const TVoxelBox& box, const TPoints& stroke, int plane,
                                double position, bool paint, const TPaintRules& rules,
                                std::uint8_t* flags, const std::uint8_t* mask) {
  if (stroke.size() < 3 || plane < 0 || plane > 2 || !box.valid() || !std::isfinite(position))
    return 0;
  // Plane 0 (XY): axes x, y across z.  Plane 1 (YZ): y, z across x.  Plane 2 (ZX): x, z across y.
  static const int kAxes[3][3] = {{0, 1, 2}, {1, 2, 0}, {0, 2, 1}};
  const int au = kAxes[plane][0], av = kAxes[plane][1], an = kAxes[plane][2];
  const int w = box.size(au), h = box.size(av), nd = box.size(an);
  const double slice = std::min(std::max(nd * position, 0.0), nd - 1.0);
  const int s = static_cast<int>(slice);

  TPoints poly;
  poly.reserve(stroke.size());
  for (const TVec3& p : stroke) poly.emplace_back(p[au], p[av], 0.0);
  const double cell[2] = {box.pitch(au), box.pitch(av)};
  std::vector<std::uint8_t> grid;
  t_fillLassoPolygon(w, h, cell, poly, grid);

  std::int64_t changed = 0;
  int ijk[3];
  ijk[an] = s;
  for (int r = 0; r < h; ++r) {
    for (int c = 0; c < w; ++c) {
      if (grid[static_cast<std::size_t>(r) * w + c] != 255) continue;
      ijk[au] = c;
      ijk[av] = r;
      if (t_lassoVoxel(flags, mask, box.index(ijk[0], ijk[1], ijk[2]), paint, rules)) ++changed;
    }
  }
  return changed;
}
