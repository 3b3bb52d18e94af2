// Smoothing, picking, nearest-point queries and the clipping surface.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "geom/ClipSurface.h"
#include "geom/TTriangleMesh.h"
#include "mesh_shapes.h"

namespace {

TTriangleMesh makeIcosphere(int level, double r) {
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::icosphere(level, r, V, T);
  TTriangleMesh m;
  m.initFromVertsPolys(V, T);
  return m;
}

double radiusSpread(const TTriangleMesh& m, double& mean) {
  double lo = DBL_MAX, hi = 0, sum = 0;
  for (const TVec3& p : m.verts) {
    const double r = t_length3(p);
    lo = std::min(lo, r);
    hi = std::max(hi, r);
    sum += r;
  }
  mean = sum / m.vertexCount;
  return hi - lo;
}

TEST(MeshSmoothTest, ZeroPassesOnlyRecomputeNormals) {
  TTriangleMesh m = makeIcosphere(2, 1.0);
  const std::vector<TVec3> before = m.verts;
  for (TVec3& n : m.vertNormals) n.set(0, 0, 0);
  m.smoothUmbrella(0);
  EXPECT_EQ(m.verts, before);
  EXPECT_NEAR(t_length3(m.vertNormals[5]), 1.0, 1e-12);
  for (TVec3& n : m.vertNormals) n.set(0, 0, 0);
  m.smoothTangential(0);
  EXPECT_NEAR(t_length3(m.vertNormals[5]), 1.0, 1e-12);
  for (TVec3& n : m.vertNormals) n.set(0, 0, 0);
  testing::internal::CaptureStderr();
  m.smoothLM(0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "smoothing LM diff verts=162 edges = 480 polys = 320");
  EXPECT_EQ(m.verts, before);
  EXPECT_NEAR(t_length3(m.vertNormals[5]), 1.0, 1e-12);
}

TEST(MeshSmoothTest, UmbrellaShrinksLMKeepsTheRadius) {
  TTriangleMesh a = makeIcosphere(3, 1.0);
  TTriangleMesh b(a);
  const double v0 = meshtest::volume(a);
  a.smoothUmbrella(5);
  testing::internal::CaptureStderr();
  b.smoothLM(5);
  testing::internal::GetCapturedStderr();
  double meanA, meanB;
  radiusSpread(a, meanA);
  const double spreadB = radiusSpread(b, meanB);
  EXPECT_LT(meanA, 0.995);       // umbrella pulls every vertex inwards
  EXPECT_GT(meanA, 0.9);         // ... but only by a bounded amount
  EXPECT_NEAR(meanB, 1.0, 2e-3);  // LM keeps the vertices on the sphere
  EXPECT_LT(spreadB, 0.01);
  EXPECT_LT(meshtest::volume(a), v0);
  EXPECT_GT(meshtest::volume(a), 0.8 * v0);
  EXPECT_EQ(a.vertexCount, b.vertexCount);
  EXPECT_TRUE(a.checkTopology());
}

TEST(MeshSmoothTest, FlatGridCases) {
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::grid(6, 6, V, T);
  // Regular but with the diagonal split, interior vertices sit at their ring centroid
  // only in x and y; perturb z to give the smoothing something to do.
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-0.2, 0.2);
  TTriangleMesh flat;
  ASSERT_TRUE(flat.initFromVertsPolys(V, T));
  TTriangleMesh t(flat);
  t.smoothTangential(3);
  for (const TVec3& p : t.verts) EXPECT_NEAR(p[2], 0.0, 1e-12);
  // Every interior vertex of the flat grid already sits at its ring centroid.
  TTriangleMesh still(flat);
  testing::internal::CaptureStderr();
  still.smoothLM(3);
  testing::internal::GetCapturedStderr();
  for (int i = 0; i < still.vertexCount; ++i)
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(still.verts[i][k], flat.verts[i][k], 1e-12);

  for (TVec3& p : V) p[2] = u(rng);
  TTriangleMesh lm;
  ASSERT_TRUE(lm.initFromVertsPolys(V, T));
  const std::vector<TVec3> before = lm.verts;
  testing::internal::CaptureStderr();
  lm.smoothLM(4);
  testing::internal::GetCapturedStderr();
  int moved = 0;
  for (const TMeshEdge& e : lm.edges)
    if (e.isBoundary()) {
      EXPECT_EQ(lm.verts[e.vert0], before[e.vert0]);
      EXPECT_EQ(lm.verts[e.vert1], before[e.vert1]);
    }
  for (int i = 0; i < lm.vertexCount; ++i) moved += lm.verts[i] != before[i];
  EXPECT_EQ(moved, 25);  // the 5 x 5 interior vertices
}

