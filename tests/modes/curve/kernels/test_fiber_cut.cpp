// Fibers from cutting strokes on simple meshes, checked against the plane that a straight screen
// stroke sweeps from the eye (computed here from the camera, not from the kernels' cut).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fiber_test_scene.h"
#include "modes/curve/kernels/fiber_cut.h"

namespace {

using namespace fibertest;

// The plane swept from the eye by a straight window stroke.
struct SweptPlane {
  double n[3];
  double eye[3];
  double side(const double p[3]) const {
    double r[3];
    t_sub3(p, eye, r);
    return t_dot3(r, n);
  }
};

SweptPlane sweptPlane(const TFiberView& v, const TPoints& s) {
  SweptPlane pl;
  double a[3], b[3], da[3], db[3];
  v.unProject(s.front()[0], s.front()[1], 0.5, a);
  v.unProject(s.back()[0], s.back()[1], 0.5, b);
  t_sub3(a, v.eye, da);
  t_sub3(b, v.eye, db);
  t_cross3(da, db, pl.n);
  t_normalize3(pl.n);
  for (int k = 0; k < 3; ++k) pl.eye[k] = v.eye[k];
  return pl;
}

// Edges that the swept plane crosses within the stroke's screen extent.
int expectedCutEdges(const TTriangleMesh& m, const TFiberView& v, const TPoints& s, const SweptPlane& pl) {
  int count = 0;
  const double xmin = std::min(s.front()[0], s.back()[0]), xmax = std::max(s.front()[0], s.back()[0]);
  for (const TMeshEdge& e : m.edges) {
    const double fa = pl.side(m.verts[e.vert0]), fb = pl.side(m.verts[e.vert1]);
    if (!(fa * fb < 0)) continue;
    double x[3], w[3];
    const double u = fa / (fa - fb);
    for (int k = 0; k < 3; ++k) x[k] = m.verts[e.vert0][k] + u * (m.verts[e.vert1][k] - m.verts[e.vert0][k]);
    v.project(x, w);
    if (w[0] > xmin && w[0] < xmax) ++count;
  }
  return count;
}

void checkFibersOnMeshAndPlane(const std::vector<TFiberStroke>& fibers, const TTriangleMesh& m,
                               const SweptPlane& pl) {
  for (const TFiberStroke& f : fibers) {
    ASSERT_GE(f.points.size(), 2u);
    ASSERT_EQ(f.pointConstraint.size(), f.points.size());
    for (const TFiberConstraint& c : f.constraints) {
      const TVec3& A = m.verts[c.meshA];
      const TVec3& B = m.verts[c.meshB];
      const double len = t_dist3(A, B);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(c.w * A[k] + (1 - c.w) * B[k], c.pos[k], 1e-9);
      EXPECT_LT(std::fabs(pl.side(c.pos)), 0.02 * len) << "cut point off the swept plane";
      ASSERT_GE(c.fibA, 0);
      EXPECT_EQ(c.fibB, c.fibA + 1);
      EXPECT_LT(c.fibB, static_cast<int>(f.points.size()));
    }
  }
}

}  // namespace

