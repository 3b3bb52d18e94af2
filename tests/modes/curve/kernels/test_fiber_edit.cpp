// Editing fibers of a contour refinement: the surface follows moved and over-drawn fibers,
// rubbing smooths or pulls towards gradients, and erasing refuses or cuts the surface.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "fiber_test_scene.h"
#include "modes/curve/kernels/TFiberScene.h"

namespace {

using namespace fibertest;

bool closedSurface(const TTriangleMesh& m) {
  if (m.polyCount == 0) return false;
  for (const TMeshEdge& e : m.edges)
    if (e.isBoundary()) return false;
  return true;
}

void meshPoint(const TTriangleMesh& m, const TFiberConstraint& c, double out[3]) {
  for (int k = 0; k < 3; ++k) out[k] = c.w * m.verts[c.meshA][k] + (1 - c.w) * m.verts[c.meshB][k];
}

void sphereScene(TFiberScene& s, bool inner) {
  TPoints V;
  std::vector<TPolyIdx> T;
  const double c[3] = {0, 0, 0};
  appendSphere(c, 1.0, 20, 28, V, T);
  if (inner) appendSphere(c, 0.5, 12, 16, V, T);
  TTriangleMesh m;
  m.initFromVertsPolys(V, T);
  s.targetId = 3;
  s.setRegionMesh(m);
}

}  // namespace

TEST(FiberEdit, SurfaceFollowsAMovedFiberInsideTheRoiOnly) {
  TFiberScene s;
  sphereScene(s, false);
  const TFiberView view = camera();
  ASSERT_TRUE(s.createFibersAndRoiMesh(line(40, 203.3, 365, 198.1, 40), view, 8));
  ASSERT_EQ(s.newFibers.size(), 1u);
  ASSERT_FALSE(s.roiMesh.empty());
  int active = 0;
  for (const auto& c : s.newFibers[0].constraints) active += c.active;
  EXPECT_EQ(static_cast<int>(s.roiMesh.edgeConstraints.size()), active);

  const double voxel[3] = {0.05, 0.05, 0.05};
  for (int mode : {1, 2, 3}) {
    SCOPED_TRACE(mode);
    // Push the loop outwards by 8 percent, as a drag of the whole fiber would.
    for (TVec3& p : s.newFibers[0].points)
      for (int k = 0; k < 3; ++k) p[k] *= 1.08;
    s.newFibers[0].updateConstraintPositions();
    const TPoints before = s.regionMesh.verts;
    double errBefore = 0.0;
    for (const auto& c : s.newFibers[0].constraints) {
      double q[3];
      meshPoint(s.regionMesh, c, q);
      errBefore += t_dist3(q, c.pos);
    }
    ASSERT_TRUE(s.updateRoiMeshByNewFiberShape(mode, voxel));
    double errAfter = 0.0;
    for (const auto& c : s.newFibers[0].constraints) {
      double q[3];
      meshPoint(s.regionMesh, c, q);
      errAfter += t_dist3(q, c.pos);
    }
    EXPECT_LT(errAfter, 0.25 * errBefore);
    std::vector<int> roiOf(s.regionMesh.vertexCount, -1);
    for (int i = 0; i < static_cast<int>(s.roiToRegion.size()); ++i) roiOf[s.roiToRegion[i]] = i;
    for (int v = 0; v < s.regionMesh.vertexCount; ++v) {
      if (roiOf[v] < 0 || s.roiMesh.fixedFlags[roiOf[v]]) {
        EXPECT_EQ(s.regionMesh.verts[v], before[v]) << v;
      }
    }
    EXPECT_TRUE(closedSurface(s.regionMesh));
  }
}