TEST(MeshSmoothTest, OutwardAndSharpEdgeVariants) {
  TTriangleMesh s = makeIcosphere(2, 1.0);
  const std::vector<TVec3> before = s.verts;
  s.smoothOutward();  // convex with outward normals: every centroid lies inside
  EXPECT_EQ(s.verts, before);

  TTriangleMesh box;
  box.initBox(1, 1, 1);
  const std::vector<TVec3> boxBefore = box.verts;
  testing::internal::CaptureStderr();
  box.smoothLM2(-2.0);
  EXPECT_EQ(box.verts, boxBefore);
  box.smoothLM2(2.0);
  testing::internal::GetCapturedStderr();
  for (int i = 0; i < 8; ++i) EXPECT_NE(box.verts[i], boxBefore[i]);
}

TEST(MeshPickTest, RaysOnASphere) {
  TTriangleMesh s = makeIcosphere(3, 1.0);
  const double o[3] = {0.05, 0.03, 5}, d[3] = {0, 0, -2};
  int poly;
  double hit[3];
  ASSERT_TRUE(TTriangleMesh::pickByRay(o, d, s, poly, hit, 1));
  EXPECT_NEAR(hit[2], 1.0, 0.02);
  EXPECT_GE(poly, 0);
  ASSERT_TRUE(TTriangleMesh::pickByRay(o, d, s, poly, hit, 2));
  EXPECT_NEAR(hit[2], -1.0, 0.02);
  ASSERT_TRUE(TTriangleMesh::pickByRay(o, d, s, poly, hit, 0));
  EXPECT_GT(hit[2], 0.9);  // nearest of both

  const double inside[3] = {0, 0, 0};
  EXPECT_FALSE(TTriangleMesh::pickByRay(inside, d, s, poly, hit, 1));
  EXPECT_EQ(poly, -1);
  ASSERT_TRUE(TTriangleMesh::pickByRay(inside, d, s, poly, hit, 2));
  EXPECT_NEAR(hit[2], -1.0, 0.02);

  const double miss[3] = {3, 0, 5};
  EXPECT_FALSE(TTriangleMesh::pickByRay(miss, d, s, poly, hit, 0));
  EXPECT_EQ(poly, -1);
}

TEST(MeshPickTest, SharedEdgeAndSegmentEnd) {
  TTriangleMesh m;
  m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
  const double o[3] = {0.5, 0.5, 1}, d[3] = {0, 0, -1};
  int poly;
  double hit[3];
  ASSERT_TRUE(TTriangleMesh::pickByRay(o, d, m, poly, hit, 0));
  EXPECT_EQ(poly, 0);  // on the diagonal both accept; the lower index wins

  const double p[3] = {0.7, 0.2, 1}, shortEnd[3] = {0.7, 0.2, 0.5}, longEnd[3] = {0.7, 0.2, -1};
  double t = -1;
  poly = -7;
  EXPECT_FALSE(TTriangleMesh::intersectRay(p, shortEnd, m, poly, hit, t));
  EXPECT_EQ(poly, -7);
  ASSERT_TRUE(TTriangleMesh::intersectRay(p, longEnd, m, poly, hit, t));
  EXPECT_DOUBLE_EQ(t, 0.5);
  EXPECT_EQ(poly, 0);
}

// Independent closest point on a triangle (region tests on the barycentric plane).
void closestOnTriangle(const double p[3], const double a[3], const double b[3], const double c[3], double out[3]) {
  double ab[3], ac[3], ap[3];
  t_sub3(b, a, ab);
  t_sub3(c, a, ac);
  t_sub3(p, a, ap);
  const double d1 = t_dot3(ab, ap), d2 = t_dot3(ac, ap);
  auto set = [&](const double* q) { out[0] = q[0], out[1] = q[1], out[2] = q[2]; };
  if (d1 <= 0 && d2 <= 0) return set(a);
  double bp[3];
  t_sub3(p, b, bp);
  const double d3 = t_dot3(ab, bp), d4 = t_dot3(ac, bp);
  if (d3 >= 0 && d4 <= d3) return set(b);
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) {
    const double v = d1 / (d1 - d3);
    for (int k = 0; k < 3; ++k) out[k] = a[k] + v * ab[k];
    return;
  }
  double cp[3];
  t_sub3(p, c, cp);
  const double d5 = t_dot3(ab, cp), d6 = t_dot3(ac, cp);
  if (d6 >= 0 && d5 <= d6) return set(c);
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) {
    const double w = d2 / (d2 - d6);
    for (int k = 0; k < 3; ++k) out[k] = a[k] + w * ac[k];
    return;
  }
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
    const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
    for (int k = 0; k < 3; ++k) out[k] = b[k] + w * (c[k] - b[k]);
    return;
  }
  const double den = 1.0 / (va + vb + vc);
  const double v = vb * den, w = vc * den;
  for (int k = 0; k < 3; ++k) out[k] = a[k] + ab[k] * v + ac[k] * w;
}

