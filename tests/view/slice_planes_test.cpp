// Geometry of the slice planes and the cut surface, without a display: the quarter-voxel rule,
// line and handle picks, picks only in front of the ray's origin, and the cut-surface sweep in
// both projections.
#include <gtest/gtest.h>

#include <cmath>

#include "view/slice_planes.h"

namespace {

const double kBox[3] = {10, 10, 5};

double dist(const double a[3], const double b[3]) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

bool onBoxSurface(const double p[3], const double e[3]) {
  bool inside = true, onFace = false;
  for (int i = 0; i < 3; ++i) {
    inside = inside && p[i] >= -1e-6 && p[i] <= e[i] + 1e-6;
    onFace = onFace || std::fabs(p[i]) < 1e-6 || std::fabs(p[i] - e[i]) < 1e-6;
  }
  return inside && onFace;
}

}  // namespace

TEST(SlicePlanes, PositionsKeepOffVoxelBoundariesAndInsideTheBox) {
  double s[3] = {0.5, 1.0, -0.2};
  t_keepSlicesSane(s, 100, 100, 100);
  EXPECT_NEAR(s[0], 0.5025, 1e-12);
  EXPECT_NEAR(s[1], 0.995, 1e-12);
  EXPECT_NEAR(s[2], 0.005, 1e-12);
  // A position in the middle of a voxel stays; NaN goes inside.
  double m[3] = {0.305, 0.5 / 64, std::nan("")};
  t_keepSlicesSane(m, 100, 64, 10);
  EXPECT_DOUBLE_EQ(m[0], 0.305);
  EXPECT_DOUBLE_EQ(m[1], 0.5 / 64);
  EXPECT_GT(m[2], 0.0);
  EXPECT_LT(m[2], 1.0);
}

TEST(SlicePlanes, LineThroughTheBoxEntersAndLeavesOnItsFaces) {
  const double p[3] = {-5, 2, 1}, d[3] = {1, 0, 0};
  double en[3], ex[3];
  ASSERT_TRUE(t_clipLineToBox(kBox, p, d, en, ex));
  EXPECT_NEAR(en[0], 0, 1e-12);
  EXPECT_NEAR(ex[0], 10, 1e-12);
  EXPECT_NEAR(en[1], 2, 1e-12);
  // The line is not a ray: a start beyond the box gives the same two points.
  const double q[3] = {25, 2, 1};
  double en2[3], ex2[3];
  ASSERT_TRUE(t_clipLineToBox(kBox, q, d, en2, ex2));
  EXPECT_NEAR(dist(en, en2), 0, 1e-12);
  EXPECT_NEAR(dist(ex, ex2), 0, 1e-12);
  // A diagonal line enters and leaves on different faces.
  const double o[3] = {-1, -1, -1};
  double dd[3] = {10, 9, 4};
  t_normalize3(dd);
  ASSERT_TRUE(t_clipLineToBox(kBox, o, dd, en, ex));
  EXPECT_TRUE(onBoxSurface(en, kBox));
  EXPECT_TRUE(onBoxSurface(ex, kBox));
  EXPECT_GT(t_dot3(ex, dd) - t_dot3(en, dd), 0);
  // Missing the box.
  const double far[3] = {-5, 20, 1};
  EXPECT_FALSE(t_clipLineToBox(kBox, far, d, en, ex));
}

TEST(SlicePlanes, PaneLinePickNeedsThePointInsideTheRectangle) {
  const double s[3] = {0.3, 0.6, 0.5};  // x 3, y 6, z 2.5
  const double both[3] = {3.05, 5.95, 0};
  EXPECT_EQ(t_pickSliceLine(0, s, kBox, both, 0.1), 3);
  const double first[3] = {3.05, 2, 0};
  EXPECT_EQ(t_pickSliceLine(0, s, kBox, first, 0.1), 1);
  const double none[3] = {5, 2, 0};
  EXPECT_EQ(t_pickSliceLine(0, s, kBox, none, 0.1), 0);
  // Near the x line but outside the box rectangle.
  const double outside[3] = {3.0, -0.05, 0};
  EXPECT_EQ(t_pickSliceLine(0, s, kBox, outside, 0.1), 0);
  // YZ pane: line 1 is y, line 2 is z.
  const double yz[3] = {0, 1, 2.45};
  EXPECT_EQ(t_pickSliceLine(1, s, kBox, yz, 0.1), 2);
  // ZX pane: line 1 x, line 2 z.
  const double zx[3] = {2.95, 0, 4};
  EXPECT_EQ(t_pickSliceLine(2, s, kBox, zx, 0.1), 1);
}

