// Filling curved cylinders: against a brute-force point-to-polyline distance over every
// voxel, the radius boundary, refused IDs, degenerate curves and picking a stored curve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "modes/curve/kernels/ccyl_fill.h"

namespace {

// Squared distance from p to the segment a-b by Pythagoras on the projection, with the
// end points where the foot falls outside.
double segDistSq(const double p[3], const TVec3& a, const TVec3& b) {
  const double ax = p[0] - a[0], ay = p[1] - a[1], az = p[2] - a[2];
  const double ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
  const double pa2 = ax * ax + ay * ay + az * az;
  const double L2 = ux * ux + uy * uy + uz * uz;
  if (L2 == 0.0) return pa2;
  const double proj = ax * ux + ay * uy + az * uz;
  if (proj <= 0.0) return pa2;
  if (proj >= L2) {
    const double bx = p[0] - b[0], by = p[1] - b[1], bz = p[2] - b[2];
    return bx * bx + by * by + bz * bz;
  }
  return std::max(0.0, pa2 - proj * proj / L2);
}

// The centre line the fill measures against: the tube's polyline resampled once more at
// about one segment per mean pitch.
TPoints fineLine(const Tstroke3D_tube& t, const double pitch[3]) {
  const double m = (pitch[0] + pitch[1] + pitch[2]) * 0.3333333;
  const int segs = std::max(2 * int(t.points.size()), int(t_polylineLength(t.points) / m));
  TPoints out;
  t_resamplePolyline(segs, t.points, out);
  return out;
}

TEST(CCylFill, MatchesBruteForceDistanceOverTheVolume) {
  std::mt19937 rng(314159);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const int W = 41, H = 35, D = 29;
  const double pitch[3] = {0.7, 0.9, 1.1};
  const double ext[3] = {W * pitch[0], H * pitch[1], D * pitch[2]};
  for (int trial = 0; trial < 4; ++trial) {
    std::vector<uint8_t> flags(size_t(W) * H * D), mask(flags.size());
    const uint8_t prior[3] = {0, 3, 7};
    for (size_t v = 0; v < flags.size(); ++v) {
      flags[v] = u(rng) < 0.8 ? 1 : (u(rng) < 0.5 ? 0 : 255);
      mask[v] = prior[size_t(rng() % 3)];
    }
    // Two or three curves; the first two cross each other's space.
    std::vector<TCCylCurve> stored(size_t(2 + trial % 2));
    for (TCCylCurve& c : stored) {
      const int n = 2 + int(rng() % 5);
      for (int i = 0; i < n; ++i)
        c.ctrlPoints.emplace_back(ext[0] * (0.1 + 0.8 * u(rng)), ext[1] * (0.1 + 0.8 * u(rng)),
                                  ext[2] * (0.1 + 0.8 * u(rng)));
      c.tube.radius = 1.0 + 3.0 * u(rng);
      c.selected = int(rng() % 4);
      ASSERT_TRUE(c.updateCurve(true));
    }
    const std::vector<Tstroke3D_tube> tubes = t_collectCurveTubes(stored, nullptr);
    ASSERT_EQ(tubes.size(), stored.size());

    std::vector<uint8_t> before = mask;
    const TCCylFillResult res = t_fillCurvedCylinders(flags.data(), mask.data(), W, H, D, pitch, tubes, 9);
    ASSERT_FALSE(res.refused);

    std::vector<TPoints> lines;
    for (const Tstroke3D_tube& t : tubes) lines.push_back(fineLine(t, pitch));
    long long expected = 0, borderline = 0;
    std::vector<bool> taken(256, false);
    for (int k = 0; k < D; ++k)
      for (int j = 0; j < H; ++j)
        for (int i = 0; i < W; ++i) {
          const size_t v = (size_t(k) * H + j) * W + i;
          const double c[3] = {(i + 0.5) * pitch[0], (j + 0.5) * pitch[1], (k + 0.5) * pitch[2]};
          bool inside = false, nearEdge = false;
          for (size_t t = 0; t < tubes.size(); ++t) {
            double d2 = HUGE_VAL;
            for (size_t q = 1; q < lines[t].size(); ++q) d2 = std::min(d2, segDistSq(c, lines[t][q - 1], lines[t][q]));
            const double r2 = tubes[t].radius * tubes[t].radius;
            if (std::fabs(d2 - r2) <= 1e-9 * r2) nearEdge = true;
            if (d2 <= r2) inside = true;
          }
          const bool want = inside && flags[v] == 1;
          if (nearEdge && flags[v] == 1) {
            ++borderline;  // rounding may fall either way
            continue;
          }
          if (want) {
            ++expected;
            taken[before[v]] = true;
            ASSERT_EQ(mask[v], 9) << i << " " << j << " " << k;
          } else {
            ASSERT_EQ(mask[v], before[v]) << i << " " << j << " " << k;
          }
        }
    EXPECT_EQ(borderline, 0);
    EXPECT_GT(expected, 500);
    EXPECT_EQ(res.filled, expected);
    for (int id = 0; id < 256; ++id) EXPECT_EQ(res.taken[size_t(id)], taken[size_t(id)]) << id;
  }
}

TEST(CCylFill, RadiusBoundaryIdsAndDegenerateCurves) {
  const int W = 12, H = 10, D = 10;
  const double pitch[3] = {1.0, 1.0, 1.0};
  std::vector<uint8_t> flags(size_t(W) * H * D, 1), mask(flags.size(), 0);
  auto at = [&](int i, int j, int k) { return mask[(size_t(k) * H + j) * W + i]; };

  TCCylCurve line;
  line.tube.radius = 2.0;
  line.ctrlPoints = {{0.5, 4.5, 4.5}, {10.5, 4.5, 4.5}};
  ASSERT_TRUE(line.updateCurve(true));
  const std::vector<TCCylCurve> stored{line};
  const auto tubes = t_collectCurveTubes(stored, nullptr);

  // Region 0 and IDs above 255 are refused without writing.
  for (int id : {0, -1, 256}) {
    const TCCylFillResult r = t_fillCurvedCylinders(flags.data(), mask.data(), W, H, D, pitch, tubes, id);
    EXPECT_TRUE(r.refused);
    EXPECT_EQ(r.filled, 0);
  }
  EXPECT_EQ(std::count(mask.begin(), mask.end(), 0), long(mask.size()));

  // Centres exactly at the radius are filled, the next ones out are not.
  const TCCylFillResult r = t_fillCurvedCylinders(flags.data(), mask.data(), W, H, D, pitch, tubes, 255);
  EXPECT_EQ(at(5, 6, 4), 255);   // distance 2
  EXPECT_EQ(at(5, 4, 2), 255);   // distance 2
  EXPECT_EQ(at(5, 6, 5), 0);     // distance √5
  EXPECT_EQ(at(11, 4, 4), 255);  // beyond the end, distance 1 from it
  EXPECT_EQ(r.filled, std::count(mask.begin(), mask.end(), 255));
  EXPECT_TRUE(r.taken[0]);

  // All control points at one place: a ball around it, not around the origin.
  std::fill(mask.begin(), mask.end(), 0);
  TCCylCurve dot;
  dot.tube.radius = 1.0;
  dot.ctrlPoints = {{6.5, 5.5, 5.5}, {6.5, 5.5, 5.5}, {6.5, 5.5, 5.5}};
  ASSERT_TRUE(dot.updateCurve(true));
  const auto dotTubes = t_collectCurveTubes({}, &dot);
  ASSERT_EQ(dotTubes.size(), 1u);
  const TCCylFillResult b = t_fillCurvedCylinders(flags.data(), mask.data(), W, H, D, pitch, dotTubes, 4);
  EXPECT_EQ(b.filled, 7);
  EXPECT_EQ(at(6, 5, 5), 4);
  EXPECT_EQ(at(0, 0, 0), 0);

  // A curve being edited counts only with two points.
  TCCylCurve one;
  one.ctrlPoints = {{1, 1, 1}};
  EXPECT_TRUE(t_collectCurveTubes({}, &one).empty());
}

TEST(CCylFill, DoubleClickPicksTheNearestHitCurve) {
  // Three curves across the ray at z = 8, 3, 1; the nearest has too few points to count.
  std::vector<TCCylCurve> curves(3);
  for (int c = 0; c < 3; ++c) {
    curves[size_t(c)].tube.radius = 0.5;
    curves[size_t(c)].ctrlPoints = {{-2, 0, 8.0 - 2.5 * c - (c == 2)}, {2, 0, 8.0 - 2.5 * c - (c == 2)}};
    ASSERT_TRUE(curves[size_t(c)].updateCurve(true));
  }
  curves[2].ctrlPoints.resize(1);
  const double o[3] = {0.1, 0.2, 0}, miss[3] = {0.1, 3.0, 0}, d[3] = {0, 0, 1};
  EXPECT_EQ(t_pickStoredCurve(curves, o, d), 1);
  EXPECT_EQ(t_pickStoredCurve(curves, miss, d), -1);
}

}  // namespace
