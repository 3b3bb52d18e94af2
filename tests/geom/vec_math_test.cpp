// Vector, polyline, angle and matrix routines.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geom/matrix3.h"
#include "geom/vec3.h"

namespace {

void apply4(const double m[16], const double p[3], double out[3]) {
  for (int r = 0; r < 3; ++r) out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
}

TEST(VecTest, NormalizeZeroIsRefusedAndUntouched) {
  double v[3] = {0, 0, 0};
  EXPECT_FALSE(t_normalize3(v));
  EXPECT_EQ(v[0], 0.0);
  EXPECT_EQ(v[2], 0.0);
  double w[3] = {3, 0, 4};
  EXPECT_TRUE(t_normalize3(w));
  EXPECT_DOUBLE_EQ(w[0], 0.6);
  EXPECT_DOUBLE_EQ(w[2], 0.8);
}

TEST(VecTest, PointInLoopByWinding) {
  const TPoints ccw = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  const TPoints cw(ccw.rbegin(), ccw.rend());
  const double in[3] = {0.5, 0.5, 0}, out[3] = {2, 0.5, 0};
  double sum;
  EXPECT_TRUE(t_isPointInLoop(in, ccw, sum));
  EXPECT_NEAR(sum, 2 * M_PI, 1e-9);
  EXPECT_FALSE(t_isPointInLoop(out, ccw, sum));
  EXPECT_NEAR(sum, 0.0, 1e-9);
  EXPECT_TRUE(t_isPointInLoop(in, cw, sum));
  EXPECT_NEAR(sum, -2 * M_PI, 1e-9);
}

TEST(VecTest, ResamplePolyline) {
  TPoints out;
  t_resamplePolyline(4, {{0, 0, 0}, {4, 0, 0}}, out);
  ASSERT_EQ(out.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(out[i][0], i, 1e-12);

  // A bent polyline: equal arc length spacing along both legs.
  t_resamplePolyline(4, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}}, out);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_NEAR(out[1][0], 1.0, 1e-12);
  EXPECT_NEAR(out[2][0], 2.0, 1e-12);
  EXPECT_NEAR(out[3][1], 1.0, 1e-12);
  EXPECT_NEAR(out[4][1], 2.0, 1e-12);

  TPoints single;
  t_resamplePolyline(4, {{3, 3, 3}}, single);
  ASSERT_EQ(single.size(), 5u);
  EXPECT_EQ(single[4], TVec3(0, 0, 0));

  // A negative count gives no points (and must not walk for ever).
  t_resamplePolyline(-2, {{0, 0, 0}, {4, 0, 0}}, out);
  EXPECT_TRUE(out.empty());
}

TEST(VecTest, ClosestPointOnPolyline) {
  const TPoints pl = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 2, 0}};
  double q[3], d2, t = -1, s = -1;
  int i0 = -1, i1 = -1;
  const double beyond[3] = {1, 5, 0};
  ASSERT_TRUE(t_closestPointOnPolyline(beyond, pl, q, d2, i0, i1, t, s));
  EXPECT_EQ(i0, 2);
  EXPECT_EQ(i1, 3);
  EXPECT_DOUBLE_EQ(t, 1.0);
  EXPECT_DOUBLE_EQ(s, 3.0);  // the zero-length segment adds nothing
  EXPECT_DOUBLE_EQ(d2, 9.0);
  const double mid[3] = {0.25, -1, 0};
  ASSERT_TRUE(t_closestPointOnPolyline(mid, pl, q, d2, i0, i1, t, s));
  EXPECT_EQ(i0, 0);
  EXPECT_DOUBLE_EQ(s, 0.25);
  EXPECT_FALSE(t_closestPointOnPolyline(mid, TPoints{{0, 0, 0}}, q, d2, i0, i1, t, s));
}

TEST(VecTest, NearestPointFirstOfEqualsWins) {
  const double pts[3][3] = {{1, 0, 0}, {-1, 0, 0}, {5, 5, 5}};
  const double p[3] = {0, 0, 0};
  int idx;
  double d2;
  t_nearestPointIndex(3, pts, p, idx, d2);
  EXPECT_EQ(idx, 0);
  EXPECT_DOUBLE_EQ(d2, 1.0);
  double d;
  t_nearestPointInVector(p, TPoints{}, idx, d);
  EXPECT_EQ(idx, -1);
  EXPECT_EQ(d, 1e9);
}

TEST(VecTest, BBoxOverlapTouchingCountsAsSeparated) {
  const double a0[2] = {0, 0}, a1[2] = {1, 1}, b0[2] = {1, 0}, b1[2] = {2, 1}, c0[2] = {0.5, 0}, c1[2] = {2, 1};
  EXPECT_FALSE(t_segmentsBBoxOverlap(a0, a1, b0, b1));
  EXPECT_TRUE(t_segmentsBBoxOverlap(a0, a1, c0, c1));
}

