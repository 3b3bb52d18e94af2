#include <gtest/gtest.h>

#include <cmath>

#include "geom/Tstroke3D_fiber.h"

namespace {

// An open straight fiber along x with unit spacing.
Tstroke3D_fiber straightFiber(int n, bool closedLoop = false) {
  Tstroke3D_fiber f;
  for (int i = 0; i < n; ++i) {
    if (closedLoop) {
      const double a = 2 * M_PI * i / n;
      f.points.push_back(TVec3(5 * std::cos(a), 5 * std::sin(a), 0));
    } else {
      f.points.push_back(TVec3(i, 0, 0));
    }
  }
  f.closed = closedLoop;
  f.updateTube();
  return f;
}

double dist(const TVec3& a, const double b[3]) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

}  // namespace

TEST(FiberStroke, RegionOfOnePointLandsOnTarget) {
  auto f = straightFiber(6);
  f.startDeformation(3, 0.5);  // neighbours are 1 away
  const double t[3] = {3.0, 0.4, 0.0};  // half the drag (0.2) does not reach them either
  ASSERT_TRUE(f.deform(3, t));
  EXPECT_EQ(f.points[3][1], 0.4);
  EXPECT_EQ(f.points[2][1], 0.0);
  EXPECT_EQ(f.points[4][1], 0.0);
}

TEST(FiberStroke, WholeFiberRegionTranslatesRigidly) {
  auto f = straightFiber(5);
  f.startDeformation(2, 100.0);
  const double t[3] = {3.0, 1.0, -2.0};
  ASSERT_TRUE(f.deform(2, t));
  for (int j = 0; j < 5; ++j) {
    EXPECT_DOUBLE_EQ(f.points[j][0], j + 1.0);
    EXPECT_DOUBLE_EQ(f.points[j][1], 1.0);
    EXPECT_DOUBLE_EQ(f.points[j][2], -2.0);
  }
}

TEST(FiberStroke, DragBendsTheRegionAndKeepsTheRest) {
  auto f = straightFiber(21);
  f.startDeformation(10, 4.0);
  int flagged = 0;
  for (int v : f.regionFlags) flagged += v;
  EXPECT_EQ(flagged, 9);  // points 6..14 lie within arc length 4
  const double t[3] = {10.0, 1.0, 0.0};
  ASSERT_TRUE(f.deform(10, t));
  // The handle moves most of the way; the region ends stay near rest; outside nothing moves.
  EXPECT_GT(f.points[10][1], 0.7);
  EXPECT_LT(dist(f.points[10], t), 0.3);
  EXPECT_LT(std::fabs(f.points[6][1]), 0.2);
  EXPECT_LT(std::fabs(f.points[14][1]), 0.2);
  for (int j : {0, 5, 15, 20}) {
    EXPECT_EQ(f.points[j][0], j);
    EXPECT_EQ(f.points[j][1], 0.0);
  }
  // Both sides follow alike (the rod's edges hang behind their points, so not exactly
  // symmetrically); the bend is monotone towards the handle.
  for (int k = 1; k <= 3; ++k) {
    EXPECT_NEAR(f.points[10 - k][1], f.points[10 + k][1], 0.1);
    EXPECT_GT(f.points[10 - k + 1][1], f.points[10 - k][1] - 1e-9);
  }
  // Rotations stay rotations.
  for (int j = 6; j <= 14; ++j) {
    const auto& R = f.rotations[j];
    const double det = R[0] * (R[4] * R[8] - R[7] * R[5]) - R[3] * (R[1] * R[8] - R[7] * R[2]) +
                       R[6] * (R[1] * R[5] - R[4] * R[2]);
    EXPECT_NEAR(det, 1.0, 1e-9);
  }
  // A longer drag grows the region (half the drag distance as arc length), never shrinks it.
  const double far[3] = {10.0, 12.0, 0.0};
  ASSERT_TRUE(f.deform(10, far));
  flagged = 0;
  for (int v : f.regionFlags) flagged += v;
  EXPECT_EQ(flagged, 13);  // radius 6
  ASSERT_TRUE(f.deform(10, t));
  int after = 0;
  for (int v : f.regionFlags) after += v;
  EXPECT_EQ(after, 13);
  f.finishDeformation();
  for (int j = 0; j < 21; ++j) EXPECT_EQ(f.restPoints[j][1], f.points[j][1]);
}

TEST(FiberStroke, PinnedPointsStopTheRegion) {
  auto f = straightFiber(9);
  f.pinned.assign(9, 0);
  f.pinned[6] = 1;
  f.pinned[4] = 1;  // the picked point itself
  f.startDeformation(4, 3.0);
  EXPECT_EQ(f.regionFlags[4], 1);
  EXPECT_EQ(f.regionFlags[5], 1);
  EXPECT_EQ(f.regionFlags[6], 0);
  EXPECT_EQ(f.regionFlags[7], 0);
  EXPECT_EQ(f.regionFlags[1], 1);
  EXPECT_EQ(f.regionFlags[0], 0);
}