TEST(FiberEdit, DragMovesThePointAlongTheCutAndTheSurfaceFollows) {
  TFiberScene s;
  sphereScene(s, false);
  const TFiberView view = camera();
  const TPoints stroke = line(40, 203.3, 365, 198.1, 40);
  ASSERT_TRUE(s.createFibersAndRoiMesh(stroke, view, 8));
  // The mode keeps the eye and the 3-D stroke (window points at depth 0.8) of the cut.
  for (int k = 0; k < 3; ++k) s.lastCutEye[k] = view.eye[k];
  for (const TVec3& p : stroke) {
    double w[3];
    view.unProject(p[0], p[1], 0.8, w);
    s.lastCutStroke.emplace_back(w[0], w[1], w[2]);
  }
  const double voxel[3] = {0.05, 0.05, 0.05};
  const TPoints regionBefore = s.regionMesh.verts;
  TFiberStroke& F = s.newFibers[0];
  const TPoints before = F.points;
  auto dragBy = [&](int point, double dx) {
    double w[3];
    view.project(F.points[point], w);
    EXPECT_TRUE(s.startDrag(view, w[0], w[1], 0.002));
    EXPECT_TRUE(s.dragging());
    const double mx = w[0] + dx, my = w[1] + dx * (198.1 - 203.3) / 325.0;
    s.moveDrag(view, mx, my, nullptr);
    return std::array<double, 2>{mx, my};
  };
  // The point nearest the front of the sphere moved along the stroke's line goes along the
  // surface: the drag is undone, fiber and surface stay.
  int front = 0;
  for (int i = 0; i < static_cast<int>(F.points.size()); ++i)
    if (F.points[i][2] > F.points[front][2]) front = i;
  dragBy(front, 12.0);
  EXPECT_FALSE(s.endDrag(voxel));
  EXPECT_TRUE(s.lastDragAlongSurface());
  EXPECT_FALSE(s.dragging());
  EXPECT_EQ(F.points, before);
  EXPECT_EQ(s.regionMesh.verts, regionBefore);
  // The point on the sphere's rim as seen (the stroke's right end) moved outwards along the
  // line: across the surface, which follows.
  int rim = 0;
  for (int i = 0; i < static_cast<int>(F.points.size()); ++i)
    if (F.points[i][0] > F.points[rim][0]) rim = i;
  const std::array<double, 2> m = dragBy(rim, 12.0);
  const double mx = m[0], my = m[1];
  ASSERT_TRUE(s.endDrag(voxel));
  EXPECT_FALSE(s.lastDragAlongSurface());
  EXPECT_FALSE(s.dragging());
  // The target: the cursor ray met with the plane through the picked point facing the eye.
  double o[3], d[3], n[3];
  view.cursorRay(mx, my, o, d);
  t_sub3(view.eye, view.center, n);
  t_normalize3(n);
  double rel[3];
  t_sub3(before[rim], o, rel);
  const double t = t_dot3(rel, n) / t_dot3(d, n);
  double target[3];
  for (int k = 0; k < 3; ++k) target[k] = o[k] + t * d[k];
  int picked = -1;
  double nearest = 1e9;
  for (int i = 0; i < static_cast<int>(F.points.size()); ++i)
    if (t_dist3(F.points[i], target) < nearest) {
      nearest = t_dist3(F.points[i], target);
      picked = i;
    }
  EXPECT_LT(nearest, 0.01);
  EXPECT_GT(t_dist3(before[picked], target), 0.05);
  // Points far along the loop stay (up to their projection onto the cut plane); the surface
  // moved where the constraints moved.
  const int n2 = static_cast<int>(F.points.size());
  EXPECT_LT(t_dist3(F.points[(rim + n2 / 2) % n2], before[(rim + n2 / 2) % n2]), 0.005);
  double moved = 0.0, err = 0.0;
  for (int v = 0; v < s.regionMesh.vertexCount; ++v) moved = std::max(moved, t_dist3(regionBefore[v], s.regionMesh.verts[v]));
  for (const auto& c : F.constraints) {
    double q[3];
    meshPoint(s.regionMesh, c, q);
    err = std::max(err, t_dist3(q, c.pos));
  }
  EXPECT_GT(moved, 0.03);
  EXPECT_LT(err, 0.5 * t_dist3(before[picked], target));
}