TEST(FiberCut, StrokeAcrossASphereGivesOneClosedFiberOnTheSweptPlane) {
  TPoints V;
  std::vector<TPolyIdx> T;
  const double c[3] = {0, 0, 0};
  appendSphere(c, 1.0, 18, 24, V, T);
  TTriangleMesh m;
  ASSERT_TRUE(m.initFromVertsPolys(V, T));
  const TFiberView view = camera();
  const TPoints s = line(40, 203.3, 365, 198.1, 40);
  std::vector<TFiberStroke> fibers;
  ASSERT_TRUE(t_createFibersFromStroke(s, m, view, fibers));
  ASSERT_EQ(fibers.size(), 1u);
  EXPECT_TRUE(fibers[0].closed);
  const SweptPlane pl = sweptPlane(view, s);
  EXPECT_EQ(static_cast<int>(fibers[0].constraints.size()), expectedCutEdges(m, view, s, pl));
  checkFibersOnMeshAndPlane(fibers, m, pl);
  // Resampled to 0.7 of the cut points, the loop keeps the length of the cut circle.
  EXPECT_EQ(fibers[0].points.size(), static_cast<size_t>(0.7 * fibers[0].constraints.size()) + 1);
  const double circle = 2 * M_PI * std::sqrt(1.0 - std::pow(pl.side(c), 2));
  EXPECT_NEAR(fibers[0].length(), circle, 0.05 * circle);

  // A stroke that stops over the sphere leaves one open fiber with both ends near the stop.
  const TPoints half = line(40, 203.3, 200, 201.0, 30);
  ASSERT_TRUE(t_createFibersFromStroke(half, m, view, fibers));
  ASSERT_EQ(fibers.size(), 1u);
  EXPECT_FALSE(fibers[0].closed);
  const SweptPlane ph = sweptPlane(view, half);
  EXPECT_EQ(static_cast<int>(fibers[0].constraints.size()), expectedCutEdges(m, view, half, ph));
  checkFibersOnMeshAndPlane(fibers, m, ph);
}

TEST(FiberCut, CutAcrossAnOpenSheetEndsAtItsBorder) {
  // A sheet facing the camera: the walk reaches the border, where the edge has one face.
  TPoints V;
  std::vector<TPolyIdx> T;
  const int g = 10;
  for (int j = 0; j <= g; ++j)
    for (int i = 0; i <= g; ++i) V.emplace_back(-1 + 2.0 * i / g, -1 + 2.0 * j / g, 0.1 * std::sin(i + j));
  for (int j = 0; j < g; ++j)
    for (int i = 0; i < g; ++i) {
      const int a = j * (g + 1) + i;
      T.push_back({a, a + 1, a + g + 2});
      T.push_back({a, a + g + 2, a + g + 1});
    }
  TTriangleMesh m;
  ASSERT_TRUE(m.initFromVertsPolys(V, T));
  const TFiberView view = camera();
  const TPoints s = line(20, 190.7, 380, 212.2, 25);
  std::vector<TFiberStroke> fibers;
  ASSERT_TRUE(t_createFibersFromStroke(s, m, view, fibers));
  ASSERT_EQ(fibers.size(), 1u);
  EXPECT_FALSE(fibers[0].closed);
  const SweptPlane pl = sweptPlane(view, s);
  EXPECT_EQ(static_cast<int>(fibers[0].constraints.size()), expectedCutEdges(m, view, s, pl));
  checkFibersOnMeshAndPlane(fibers, m, pl);
  // Both ends lie on border edges.
  const auto& cs = fibers[0].constraints;
  for (const TFiberConstraint* c : {&cs.front(), &cs.back()}) {
    const int x0 = c->meshA % (g + 1), y0 = c->meshA / (g + 1), x1 = c->meshB % (g + 1), y1 = c->meshB / (g + 1);
    const bool border = (x0 == x1 && (x0 == 0 || x0 == g)) || (y0 == y1 && (y0 == 0 || y0 == g));
    EXPECT_TRUE(border) << c->meshA << "-" << c->meshB;
  }

  // A triangle with all three edges cut refuses the linking.
  std::vector<uint8_t> cut(m.edgeCount, 0);
  for (int k = 0; k < 3; ++k) cut[m.polyEdges[7][k]] = 1;
  std::vector<std::vector<int>> lines;
  EXPECT_FALSE(t_linkCutSegments(m, cut, lines));
}

