// Strokes and tubes: length, resampling, picking by ray, and the tube rings.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "geom/Tstroke3D.h"
#include "geom/Tstroke3D_tube.h"

namespace {

double dist(const TVec3& a, const TVec3& b) { return t_dist3(a, b); }

TEST(Stroke, LengthCountsTheClosingSegmentOnlyWhenClosed) {
  Tstroke3D s;
  EXPECT_EQ(s.length(), 0.0);
  s.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  EXPECT_DOUBLE_EQ(s.length(), 3.0);
  s.closed = true;
  EXPECT_DOUBLE_EQ(s.length(), 4.0);
  s.points.resize(1);
  EXPECT_EQ(s.length(), 0.0);
}

TEST(Stroke, ResampleSpacesPointsEvenlyAlongTheOpenPolyline) {
  Tstroke3D s;
  s.points = {{0, 0, 0}, {3, 0, 0}, {3, 1, 0}};
  s.closed = true;  // the closing segment is not part of the walk
  s.resample(8);
  ASSERT_EQ(s.points.size(), 9u);
  EXPECT_EQ(s.points.front(), TVec3(0, 0, 0));
  EXPECT_NEAR(dist(s.points.back(), TVec3(3, 1, 0)), 0.0, 1e-9);
  for (size_t i = 1; i < s.points.size(); ++i) {
    // arc length 0.5 between neighbours; on the corner the chord is shorter
    EXPECT_LE(dist(s.points[i], s.points[i - 1]), 0.5 + 1e-9);
    EXPECT_GE(dist(s.points[i], s.points[i - 1]), 0.5 / std::sqrt(2.0) - 1e-9);
  }
  // With fewer than two points the result is n + 1 points at the origin.
  Tstroke3D one;
  one.points = {{4, 5, 6}};
  one.resample(3);
  ASSERT_EQ(one.points.size(), 4u);
  for (const TVec3& p : one.points) EXPECT_EQ(p, TVec3(0, 0, 0));
  // A negative count asks for no points (the walk must not run away).
  Tstroke3D two;
  two.points = {{0, 0, 0}, {1, 0, 0}};
  two.resample(-1);
  EXPECT_TRUE(two.points.empty());
}

TEST(Stroke, ClosestPointAndPickByRay) {
  const double o[3] = {0.4, -5, 1.0}, d[3] = {0, 2, 0};  // line x = 0.4, z = 1, along y
  int idx = 42;
  Tstroke3D s;
  EXPECT_EQ(s.closestPoint(o, d, idx), DBL_MAX);
  EXPECT_EQ(idx, 42);
  // One point: picking is not defined and leaves the index alone.
  s.points = {{0, 0, 0}};
  EXPECT_EQ(s.pickByRay(o, d, idx), 0.0);
  EXPECT_EQ(idx, 42);
  // Two points; the line passes over the segment between them.
  s.points = {{0, 0, 0}, {1, 0, 0}};
  EXPECT_NEAR(s.closestPoint(o, d, idx), std::sqrt(0.4 * 0.4 + 1.0), 1e-12);
  EXPECT_EQ(idx, 0);
  idx = 42;
  const double pick = s.pickByRay(o, d, idx);
  EXPECT_NEAR(pick, 1.0, 1e-9);  // line-to-segment distance, smaller than to either point
  EXPECT_EQ(idx, 0);
  // The first of equal distances wins; a zero direction gives no distance.
  s.points = {{0, 0, 0}, {0.8, 0, 0}};
  s.closestPoint(o, d, idx);
  EXPECT_EQ(idx, 0);
  const double zero[3] = {0, 0, 0};
  EXPECT_EQ(s.closestPoint(o, zero, idx), DBL_MAX);
  EXPECT_EQ(idx, -1);
  // Closing segment of a closed stroke: the line crosses only the segment back to P0.
  Tstroke3D tri;
  tri.points = {{0, 0, 0}, {0, 0, 4}, {2, 0, 4}};
  const double o2[3] = {1.0, -3.0, 1.0};
  int k = -7;
  const double open = tri.pickByRay(o2, d, k);
  tri.closed = true;
  const double closedPick = tri.pickByRay(o2, d, k);
  EXPECT_NEAR(closedPick, 1.0 / std::sqrt(5.0), 1e-9);  // distance to the line z = 2x
  EXPECT_GT(open, closedPick);
}

TEST(Tube, OpenTubeHasRingsOfRadiusAroundEachPoint) {
  Tstroke3D_tube t(0.1);
  EXPECT_EQ(t.sides, 6);
  EXPECT_FALSE(t.closed);
  t.points = {{0, 0, 0}, {1, 0, 0}};
  t.updateTube();
  ASSERT_EQ(t.ringVerts.size(), 2u);
  ASSERT_EQ(t.ringNormals.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_EQ(t.ringVerts[i].size(), 6u);
    EXPECT_NEAR(dist(t.ringVerts[i][0], t.ringVerts[i][5]), 0.0, 1e-12);
    for (int s = 0; s < 6; ++s) {
      EXPECT_NEAR(dist(t.ringVerts[i][s], t.points[i]), 0.1, 1e-12);
      EXPECT_NEAR(t.ringNormals[i][s][0], 0.0, 1e-12);  // perpendicular to the x axis
      EXPECT_NEAR(t_length3(t.ringNormals[i][s]), 1.0, 1e-12);
      EXPECT_NEAR(t.ringVerts[i][s][0], t.points[i][0], 1e-12);
    }
  }
  // Five distinct vertices per ring (a pentagon).
  for (int a = 0; a < 5; ++a)
    for (int b = a + 1; b < 5; ++b) EXPECT_GT(dist(t.ringVerts[0][a], t.ringVerts[0][b]), 0.05);
}

TEST(Tube, FramesFollowTheCurveWithoutTwist) {
  // A helix: neighbouring rings keep their entry order, so entry s of one ring lies next to
  // entry s of the next.
  Tstroke3D_tube t(0.2);
  for (int i = 0; i < 60; ++i) t.points.emplace_back(3 * std::cos(0.2 * i), 3 * std::sin(0.2 * i), 0.15 * i);
  t.updateTube();
  ASSERT_EQ(t.ringVerts.size(), 60u);
  for (size_t i = 1; i < t.ringVerts.size(); ++i) {
    const double step = dist(t.points[i], t.points[i - 1]);
    for (int s = 0; s < t.sides; ++s) {
      EXPECT_LT(dist(t.ringVerts[i][s], t.ringVerts[i - 1][s]), step + 0.1) << "station " << i;
      // the ring lies in the plane normal to the tangent
      double tan[3], off[3];
      t_sub3(t.points[std::min(i + 1, t.points.size() - 1)], t.points[i - 1], tan);
      t_normalize3(tan);
      t_sub3(t.ringVerts[i][s], t.points[i], off);
      if (i + 1 < t.points.size()) {
        EXPECT_NEAR(t_dot3(tan, off), 0.0, 1e-9);
      }
    }
  }
}

TEST(Tube, ClosedTubeRepeatsTheFirstStation) {
  Tstroke3D_tube t(0.1);
  t.closed = true;
  t.points = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
  t.updateTube();
  ASSERT_EQ(t.ringVerts.size(), 4u);
  for (int s = 0; s < t.sides; ++s) {
    EXPECT_NEAR(dist(t.ringVerts[3][s], t.points[0]), 0.1, 1e-12);
    // same tangent as station 0: the ring lies in the same plane
    double tan[3], off[3];
    t_sub3(t.points[1], t.points[2], tan);
    t_sub3(t.ringVerts[3][s], t.points[0], off);
    EXPECT_NEAR(t_dot3(tan, off), 0.0, 1e-12);
  }
}

TEST(Tube, TangentAlongYUsesTheIdentityFrame) {
  Tstroke3D_tube t(0.5);
  t.points = {{1, 0, 2}, {1, 3, 2}};
  t.updateTube();
  for (int s = 0; s < t.sides; ++s) {
    EXPECT_NEAR(t.ringVerts[0][s][1], 0.0, 1e-12);  // in the x-z plane
    const double th = 2 * 3.14159265358979323846 * s / 5;
    EXPECT_NEAR(t.ringVerts[0][s][0], 1 + 0.5 * std::cos(th), 1e-12);
    EXPECT_NEAR(t.ringVerts[0][s][2], 2 + 0.5 * std::sin(th), 1e-12);
  }
  // Downward along -y at later stations: a half turn, rings still of the radius.
  Tstroke3D_tube d(0.5);
  d.points = {{0, 0, 0}, {0, -1, 0}, {0, -2, 0}};
  d.updateTube();
  for (const TPoints& ring : d.ringVerts)
    for (const TVec3& p : ring) EXPECT_NEAR(std::hypot(p[0], p[2]), 0.5, 1e-12);
}

TEST(Tube, ClearCopyAndShortStrokes) {
  Tstroke3D_tube t(0.3);
  t.sides = 9;
  t.points = {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}};
  t.updateTube();
  // Copies rebuild their rings from the copied points, sides and radius.
  Tstroke3D_tube c(t);
  EXPECT_EQ(c.sides, 9);
  EXPECT_EQ(c.radius, 0.3);
  ASSERT_EQ(c.ringVerts.size(), 3u);
  EXPECT_EQ(c.ringVerts, t.ringVerts);
  // A stroke reduced to one point keeps its old rings.
  const auto old = t.ringVerts;
  t.points.resize(1);
  t.updateTube();
  EXPECT_EQ(t.ringVerts, old);
  // clear through the base class empties points and rings, not sides or radius.
  Tstroke3D& base = t;
  base.clear();
  EXPECT_TRUE(t.points.empty());
  EXPECT_TRUE(t.ringVerts.empty());
  EXPECT_TRUE(t.ringNormals.empty());
  EXPECT_EQ(t.sides, 9);
  EXPECT_EQ(t.radius, 0.3);
}

}  // namespace