TEST(SlicePlanes, HandlePickPrefersYZThenZXThenXYAndOnlyInFront) {
  const bool all[3] = {true, true, true};
  // All three handles at the origin: a ray through it picks YZ.
  const double s0[3] = {0, 0, 0};
  const double o[3] = {-3, -4, 10};
  double d[3] = {3, 4, -10};
  t_normalize3(d);
  EXPECT_EQ(t_pickSliceHandle(s0, kBox, all, o, d, 0.2), 1);
  const bool noYZ[3] = {true, false, true};
  EXPECT_EQ(t_pickSliceHandle(s0, kBox, noYZ, o, d, 0.2), 2);
  const bool onlyXY[3] = {true, false, false};
  EXPECT_EQ(t_pickSliceHandle(s0, kBox, onlyXY, o, d, 0.2), 0);
  // The same line pointing away from the handle picks nothing.
  const double back[3] = {-d[0], -d[1], -d[2]};
  EXPECT_EQ(t_pickSliceHandle(s0, kBox, all, o, back, 0.2), -1);
  // A ray passing 0.25 from the XY handle misses it, one passing 0.15 picks it.
  const double s[3] = {0.5, 0.5, 0.4};  // XY handle at (0, 0, 2)
  const double o2[3] = {0.25, 0, 10};
  const double d2[3] = {0, 0, -1};
  EXPECT_EQ(t_pickSliceHandle(s, kBox, onlyXY, o2, d2, 0.2), -1);
  const double o3[3] = {0.15, 0, 10};
  EXPECT_EQ(t_pickSliceHandle(s, kBox, onlyXY, o3, d2, 0.2), 0);
}

TEST(SlicePlanes, HandleDragTakesTheAxisPointNearestTheRay) {
  double s[3] = {0.5, 0.5, 0.5};
  // A ray crossing the z axis at z = 1 (box depth 5): position 0.2.
  const double o[3] = {-10, 0, 1};
  const double d[3] = {1, 0, 0};
  ASSERT_TRUE(t_dragSliceHandle(s, kBox, 0, o, d));
  EXPECT_NEAR(s[2], 0.2, 1e-12);
  // Beyond the box on the axis, or along the axis: nothing changes.
  const double o2[3] = {-10, 0, 7};
  EXPECT_FALSE(t_dragSliceHandle(s, kBox, 0, o2, d));
  const double along[3] = {0, 0, 1};
  EXPECT_FALSE(t_dragSliceHandle(s, kBox, 0, o, along));
  EXPECT_NEAR(s[2], 0.2, 1e-12);
  // YZ plane along x.
  const double ox[3] = {7.5, 3, 10};
  const double dz[3] = {0, 0, -1};
  ASSERT_TRUE(t_dragSliceHandle(s, kBox, 1, ox, dz));
  EXPECT_NEAR(s[0], 0.75, 1e-12);
}

TEST(SlicePlanes, PointPickTakesTheNearestHitInFrontOfTheOrigin) {
  const bool all[3] = {true, true, true};
  const double s[3] = {0.5, 0.5, 0.2};  // x 5, y 5, z 1
  double pos[3];
  // From above the box looking down: the XY plane at z = 1 is hit.
  const double o[3] = {2, 3, 20};
  const double d[3] = {0, 0, -1};
  EXPECT_EQ(t_pickPointOnSlices(s, kBox, all, nullptr, o, d, pos), 0);
  EXPECT_NEAR(pos[2], 1, 1e-12);
  EXPECT_NEAR(pos[0], 2, 1e-12);
  // From inside the box between z = 1 and the top, looking up: the XY plane lies behind the
  // origin and is not hit.
  const double oi[3] = {2, 3, 3};
  const double up[3] = {0, 0, 1};
  EXPECT_EQ(t_pickPointOnSlices(s, kBox, all, nullptr, oi, up, pos), 4);
  // Looking along x from inside, between the YZ plane (x 5) behind and nothing ahead.
  const double ox[3] = {7, 3, 3};
  const double dx[3] = {-1, 0, 0};
  EXPECT_EQ(t_pickPointOnSlices(s, kBox, all, nullptr, ox, dx, pos), 1);
  const double dxr[3] = {1, 0, 0};
  EXPECT_EQ(t_pickPointOnSlices(s, kBox, all, nullptr, ox, dxr, pos), 4);
  // Of two planes ahead the nearer wins: a slanted ray from above meets the ZX plane (y 5)
  // before the XY plane (z 1).
  const double os[3] = {2, 8, 4};
  double ds[3] = {0, -1, -0.5};
  t_normalize3(ds);
  EXPECT_EQ(t_pickPointOnSlices(s, kBox, all, nullptr, os, ds, pos), 2);
  EXPECT_NEAR(pos[1], 5, 1e-12);
  // A cut surface in front of the planes wins; one behind the origin does not.
  TTriangleMesh cut;
  ASSERT_TRUE(cut.initFromVertsPolys({TVec3(0, 0, 4), TVec3(10, 0, 4), TVec3(10, 10, 4), TVec3(0, 10, 4)},
                                     {{0, 1, 2}, {0, 2, 3}}));
  EXPECT_EQ(t_pickPointOnSlices(s, kBox, all, &cut, o, d, pos), 3);
  EXPECT_NEAR(pos[2], 4, 1e-12);
  const double below[3] = {2, 3, 2};
  EXPECT_EQ(t_pickPointOnSlices(s, kBox, all, &cut, below, d, pos), 0);
}