TEST(FiberEdit, OverDrawReplacesTheArcBetweenTheStrokeEnds) {
  TFiberScene s;
  const double voxel[3] = {0.05, 0.05, 0.05};
  TFiberStroke open;
  for (int i = 0; i <= 10; ++i) open.points.emplace_back(0.1 * i, 0.0, 0.0);
  open.setPointFlag(5, 1);
  s.newFibers.push_back(open);

  // Drawn backwards from near point 8 to near point 2, 0.05 above the fiber.
  TPoints stroke;
  for (int i = 0; i <= 30; ++i) stroke.emplace_back(0.81 - 0.02 * i, 0.05, 0.0);
  ASSERT_TRUE(s.overDrawFiber(stroke, voxel, nullptr));
  const TPoints& P = s.newFibers[0].points;
  for (int i = 0; i <= 10; ++i) {
    const bool replaced = i >= 2 && i < 8 && i != 5;
    EXPECT_DOUBLE_EQ(P[i][1], replaced ? 0.05 : 0.0) << i;
  }
  // Spacing follows the stroke resampled from point 2 to point 8.
  EXPECT_NEAR(P[3][0] - P[2][0], 0.6 / 6, 1e-9);

  std::string msg;
  TPoints far = stroke;
  for (TVec3& p : far) p[1] = 1.0;
  const TPoints kept = s.newFibers[0].points;
  EXPECT_FALSE(s.overDrawFiber(far, voxel, &msg));
  EXPECT_EQ(msg, "Too far. Please draw stroke closer to the existing contour");
  EXPECT_EQ(s.newFibers[0].points, kept);
  // Both ends nearest to the same point: nothing happens.
  msg.clear();
  EXPECT_FALSE(s.overDrawFiber({{0.3, 0.01, 0}, {0.31, 0.02, 0}}, voxel, &msg));
  EXPECT_TRUE(msg.empty());
}

TEST(FiberEdit, OverDrawOnAClosedFiberPicksTheArcNearTheStroke) {
  const double voxel[3] = {0.1, 0.1, 0.1};
  auto circle = [] {
    TFiberStroke f;
    f.closed = true;
    for (int i = 0; i < 12; ++i) f.points.emplace_back(std::cos(2 * M_PI * i / 12), std::sin(2 * M_PI * i / 12), 0.0);
    return f;
  };
  auto arc = [](double a0, double a1, double r) {
    TPoints s;
    for (int i = 0; i <= 40; ++i) {
      const double a = a0 + (a1 - a0) * i / 40;
      s.emplace_back(r * std::cos(a), r * std::sin(a), 0.0);
    }
    return s;
  };
  auto onRadius = [](const TVec3& p, double r) { return std::fabs(std::hypot(p[0], p[1]) - r) < 0.02; };
  // Short arc from point 2 to point 5, drawn at radius 1.1: points 2..4 move out.
  TFiberScene s;
  s.newFibers.push_back(circle());
  ASSERT_TRUE(s.overDrawFiber(arc(2 * M_PI * 2 / 12, 2 * M_PI * 5 / 12, 1.1), voxel, nullptr));
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(onRadius(s.newFibers[0].points[i], (i >= 2 && i <= 4) ? 1.1 : 1.0)) << i;
  // Long arc from point 2 the other way round to point 5: points 5..11 and 0..2 move.
  TFiberScene l;
  l.newFibers.push_back(circle());
  ASSERT_TRUE(l.overDrawFiber(arc(2 * M_PI * 2 / 12, 2 * M_PI * (5 - 12) / 12.0, 1.1), voxel, nullptr));
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(onRadius(l.newFibers[0].points[i], (i == 3 || i == 4) ? 1.0 : 1.1)) << i;
}