TEST(FiberCut, ConstraintParametersSitAtTheirArcLength) {
  TPoints R;
  for (int i = 0; i < 9; ++i) R.emplace_back(std::cos(0.3 * i * i), 0.2 * i, std::sin(0.5 * i));
  const std::vector<double> u = {0.0, 0.05, 0.31, 0.32, 0.6, 0.97, 1.0};
  std::vector<TFiberConstraint> cs(u.size());
  std::vector<int> pc;
  t_setFiberConstraintParams(R, u, pc, cs);
  const double L = t_polylineLength(R);
  for (size_t k = 0; k + 1 < u.size(); ++k) {
    // Arc length of (1 - t) R[b] + t R[a] measured along R.
    double before = 0.0;
    for (int j = 0; j < cs[k].fibA; ++j) before += t_dist3(R[j], R[j + 1]);
    const double s = before + (1 - cs[k].t) * t_dist3(R[cs[k].fibA], R[cs[k].fibB]);
    EXPECT_NEAR(s, L * u[k], 1e-12) << k;
  }
  EXPECT_EQ(cs.back().fibA, 7);
  EXPECT_EQ(cs.back().t, 0.0);
  // Every interior point names the constraint nearest to it in arc parameter.
  double acc = 0.0;
  for (size_t i = 1; i + 1 < R.size(); ++i) {
    acc += t_dist3(R[i], R[i - 1]);
    const double p = acc / L;
    double best = 1e9;
    for (double x : u) best = std::min(best, std::fabs(x - p));
    EXPECT_DOUBLE_EQ(std::fabs(u[pc[i]] - p), best) << i;
  }
}

TEST(FiberCut, NestedLoopsAndCrossPointsWithStoredFibers) {
  // Two concentric spheres: one stroke gives an outer and an inner loop; the inner is nested.
  TPoints V;
  std::vector<TPolyIdx> T;
  const double c[3] = {0, 0, 0};
  appendSphere(c, 1.0, 20, 28, V, T);
  appendSphere(c, 0.5, 14, 20, V, T);
  TTriangleMesh m;
  ASSERT_TRUE(m.initFromVertsPolys(V, T));
  const TFiberView view = camera();
  const TPoints h = line(30, 201.3, 370, 198.4, 40);
  std::vector<TFiberStroke> stored;
  ASSERT_TRUE(t_createFibersFromStroke(h, m, view, stored));
  ASSERT_EQ(stored.size(), 2u);
  t_rebuildFiberTree(stored);
  const int outer = stored[0].length() > stored[1].length() ? 0 : 1, inner = 1 - outer;
  EXPECT_EQ(stored[outer].depth, 0);
  EXPECT_EQ(stored[outer].parent, -1);
  EXPECT_EQ(stored[inner].depth, 1);
  EXPECT_EQ(stored[inner].parent, outer);

  // A vertical stroke crosses both stored loops on screen, each twice (near and far side).
  const TPoints vs = line(196.6, 30, 203.1, 370, 40);
  std::vector<TFiberStroke> fresh;
  ASSERT_TRUE(t_createFibersFromStroke(vs, m, view, fresh));
  ASSERT_EQ(fresh.size(), 2u);
  std::vector<TCrossPoint> cps;
  ASSERT_TRUE(t_addFiberCrossPoints(vs, view, fresh, stored, cps));
  ASSERT_EQ(cps.size(), 4u);
  for (const TCrossPoint& cp : cps) {
    ASSERT_EQ(cp.newPairs.size(), 1u);
    ASSERT_EQ(cp.storedPairs.size(), 1u);
    TFiberStroke& nf = fresh[cp.newPairs[0].first];
    TFiberStroke& sf = stored[cp.storedPairs[0].first];
    const TVec3& a = nf.points[cp.newPairs[0].second];
    const TVec3& b = sf.points[cp.storedPairs[0].second];
    EXPECT_EQ(a, b);
    EXPECT_NE(nf.getPointFlag(cp.newPairs[0].second), 0);
    EXPECT_NE(sf.getPointFlag(cp.storedPairs[0].second), 0);
    // The joint lies where the two cut planes meet, up to the sampling of the loops.
    const SweptPlane p1 = sweptPlane(view, h), p2 = sweptPlane(view, vs);
    EXPECT_LT(std::fabs(p1.side(a)), 0.05);
    EXPECT_LT(std::fabs(p2.side(a)), 0.15);
  }
  // Crossing stored fibers with no new fiber to join fails.
  std::vector<TFiberStroke> none;
  std::vector<TCrossPoint> cps2;
  EXPECT_FALSE(t_addFiberCrossPoints(vs, view, none, stored, cps2));
}