TEST(SlicePlanes, StrokeIsResampledExtendedAndSmoothed) {
  TPoints six;
  for (int i = 0; i < 6; ++i) six.emplace_back(i, 0.5 * i, 0);
  TPoints out;
  t_processCutStroke(six, out);
  ASSERT_EQ(out.size(), 51u);  // 31 resampled + 2 x 10
  // A straight stroke stays straight; its extension continues it by ten resampled steps.
  const double step = std::hypot(5.0, 2.5) / 30;
  for (const TVec3& p : out) EXPECT_NEAR(p[1], 0.5 * p[0], 1e-9);
  EXPECT_NEAR(std::hypot(out[0][0], out[0][1]), 10 * step, 1e-9);
  EXPECT_NEAR(out.back()[0], 5 + 9 * step * 2 / std::sqrt(5.0), 1e-9);
  TPoints many;
  for (int i = 0; i < 250; ++i) many.emplace_back(0.01 * i, std::sin(0.02 * i), 0);
  t_processCutStroke(many, out);
  EXPECT_EQ(out.size(), 121u);  // 101 + 20
  // One smoothing pass: interior points are 1/2, 1/4, 1/4 of their neighbourhood; ends stay.
  TPoints z = {TVec3(0, 0, 0), TVec3(1, 4, 0), TVec3(2, 0, 0)};
  t_smoothPolylineOnce(z);
  EXPECT_DOUBLE_EQ(z[1][1], 2.0);
  EXPECT_DOUBLE_EQ(z[2][0], 2.0);
}

TEST(SlicePlanes, CutSurfaceSweepsFromTheEyeOrAlongTheViewDirection) {
  TPoints line;
  for (int i = 0; i <= 20; ++i) line.emplace_back(-1 + 0.6 * i, 4, 20);
  std::vector<TVec3> v;
  std::vector<TPolyIdx> t;
  // Perspective with the eye outside: a strip of entry/exit pairs, every vertex on the box, each
  // pair on one line through the eye.
  const double eye[3] = {5, 5, 30};
  t_cutSurfaceFromRays(kBox, line, eye, nullptr, v, t);
  ASSERT_GE(v.size(), 4u);
  ASSERT_EQ(v.size() % 2, 0u);
  EXPECT_EQ(t.size(), v.size() - 2);
  for (size_t i = 0; i + 1 < v.size(); i += 2) {
    EXPECT_TRUE(onBoxSurface(v[i], kBox));
    EXPECT_TRUE(onBoxSurface(v[i + 1], kBox));
    double a[3], b[3], c[3];
    t_sub3(v[i], eye, a);
    t_sub3(v[i + 1], eye, b);
    t_cross3(a, b, c);
    EXPECT_LT(t_length3(c), 1e-6 * t_length3(a) * t_length3(b));
  }
  // Parallel: every pair differs only along the view direction (lines from the eye would fan).
  double dir[3] = {0, -0.2, -0.98};
  t_normalize3(dir);
  t_cutSurfaceFromRays(kBox, line, nullptr, dir, v, t);
  ASSERT_GE(v.size(), 4u);
  for (size_t i = 0; i + 1 < v.size(); i += 2) {
    double a[3], c[3];
    t_sub3(v[i + 1], v[i], a);
    t_cross3(a, dir, c);
    EXPECT_LT(t_length3(c), 1e-9);
    EXPECT_GT(t_dot3(a, dir), 0);  // entry first
  }
  // An eye inside the box: a fan from the eye to the exit points.
  const double inside[3] = {5, 5, 2.5};
  t_cutSurfaceFromRays(kBox, line, inside, nullptr, v, t);
  ASSERT_GE(v.size(), 3u);
  EXPECT_EQ(t.size(), v.size() - 2);
  for (const TPolyIdx& tri : t) EXPECT_EQ(tri[1], 0);
  // A stroke whose lines all miss the box gives nothing.
  TPoints miss;
  for (int i = 0; i < 10; ++i) miss.emplace_back(100 + i, 100, 20);
  t_cutSurfaceFromRays(kBox, miss, nullptr, dir, v, t);
  EXPECT_TRUE(v.empty());
  EXPECT_TRUE(t.empty());
}