TEST(FiberEdit, RubSmoothsAndSnakesPullTowardsTheGradient) {
  // A sheet at z = 0.5 seen from above; the last cut's plane is y = 0.5.
  TPoints V;
  std::vector<TPolyIdx> T;
  for (int j = 0; j <= 4; ++j)
    for (int i = 0; i <= 4; ++i) V.emplace_back(0.25 * i, 0.25 * j, 0.5);
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i) {
      const int a = j * 5 + i;
      T.push_back({a, a + 1, a + 6});
      T.push_back({a, a + 6, a + 5});
    }
  TTriangleMesh sheet;
  ASSERT_TRUE(sheet.initFromVertsPolys(V, T));
  const double eye[3] = {0.45, 0.5, 5.0};
  TPoints stroke;
  for (int i = 0; i <= 10; ++i) stroke.emplace_back(0.1 * i, 0.5, 4.0);

  std::vector<TFiberStroke> fibers(1);
  TFiberStroke& F = fibers[0];
  for (int i = 0; i < 9; ++i) F.points.emplace_back(0.05 + 0.1 * i, 0.5, 0.5 + ((i % 2) ? 0.01 : 0.0));
  TFiberConstraint c;
  c.meshA = 6;
  c.meshB = 7;
  F.constraints = {c};
  F.pointConstraint.assign(9, 0);

  TFiberVolume vol;
  vol.W = vol.H = vol.D = 10;
  vol.extent[0] = vol.extent[1] = vol.extent[2] = 1.0;
  std::vector<float> grad(1000, 0.1f);
  vol.gradient = grad.data();
  // Below the threshold only the smoothing term acts.
  const TVec3 p4 = F.points[4];
  t_rubSnakes(fibers, sheet, eye, stroke, 0, 4, vol);
  for (int k = 0; k < 3; ++k) {
    const double m = 0.5 * (F.points[3][k] + F.points[5][k]) - p4[k];
    EXPECT_NEAR(F.points[4][k], p4[k] + 0.02 * m, 1e-12);
  }
  // A strong layer at voxel z = 7: of the samples z + s * 0.08, s = 3 reaches it.
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) grad[x + 10 * (y + 10 * 7)] = 1.0f;
  const TVec3 p6 = F.points[6];
  t_rubSnakes(fibers, sheet, eye, stroke, 0, 6, vol);
  const double m6 = 0.5 * (F.points[5][2] + F.points[7][2]) - p6[2];
  EXPECT_NEAR(F.points[6][2], p6[2] + 0.02 * m6 + 0.05 * 0.24, 1e-9);
  EXPECT_NEAR(F.moveVectors[6][2], 0.24, 1e-12);
  // End points and pinned points stay.
  const TVec3 end = F.points[0];
  t_rubSnakes(fibers, sheet, eye, stroke, 0, 0, vol);
  EXPECT_EQ(F.points[0], end);
  F.setPointFlag(3, 1);
  const TVec3 pinned = F.points[3];
  t_rubSnakes(fibers, sheet, eye, stroke, 0, 3, vol);
  EXPECT_EQ(F.points[3], pinned);
}

TEST(FiberEdit, EraseRefusalsInTheirOrder) {
  auto fib = [](double len, int depth, int parent) {
    TFiberStroke f;
    f.points = {{0, 0, 0}, {len, 0, 0}};
    f.depth = depth;
    f.parent = parent;
    return f;
  };
  std::string msg;
  std::vector<TCrossPoint> none;
  EXPECT_FALSE(t_checkFiberErasable(none, {fib(1, 0, -1)}, 0, &msg));
  EXPECT_EQ(msg, "cant erase single fiber\n");
  std::vector<TFiberStroke> f = {fib(3, 0, -1), fib(1, 1, 0), fib(0.5, 2, 1), fib(0.7, 1, 0)};
  EXPECT_FALSE(t_checkFiberErasable(none, f, 4, &msg));
  EXPECT_EQ(msg, "cant erase this fiber code=1\n");
  std::vector<TCrossPoint> crossed(1);
  crossed[0].newPairs = {{3, 0}};
  EXPECT_FALSE(t_checkFiberErasable(crossed, f, 3, &msg));
  EXPECT_EQ(msg, "this fiber walk across the existing fiber \n");
  EXPECT_FALSE(t_checkFiberErasable(none, f, 0, &msg));
  EXPECT_EQ(msg, "cant erase longest fiber\n");
  EXPECT_FALSE(t_checkFiberErasable(none, f, 1, &msg));
  EXPECT_EQ(msg, "this node has child fiber node");
  EXPECT_FALSE(t_checkFiberErasable(none, f, 2, &msg));
  EXPECT_EQ(msg, "cant erase too deep fiber \n");
  EXPECT_TRUE(t_checkFiberErasable(none, f, 3, &msg));

  // A refused erase leaves the scene as it was.
  TFiberScene s;
  sphereScene(s, false);
  ASSERT_TRUE(s.createFibersAndRoiMesh(line(40, 203.3, 365, 198.1, 40), camera(), 8));
  const int verts = s.regionMesh.vertexCount;
  msg.clear();
  EXPECT_FALSE(s.eraseNewFiber(0, 8, &msg));
  EXPECT_EQ(msg, "cant erase single fiber\n");
  EXPECT_EQ(s.regionMesh.vertexCount, verts);
  EXPECT_EQ(s.newFibers.size(), 1u);
}