TEST(MeshQueryTest, DistanceToPointMatchesBruteForce) {
  TTriangleMesh shapes[2];
  shapes[0] = makeIcosphere(1, 1.0);
  shapes[1].initBox(1, 2, 0.5);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1.5, 2.5);
  for (const TTriangleMesh& m : shapes) {
    for (int rep = 0; rep < 300; ++rep) {
      const double x[3] = {u(rng), u(rng), u(rng)};
      double best = DBL_MAX;
      for (const TPolyIdx& t : m.polys) {
        double q[3];
        closestOnTriangle(x, m.verts[t[0]], m.verts[t[1]], m.verts[t[2]], q);
        best = std::min(best, t_dist3(q, x));
      }
      double out[3];
      const double d = m.distanceToPoint(x, out);
      EXPECT_NEAR(d, best, 1e-9);
      EXPECT_NEAR(t_dist3(out, x), d, 1e-9);
    }
  }
  // Beside the middle of a box edge the nearest point lies inside that edge.
  TTriangleMesh box;
  box.initBox(1, 1, 1);
  const double x[3] = {1.5, 0.5, 1.5};
  double out[3];
  EXPECT_NEAR(box.distanceToPoint(x, out), std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(out[1], 0.5, 1e-12);
}

TEST(MeshQueryTest, ProjectPointAndEdgeLength) {
  TTriangleMesh m;
  m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
  const double x[3] = {0.2, 0.6, 3};
  double out[3];
  int poly = -1;
  ASSERT_TRUE(m.projectPoint(x, out, poly));
  EXPECT_EQ(poly, 1);
  EXPECT_NEAR(out[0], 0.2, 1e-9);
  EXPECT_NEAR(out[1], 0.6, 1e-9);
  EXPECT_NEAR(out[2], 0.0, 1e-9);
  const double far[3] = {5, 5, 0};
  EXPECT_FALSE(m.projectPoint(far, out, poly));
  EXPECT_NEAR(m.averageEdgeLength(), (4 + std::sqrt(2.0)) / 5, 1e-12);
  EXPECT_EQ(TTriangleMesh().averageEdgeLength(), 0.0);
}

TEST(ClipSurfaceTest, DirectionTranslateCopyAndBox) {
  ClipSurface c;
  EXPECT_EQ(c.direction[0], 0.0);
  EXPECT_FALSE(c.setFromMesh(TTriangleMesh()));
  EXPECT_EQ(c.direction[0], 0.0);
  EXPECT_EQ(c.direction[2], 0.0);

  TTriangleMesh quad;
  quad.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
  ASSERT_TRUE(c.setFromMesh(quad));
  EXPECT_DOUBLE_EQ(c.direction[2], 1.0);
  const std::vector<TVec3> before = c.verts;
  c.translate(0.0);
  EXPECT_EQ(c.verts, before);
  c.translate(0.3);
  EXPECT_DOUBLE_EQ(c.verts[2][2], 0.3);
  c.translate(-0.3);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(c.verts[i][2], 0.0, 1e-15);

  c.direction[0] = 1, c.direction[1] = 0, c.direction[2] = 0;  // set by hand
  ClipSurface copy(c);
  EXPECT_DOUBLE_EQ(copy.direction[2], 1.0);
  EXPECT_DOUBLE_EQ(copy.direction[0], 0.0);
  TTriangleMesh* asBase = &copy;
  asBase->clear();  // the derived part is reset through the base
  EXPECT_EQ(copy.direction[0], 1.0);
  EXPECT_EQ(copy.vertexCount, 0);

  double mn[3], mx[3];
  copy.getBoundingBox(mn, mx);
  EXPECT_EQ(mn[0], DBL_MAX);
  ClipSurface one;
  one.verts = {{1, 2, 3}};
  one.vertexCount = 1;
  one.getBoundingBox(mn, mx);
  EXPECT_EQ(mn[1], 2.0);
  EXPECT_EQ(mx[2], 3.0);
}

}  // namespace