TEST(FiberStroke, ClosedRegionWrapsAcrossTheEnd) {
  auto f = straightFiber(24, true);  // radius-5 circle, spacing ~1.3
  f.startDeformation(0, 3.0);
  EXPECT_EQ(f.regionFlags[23], 1);
  EXPECT_EQ(f.regionFlags[22], 1);
  EXPECT_EQ(f.regionFlags[1], 1);
  EXPECT_EQ(f.regionFlags[12], 0);
  const double t[3] = {6.0, 0.0, 0.0};
  ASSERT_TRUE(f.deform(0, t));
  EXPECT_GT(f.points[0][0], 5.5);
  // Both sides of the wrap follow alike.
  EXPECT_NEAR(f.points[1][0], f.points[23][0], 0.1);
  EXPECT_NEAR(f.points[1][1], -f.points[23][1], 0.1);
  EXPECT_GT(f.points[1][0], 5.0 * std::cos(2 * M_PI / 24) + 0.1);
  EXPECT_EQ(f.points[12][0], -5.0);
}

TEST(FiberStroke, RelaxPointRules) {
  auto f = straightFiber(4);
  f.points[1][1] = 1.0;
  f.relaxPoint(1);
  EXPECT_EQ(f.points[1][1], 0.0);
  const TVec3 end = f.points[0];
  f.points[0][1] = 3.0;
  f.relaxPoint(0);  // open fiber: ends stay
  EXPECT_EQ(f.points[0][1], 3.0);
  f.closed = true;
  f.relaxPoint(0);  // closed: from the last point and point 1
  EXPECT_DOUBLE_EQ(f.points[0][0], 0.5 * (3.0 + 1.0));
  f.pinned.assign(4, 0);
  f.pinned[2] = 1;
  f.points[2][2] = 7.0;
  f.relaxPoint(2);
  EXPECT_EQ(f.points[2][2], 7.0);
  auto two = straightFiber(2);
  two.points[1][1] = 5.0;
  two.relaxPoint(1);
  EXPECT_EQ(two.points[1][1], 5.0);
  (void)end;
}

TEST(FiberStroke, DeformWithoutStartIsRefused) {
  auto f = straightFiber(5);
  const double t[3] = {1, 1, 1};
  testing::internal::CaptureStderr();
  EXPECT_FALSE(f.deform(2, t));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(f.points[2][1], 0.0);
}

TEST(FiberStroke, RotationsTurnWithTheEdgesTheyCarry) {
  // Lifting the middle of a straight fiber along +y: the edges behind the handle turn
  // counter-clockwise about z, those after it clockwise, and so do the rotations that carry
  // them (held small by the smoothness and end rows).
  auto f = straightFiber(21);
  f.startDeformation(10, 4.0);
  const double t[3] = {10.0, 1.0, 0.0};
  ASSERT_TRUE(f.deform(10, t));
  for (int j = 7; j <= 13; ++j) {
    if (j == 10 || j == 11) continue;  // next to the handle the two sides meet
    const auto& R = f.rotations[j];  // column-major: (1, 0) at 1
    const double edgeDy = f.points[j][1] - f.points[j - 1][1];
    EXPECT_GT(R[1] * edgeDy, 0.0) << j;
    EXPECT_GT(std::fabs(R[1]), 0.005) << j;
    EXPECT_NEAR(R[8], 1.0, 1e-9) << j;  // a turn about z only
  }
}

TEST(FiberStroke, HandleAtTheRegionEndIsBalancedAgainstItsRestPosition) {
  // The first point of an open fiber is both the handle and the region's first point: the
  // handle row pulls it to the target, the end row back to rest, with equal weight.
  auto f = straightFiber(10);
  f.startDeformation(0, 2.5);  // points 0..2
  const double t[3] = {0.0, 2.0, 0.0};
  ASSERT_TRUE(f.deform(0, t));
  for (int j = 0; j < 10; ++j) EXPECT_EQ(f.regionFlags[j], j <= 2 ? 1 : 0) << j;
  EXPECT_GT(f.points[0][1], 0.5);
  EXPECT_LT(f.points[0][1], 1.5);
  // The region's last point is held at rest by its own row; the rest of the fiber stays.
  EXPECT_LT(std::fabs(f.points[2][1]), 0.4);
  EXPECT_GT(f.points[1][1], f.points[2][1]);
  EXPECT_LT(f.points[1][1], f.points[0][1]);
  for (int j = 3; j < 10; ++j) EXPECT_EQ(f.points[j][1], 0.0);
}