TEST(VecTest, CrossPoint2DKeepsFirstCrossingPerSegment) {
  // A zig-zag stroke crossing the side x = 1 of the square (B segment 0) twice.
  const TPoints A = {{0.5, 0.2, 0}, {1.5, 0.4, 0}, {0.5, 0.6, 0}};
  const TPoints B = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 0}};
  std::vector<std::pair<int, double>> out;
  testing::internal::CaptureStderr();
  t_crossPoint2D(A, B, true, out);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].first, 0);
  EXPECT_NEAR(out[0].second, 0.3, 1e-12);
  EXPECT_EQ(err, "here is a strange crossPoint");
}

TEST(VecTest, SignedAngles) {
  const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1}, zero[3] = {0, 0, 5};
  EXPECT_NEAR(t_signedAngle(x, y), M_PI / 2, 1e-12);
  EXPECT_NEAR(t_signedAngle(y, x), -M_PI / 2, 1e-12);
  EXPECT_EQ(t_signedAngle(x, zero), 0.0);
  double mz[3] = {0, 0, -1};
  EXPECT_NEAR(t_signedAngleAxis(x, y, mz), -M_PI / 2, 1e-12);
  EXPECT_NEAR(t_signedAngleAxis(x, y, z), M_PI / 2, 1e-12);
}

TEST(VecTest, DistancesAndBarycentric) {
  const double p[3] = {1, 2, 0}, a[3] = {0, 0, 0}, d[3] = {2, 0, 0};
  EXPECT_DOUBLE_EQ(t_distPointLine(p, a, d), 2.0);
  EXPECT_DOUBLE_EQ(t_distPointToLineSq(p, a, d), 4.0);
  const double s0[2] = {0, 0}, s1[2] = {1, 0}, q[2] = {2, 1};
  EXPECT_DOUBLE_EQ(t_distPointSegment2D(q, s0, s1), std::sqrt(2.0));

  bool on;
  const double r0[3] = {0, 0, 0}, r1[3] = {0, 0, 1}, b0[3] = {1, -1, 5}, b1[3] = {1, 1, 5};
  EXPECT_NEAR(t_distRaySegment(r0, r1, b0, b1, on), 1.0, 1e-12);
  EXPECT_TRUE(on);
  const double b2[3] = {1, 1, 5}, b3[3] = {1, 3, 5};
  EXPECT_NEAR(t_distRaySegment(r0, r1, b2, b3, on), 1.0, 1e-12);
  EXPECT_FALSE(on);

  const double A[3] = {0, 0, 0}, B[3] = {1, 0, 0}, C[3] = {0, 1, 0}, P[3] = {0.25, 0.5, 3};
  double w[3];
  ASSERT_TRUE(t_barycentricCoords(P, A, B, C, w));
  EXPECT_NEAR(w[0], 0.25, 1e-9);
  EXPECT_NEAR(w[1], 0.25, 1e-9);
  EXPECT_NEAR(w[2], 0.5, 1e-9);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(t_barycentricCoords(P, A, A, A, w));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "error1111222\n");
}

TEST(MatrixTest, RotationBetweenVectors) {
  double a[3] = {2, 0, 0}, b[3] = {0, 3, 0}, m[16];
  ASSERT_TRUE(t_rotMatBetweenVectors(m, a, b));
  EXPECT_DOUBLE_EQ(a[0], 1.0);  // normalised in place
  EXPECT_DOUBLE_EQ(b[1], 1.0);
  const double x[3] = {1, 0, 0};
  double r[3];
  apply4(m, x, r);
  EXPECT_NEAR(r[0], 0.0, 1e-12);
  EXPECT_NEAR(r[1], 1.0, 1e-12);

  // Opposite vectors: a half-turn that maps a onto -a and keeps lengths.
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int rep = 0; rep < 20; ++rep) {
    double v[3] = {u(rng), u(rng), u(rng)};
    if (rep == 0) v[0] = 1, v[1] = 0, v[2] = 0;
    double w[3] = {-v[0], -v[1], -v[2]};
    ASSERT_TRUE(t_rotMatBetweenVectors(m, v, w));
    apply4(m, v, r);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r[k], w[k], 1e-12);
    double det3[9];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) det3[3 * i + j] = m[4 * j + i];
    EXPECT_NEAR(t_det(det3, 3), 1.0, 1e-12);
  }
  // Opposite vectors of different lengths: after normalisation a x b is rounding noise,
  // not an axis; the result must still take a onto b.
  for (int rep = 0; rep < 200; ++rep) {
    const double k = 0.1 + 10.0 * (u(rng) + 1.0);
    double v[3] = {u(rng), u(rng), u(rng)};
    double w[3] = {-k * v[0], -k * v[1], -k * v[2]};
    t_rotMatBetweenVectors(m, v, w);
    apply4(m, v, r);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(r[c], w[c], 1e-7) << rep;
  }
}

