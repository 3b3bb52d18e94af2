// Cubic B-spline fitting: interpolation at the control points, open and closed curves,
// and the short inputs.
#include <gtest/gtest.h>

#include <cmath>

#include "geom/bspline.h"

namespace {

void expectNear(const TVec3& a, const TVec3& b, double tol = 1e-9) {
  EXPECT_NEAR(a[0], b[0], tol);
  EXPECT_NEAR(a[1], b[1], tol);
  EXPECT_NEAR(a[2], b[2], tol);
}

TEST(BSpline, OpenCurvePassesThroughEveryInputPoint) {
  const TPoints in = {{0, 0, 0}, {1, 2, 0}, {3, 1, 1}, {4, 4, 2}, {6, 3, -1}, {7, 0, 0}};
  TPoints out;
  // n = N: the output is the input; n = 3(N-1)+1: every third point is an input point.
  t_fitCubicBSpline(in, out, false, int(in.size()));
  ASSERT_EQ(out.size(), in.size());
  for (size_t i = 0; i < in.size(); ++i) expectNear(out[i], in[i]);
  t_fitCubicBSpline(in, out, false, 16);
  ASSERT_EQ(out.size(), 16u);
  for (size_t i = 0; i < in.size(); ++i) expectNear(out[3 * i], in[i]);
  // The points in between lie near the chords (a smooth curve, no wild overshoot).
  for (size_t k = 1; k < out.size(); ++k) EXPECT_LT(t_dist3(out[k], out[k - 1]), 2.5);
}

TEST(BSpline, CollinearPointsStayOnTheirLine) {
  const TPoints in = {{0, 0, 0}, {1, 1, 1}, {3, 3, 3}};
  TPoints out;
  t_fitCubicBSpline(in, out, false, 5);
  ASSERT_EQ(out.size(), 5u);
  expectNear(out[0], in[0]);
  expectNear(out[2], in[1]);
  expectNear(out[4], in[2]);
  for (const TVec3& p : out) {
    EXPECT_NEAR(p[0], p[1], 1e-12);
    EXPECT_NEAR(p[1], p[2], 1e-12);
  }
}

TEST(BSpline, ClosedSquareIsRoundedOnlyBetweenItsCorners) {
  const TPoints in = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  TPoints out;
  t_fitCubicBSpline(in, out, true, 4);
  ASSERT_EQ(out.size(), 4u);
  for (size_t i = 0; i < 4; ++i) expectNear(out[i], in[i]);
  t_fitCubicBSpline(in, out, true, 7);
  ASSERT_EQ(out.size(), 7u);
  for (size_t i = 0; i < 4; ++i) expectNear(out[2 * i], in[i]);
  // Extra points bulge outwards between neighbouring corners (periodic curve), and none
  // lies between the last corner and the first.
  const double c[2] = {0.5, 0.5};
  for (size_t k = 1; k < 7; k += 2) {
    const double r = std::hypot(out[k][0] - c[0], out[k][1] - c[1]);
    EXPECT_GT(r, 0.5);
    EXPECT_LT(r, std::sqrt(0.5));
    EXPECT_FALSE(out[k][0] < 0.1 && out[k][1] > 0.1 && out[k][1] < 0.9);
  }
}

TEST(BSpline, ShortInputs) {
  TPoints out;
  t_fitCubicBSpline({}, out, false, 3);
  ASSERT_EQ(out.size(), 3u);
  for (const TVec3& p : out) EXPECT_EQ(p, TVec3(0, 0, 0));
  t_fitCubicBSpline({{1, 2, 3}}, out, true, 4);
  ASSERT_EQ(out.size(), 4u);
  for (const TVec3& p : out) EXPECT_EQ(p, TVec3(1, 2, 3));
  t_fitCubicBSpline({{0, 0, 0}, {2, 4, 6}}, out, false, 3);
  ASSERT_EQ(out.size(), 3u);
  expectNear(out[0], TVec3(0, 0, 0));
  expectNear(out[1], TVec3(1, 2, 3));
  expectNear(out[2], TVec3(2, 4, 6));
  // No output points asked for: an empty result for any input (two points used to hang).
  for (size_t N : {0u, 1u, 2u, 4u}) {
    TPoints in;
    for (size_t k = 0; k < N; ++k) in.push_back(TVec3(double(k), double(k * k), 0));
    out.assign(5, TVec3(7, 7, 7));
    t_fitCubicBSpline(in, out, false, 0);
    EXPECT_TRUE(out.empty()) << N;
    t_fitCubicBSpline(in, out, true, -2);
    EXPECT_TRUE(out.empty()) << N;
  }
}

}  // namespace
