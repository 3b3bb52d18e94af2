// Volume box and view-aligned slices: plain geometry, no GL.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "view/vol_slicing.h"

namespace {

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

std::vector<TSlicePolygon> slice(const double ext[3], const double dir[3], int N) {
  double c[8][3];
  t_boxCorners(ext, c);
  std::vector<TSlicePolygon> out;
  EXPECT_TRUE(t_viewAlignedSlices(c, dir, N, [&](const TSlicePolygon& p) { out.push_back(p); }));
  return out;
}

}  // namespace

TEST(RenderSlicing, ExtentFromVoxelsAndPitch) {
  double e[3];
  const double p1[3] = {0.5, 0.5, 2.0};
  ASSERT_TRUE(t_volumeExtent(p1, 512, 512, 100, e));
  EXPECT_DOUBLE_EQ(e[0], 10);
  EXPECT_DOUBLE_EQ(e[1], 10);
  EXPECT_NEAR(e[2], 10 * 200.0 / 256.0, 1e-12);  // 200 mm deep of 256 mm wide

  // The longest side becomes 10 whichever axis it is.
  const double p2[3] = {1, 2.5, 1};
  ASSERT_TRUE(t_volumeExtent(p2, 64, 64, 64, e));
  EXPECT_DOUBLE_EQ(e[1], 10);
  EXPECT_DOUBLE_EQ(e[0], 4);
  EXPECT_DOUBLE_EQ(e[2], 4);
}

TEST(RenderSlicing, ExtentRefusesZeroCountsAndPitch) {
  double e[3] = {7, 8, 9};
  const double ok[3] = {1, 1, 1};
  const double zero[3] = {1, 0, 1};
  const double neg[3] = {1, 1, -2};
  const double nan[3] = {1, std::nan(""), 1};
  EXPECT_FALSE(t_volumeExtent(ok, 0, 10, 10, e));
  EXPECT_FALSE(t_volumeExtent(ok, 10, 10, -1, e));
  EXPECT_FALSE(t_volumeExtent(zero, 10, 10, 10, e));
  EXPECT_FALSE(t_volumeExtent(neg, 10, 10, 10, e));
  EXPECT_FALSE(t_volumeExtent(nan, 10, 10, 10, e));
  // The previous box stays, finite.
  EXPECT_EQ(e[0], 7);
  EXPECT_EQ(e[1], 8);
  EXPECT_EQ(e[2], 9);
}

TEST(RenderSlicing, SliceCountFromSlider) {
  EXPECT_EQ(t_sliceCount(0, false), 100);
  EXPECT_EQ(t_sliceCount(100, false), 2000);
  EXPECT_EQ(t_sliceCount(50, false), 1050);
  EXPECT_EQ(t_sliceCount(50, true), 315);
}

TEST(RenderSlicing, LookingDownZGivesSquaresAtEachDepth) {
  const double ext[3] = {10, 10, 10};
  const double dir[3] = {0, 0, 1};  // eye on +z
  const int N = 100;                 // step 0.23
  const auto polys = slice(ext, dir, N);
  ASSERT_EQ(polys.size(), size_t(std::ceil(10 / 0.23)));
  for (size_t i = 0; i < polys.size(); ++i) {
    const TSlicePolygon& p = polys[i];
    ASSERT_EQ(p.n, 4);
    const double z = i * 0.23;
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(p.p[k][2], z, 1e-9);
      minX = std::min(minX, p.p[k][0]), maxX = std::max(maxX, p.p[k][0]);
      minY = std::min(minY, p.p[k][1]), maxY = std::max(maxY, p.p[k][1]);
    }
    EXPECT_NEAR(minX, 0, 1e-9);
    EXPECT_NEAR(maxX, 10, 1e-9);
    EXPECT_NEAR(minY, 0, 1e-9);
    EXPECT_NEAR(maxY, 10, 1e-9);
  }
  // Far to near: depth grows along the view direction, towards the eye.
  EXPECT_LT(polys.front().p[0][2], polys.back().p[0][2]);
}

// For arbitrary view directions and boxes: every polygon is flat and perpendicular to the view
// direction, lies inside the box, is convex with a consistent winding facing the eye, and the
// slices run back to front at the fixed step.
TEST(RenderSlicing, PolygonsArePerpendicularInsideBoxAndOrdered) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  std::uniform_real_distribution<double> side(0.5, 10);
  for (int trial = 0; trial < 200; ++trial) {
    double dir[3] = {u(rng), u(rng), u(rng)};
    if (trial == 0) dir[0] = 1, dir[1] = 1, dir[2] = 1;  // exact corner ties
    if (trial == 1) dir[0] = 0, dir[1] = 1, dir[2] = 0;
    const double len = std::sqrt(dot(dir, dir));
    if (len < 1e-3) continue;
    double d[3] = {dir[0] / len, dir[1] / len, dir[2] / len};
    const double ext[3] = {side(rng), side(rng), side(rng)};
    const int N = 100 + trial;
    const auto polys = slice(ext, dir, N);
    ASSERT_FALSE(polys.empty());

    double prevDepth = -1e300;
    for (const TSlicePolygon& p : polys) {
      ASSERT_GE(p.n, 3);
      ASSERT_LE(p.n, 6);
      const double depth = dot(d, p.p[0]);
      for (int k = 0; k < p.n; ++k) {
        EXPECT_NEAR(dot(d, p.p[k]), depth, 1e-9);
        for (int a = 0; a < 3; ++a) {
          EXPECT_GE(p.p[k][a], -1e-9);
          EXPECT_LE(p.p[k][a], ext[a] + 1e-9);
        }
      }
      if (prevDepth > -1e300) {
        EXPECT_NEAR(depth - prevDepth, 23.0 / N, 1e-9);
      }
      prevDepth = depth;
      // Convex, every turn on the same side.
      for (int k = 0; k < p.n; ++k) {
        const double* a = p.p[k];
        const double* b = p.p[(k + 1) % p.n];
        const double* c = p.p[(k + 2) % p.n];
        const double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double e2[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
        const double cr[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                              e1[0] * e2[1] - e1[1] * e2[0]};
        const double s = dot(cr, d);
        if (std::fabs(s) < 1e-9) continue;  // a vertex where two edges meet at a corner
        // Counter-clockwise seen from the eye: the view's default face culling keeps them.
        EXPECT_GT(s, 0) << "trial " << trial;
      }
    }
  }
}

TEST(RenderSlicing, CoarseSlicingStillCoversTheBox) {
  const double ext[3] = {10, 6, 3};
  const double dir[3] = {0.3, -0.5, 0.8};
  double c[8][3];
  t_boxCorners(ext, c);
  double lo = 1e9, hi = -1e9;
  const double len = std::sqrt(dot(dir, dir));
  const double d[3] = {dir[0] / len, dir[1] / len, dir[2] / len};
  for (auto& k : c) lo = std::min(lo, dot(d, k)), hi = std::max(hi, dot(d, k));
  for (bool held : {false, true}) {
    const int N = t_sliceCount(50, held);
    const auto polys = slice(ext, dir, N);
    const double step = 23.0 / N;
    EXPECT_NEAR(dot(d, polys.front().p[0]), lo, 1e-9);
    EXPECT_GT(dot(d, polys.back().p[0]), hi - step - 1e-9);
    EXPECT_LT(dot(d, polys.back().p[0]), hi);
  }
}

TEST(RenderSlicing, EyeOnCentreDrawsNothing) {
  const double ext[3] = {10, 10, 10};
  const double zero[3] = {0, 0, 0};
  EXPECT_TRUE(slice(ext, zero, 100).empty());
}