TEST(FiberEdit, ErasingTheInnerLoopRemovesTheSurfaceItAloneHeld) {
  TFiberScene s;
  sphereScene(s, true);
  ASSERT_TRUE(s.createFibersAndRoiMesh(line(30, 201.3, 370, 198.4, 40), camera(), 8));
  ASSERT_EQ(s.newFibers.size(), 2u);
  const int inner = s.newFibers[0].depth == 1 ? 0 : 1, outer = 1 - inner;
  ASSERT_EQ(s.newFibers[inner].depth, 1);
  std::vector<int> labels;
  s.regionMesh.getConnectedComponents(labels);
  const int outerLabel = labels[s.newFibers[outer].constraints[0].meshA];
  int outerVerts = 0;
  for (int l : labels) outerVerts += l == outerLabel;
  const TFiberStroke outerBefore = s.newFibers[outer];

  std::string msg;
  ASSERT_TRUE(s.eraseNewFiber(inner, 8, &msg)) << msg;
  EXPECT_EQ(s.regionMesh.vertexCount, outerVerts);
  EXPECT_TRUE(closedSurface(s.regionMesh));
  EXPECT_EQ(static_cast<int>(s.initialPositions.size()), s.regionMesh.vertexCount);
  ASSERT_EQ(s.newFibers.size(), 1u);
  // The remaining fiber's constraints name the same points of the renumbered surface.
  ASSERT_EQ(s.newFibers[0].constraints.size(), outerBefore.constraints.size());
  for (const auto& c : s.newFibers[0].constraints) {
    double q[3];
    meshPoint(s.regionMesh, c, q);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(q[k], c.pos[k], 1e-9);
  }
  EXPECT_FALSE(s.roiMesh.empty());
  EXPECT_EQ(s.newFibers[0].depth, 0);
}

TEST(FiberEdit, ErasingAFiberThatDoesNotSplitItsSurfaceKeepsTheSurface) {
  // The stroke stops over the inner sphere: both fibers are open arcs, and cutting along the
  // inner one leaves the inner sphere in one piece.
  TFiberScene s;
  sphereScene(s, true);
  ASSERT_TRUE(s.createFibersAndRoiMesh(line(30, 201.3, 205, 200.2, 30), camera(), 8));
  ASSERT_EQ(s.newFibers.size(), 2u);
  const int inner = s.newFibers[0].length() < s.newFibers[1].length() ? 0 : 1;
  ASSERT_FALSE(s.newFibers[inner].closed);
  std::vector<int> labels;
  const int partsBefore = s.regionMesh.getConnectedComponents(labels);
  const int vertsBefore = s.regionMesh.vertexCount;
  std::string msg;
  if (s.newFibers[inner].depth != 1) GTEST_SKIP() << "the arcs did not nest";
  ASSERT_TRUE(s.eraseNewFiber(inner, 8, &msg)) << msg;
  EXPECT_EQ(s.regionMesh.getConnectedComponents(labels), partsBefore);
  EXPECT_GE(s.regionMesh.vertexCount, vertsBefore);
  EXPECT_TRUE(closedSurface(s.regionMesh));
}

TEST(FiberEdit, ErasingAStoredFiberDissolvesItsCrossPoints) {
  TFiberScene s;
  auto line3 = [](double y) {
    TFiberStroke f;
    for (int i = 0; i < 5; ++i) f.points.emplace_back(i, y, 0);
    return f;
  };
  s.storedFibers = {line3(0), line3(1), line3(2)};
  s.newFibers = {line3(3)};
  s.newFibers[0].setPointFlag(2, 1);
  s.storedFibers[1].setPointFlag(1, 1);
  s.storedFibers[2].setPointFlag(4, 1);
  TCrossPoint two;  // one new and one stored member: goes with the stored fiber
  two.newPairs = {{0, 2}};
  two.storedPairs = {{1, 1}};
  TCrossPoint three;  // three members: only the erased fiber's pair goes
  three.storedPairs = {{0, 3}, {1, 4}, {2, 4}};
  s.crossPoints = {two, three};
  s.eraseStoredFiber(1, 8);
  ASSERT_EQ(s.storedFibers.size(), 2u);
  ASSERT_EQ(s.crossPoints.size(), 1u);
  EXPECT_EQ(s.crossPoints[0].storedPairs, (std::vector<std::pair<int, int>>{{0, 3}, {1, 4}}));
  EXPECT_EQ(s.newFibers[0].getPointFlag(2), 0);
  EXPECT_EQ(s.storedFibers[1].getPointFlag(4), 1);
}