TEST(MatrixTest, AxisAngleAndInverses) {
  const double axis[3] = {0, 0, 2};
  double m[16];
  ASSERT_TRUE(t_rotMatFromAxisAngle(m, axis, 0.0, 1.0));
  const double x[3] = {1, 0, 0};
  double r[3];
  apply4(m, x, r);
  EXPECT_NEAR(r[1], 1.0, 1e-12);
  const double none[3] = {0, 0, 0};
  EXPECT_FALSE(t_rotMatFromAxisAngle(m, none, 0.5, 0.5));
  EXPECT_EQ(m[0], 1.0);

  double tiny[16] = {1e-3, 0, 0, 0, 0, 1e-3, 0, 0, 0, 0, 1e-3, 0, 0, 0, 0, 1e-3};
  double keep[16];
  std::copy(tiny, tiny + 16, keep);
  EXPECT_FALSE(t_inverse4x4(tiny));  // determinant 1e-12
  for (int i = 0; i < 16; ++i) EXPECT_EQ(tiny[i], keep[i]);

  double g[16] = {2, 1, 0, 0, 0, 3, 1, 0, 1, 0, 4, 0, 5, 6, 7, 1};
  double inv[16];
  std::copy(g, g + 16, inv);
  ASSERT_TRUE(t_inverse4x4(inv));
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += g[4 * i + k] * inv[4 * k + j];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12);
    }
  double m3[9] = {2, 0, 1, 1, 3, 0, 0, 1, 4}, i3[9];
  std::copy(m3, m3 + 9, i3);
  ASSERT_TRUE(t_inverse3x3(i3));
  double prod[9];
  t_mul3x3(prod, m3, i3);  // i3 * m3
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(prod[i], i % 4 == 0 ? 1.0 : 0.0, 1e-12);
  double m2[4] = {1, 2, 3, 4};
  ASSERT_TRUE(t_inverse2x2(m2));
  EXPECT_DOUBLE_EQ(m2[0], -2.0);
  EXPECT_DOUBLE_EQ(m2[3], -0.5);
  EXPECT_NEAR(t_det(g, 4), 2 * 12 - 1 * (-1), 1e-12);  // expansion along the first column
}

TEST(MatrixTest, JacobiAndFits) {
  double D[9] = {3, 0, 0, 0, 1, 0, 0, 0, 2}, V[9];
  t_jacobiEigen3(D, V, 1e-9, 50);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(V[i], i % 4 == 0 ? 1.0 : 0.0);

  double A[9] = {4, 1, 2, 1, 3, 0, 2, 0, 5}, A0[9];
  std::copy(A, A + 9, A0);
  t_jacobiEigen3(A, V, 1e-12, 100);
  for (int e = 0; e < 3; ++e) {  // A0 v = lambda v for every row v of V
    for (int r = 0; r < 3; ++r) {
      const double av = A0[3 * r] * V[3 * e] + A0[3 * r + 1] * V[3 * e + 1] + A0[3 * r + 2] * V[3 * e + 2];
      EXPECT_NEAR(av, A[4 * e] * V[3 * e + r], 1e-6);
    }
  }

  // Points spread mostly along x, then y, nearly flat in z.
  TPoints pts;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i < 200; ++i) pts.emplace_back(5 * u(rng), 2 * u(rng), 0.01 * u(rng));
  double e1[3], e2[3], e3[3];
  t_fitPlanePCA(pts, e1, e2, e3);
  EXPECT_GT(std::fabs(e1[0]), 0.99);
  EXPECT_GT(std::fabs(e2[1]), 0.99);
  EXPECT_GT(std::fabs(e3[2]), 0.99);

  // A rotation times a symmetric positive stretch: the fit recovers the rotation.
  double rot[16];
  const double ax[3] = {1, 2, 3};
  t_rotMatFromAxisAngle(rot, ax, std::cos(0.7), std::sin(0.7));
  double R[9], S[9] = {2, 0.1, 0, 0.1, 1.5, 0.2, 0, 0.2, 1}, M[9], fit[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) R[3 * i + j] = rot[4 * j + i];
  t_mul3x3(M, R, S);  // S * R: polar form P R with P symmetric
  t_fitRotation(M, fit);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(fit[i], R[i], 1e-3);
}

}  // namespace
