// Edge collapse and split, remeshing, neighbourhoods and hole filling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "geom/TTriangleMesh.h"
#include "mesh_shapes.h"

namespace {

TTriangleMesh build(const std::vector<TVec3>& V, const std::vector<TPolyIdx>& T) {
  TTriangleMesh m;
  EXPECT_TRUE(m.initFromVertsPolys(V, T));
  return m;
}

TTriangleMesh icosphere(int level, double r = 1.0) {
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::icosphere(level, r, V, T);
  return build(V, T);
}

// A mesh rebuilt from its own lists must give the same answer as the edited one.
void expectSound(const TTriangleMesh& m) {
  EXPECT_TRUE(m.checkTopology());
  TTriangleMesh again;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(again.initFromVertsPolys(m.verts, m.polys));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "");
  EXPECT_EQ(again.edgeCount, m.edgeCount);
}

TEST(MeshCollapseTest, RemeshAllMovableLargeRatio) {
  TTriangleMesh m = icosphere(2);
  std::vector<uint16_t> movable(m.vertexCount, 1);
  std::vector<int> map;
  m.remeshToEdgeLength(movable, map, 100.0);
  ASSERT_EQ(map.size(), 162u);
  EXPECT_LT(m.vertexCount, 10);
  EXPECT_EQ(meshtest::euler(m), 2);
  EXPECT_EQ(meshtest::boundaryEdgeCount(m), 0);
  expectSound(m);
  for (int e = 0; e < m.edgeCount; ++e) EXPECT_FALSE(m.isCollapsible(e));
  EXPECT_EQ(static_cast<int>(std::count_if(map.begin(), map.end(), [](int i) { return i >= 0; })), m.vertexCount);
}

TEST(MeshCollapseTest, RemeshModerateRatioKeepsAClosedSurface) {
  TTriangleMesh m = icosphere(3);
  std::vector<uint16_t> movable(m.vertexCount, 1);
  std::vector<int> map;
  m.remeshToEdgeLength(movable, map, 1.0);
  EXPECT_LT(m.vertexCount, 642);
  EXPECT_GT(m.vertexCount, 100);
  EXPECT_EQ(meshtest::euler(m), 2);
  EXPECT_GT(meshtest::volume(m), 3.0);
  expectSound(m);
  EXPECT_EQ(static_cast<int>(m.rings.size()), m.vertexCount);
}

TEST(MeshCollapseTest, NothingMovableIsTheIdentity) {
  TTriangleMesh m = icosphere(1);
  const TTriangleMesh orig(m);
  std::vector<uint16_t> movable(m.vertexCount, 0);
  std::vector<int> map;
  m.remeshToEdgeLength(movable, map, 100.0);
  for (int i = 0; i < orig.vertexCount; ++i) EXPECT_EQ(map[i], i);
  EXPECT_EQ(m.polys, orig.polys);
  EXPECT_EQ(m.verts, orig.verts);
}

TEST(MeshCollapseTest, BoundAndBoundaryRules) {
  // Flat grid: every edge at a boundary vertex is refused; an interior edge is not.
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::grid(4, 4, V, T);
  TTriangleMesh g = build(V, T);
  for (int e = 0; e < g.edgeCount; ++e) {
    const TMeshEdge& E = g.edges[e];
    if (E.isBoundary()) {
      EXPECT_FALSE(g.collapseEdge(e));
    }
  }
  // The shortest edge with its two ends movable and a bound equal to its length.
  TTriangleMesh m = icosphere(1);
  const double avg = m.averageEdgeLength();
  int shortest = 0;
  for (int e = 1; e < m.edgeCount; ++e)
    if (t_dist3(m.verts[m.edges[e].vert0], m.verts[m.edges[e].vert1]) <
        t_dist3(m.verts[m.edges[shortest].vert0], m.verts[m.edges[shortest].vert1]))
      shortest = e;
  const double len = t_dist3(m.verts[m.edges[shortest].vert0], m.verts[m.edges[shortest].vert1]);
  std::vector<uint16_t> movable(m.vertexCount, 0);
  movable[m.edges[shortest].vert0] = movable[m.edges[shortest].vert1] = 1;
  std::vector<int> map;
  const int before = m.vertexCount;
  double ratio = len / avg;
  while (ratio * avg < len) ratio = std::nextafter(ratio, 10.0);
  while (ratio * avg > len) ratio = std::nextafter(ratio, 0.0);
  ASSERT_EQ(ratio * avg, len);
  m.remeshToEdgeLength(movable, map, ratio);
  EXPECT_EQ(m.vertexCount, before - 1);
  expectSound(m);
}

TEST(MeshCollapseTest, ThirdCornerOnTheBoundaryDoesNotBlock) {
  // Grid of 7 x 7 vertices (id = 7 y + x).  The edge (2,1)-(3,1) joins two interior
  // vertices; its triangle below has its third corner (2,0) on the border.
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::grid(6, 6, V, T);
  TTriangleMesh g = build(V, T);
  int e = -1;
  for (int i = 0; i < g.edgeCount; ++i)
    if (g.edges[i].vert0 == 9 && g.edges[i].vert1 == 10) e = i;
  ASSERT_GE(e, 0);
  EXPECT_TRUE(g.isCollapsible(e));
  std::vector<uint16_t> movable(g.vertexCount, 0);
  movable[9] = movable[10] = 1;
  std::vector<int> map;
  g.remeshToEdgeLength(movable, map, 100.0);
  EXPECT_EQ(g.vertexCount, 48);
  EXPECT_EQ(map[10], -1);
  expectSound(g);
}

TEST(MeshCollapseTest, DamagedOrPinchedMeshesStayConsistent) {
  // Two spheres touching in one vertex: the walk around it sees one fan only.  The
  // touching vertex has the highest index of the first sphere, so it is the end that a
  // collapse would remove.
  std::vector<TVec3> V, V2;
  std::vector<TPolyIdx> T, T2;
  meshtest::icosphere(1, 1.0, V, T);
  meshtest::icosphere(1, 1.0, V2, T2);
  const int off = static_cast<int>(V.size());
  for (const TVec3& p : V2) V.emplace_back(p[0], p[1] + 2.0, p[2]);
  for (TPolyIdx t : T2) {
    for (int k = 0; k < 3; ++k) t[k] = t[k] == 2 ? off - 1 : t[k] + off;
    T.push_back(t);
  }
  TTriangleMesh pinched = build(V, T);
  std::vector<uint16_t> movable(pinched.vertexCount, 1);
  std::vector<int> map;
  pinched.remeshToEdgeLength(movable, map, 3.0);
  EXPECT_NE(map[off - 1], -1);
  for (const TPolyIdx& t : pinched.polys)
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(t[k] >= 0 && t[k] < pinched.vertexCount);
  expectSound(pinched);

  // A triangle soup that fails the checks: collapses are refused, nothing is removed.
  std::vector<TVec3> SV;
  for (int i = 0; i < 6; ++i) SV.emplace_back(i, (i * i) % 5, i % 3);
  TTriangleMesh soup;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(soup.initFromVertsPolys(SV, {{5, 1, 3}, {0, 5, 1}, {3, 4, 5}, {4, 2, 3}, {4, 2, 5}, {5, 2, 0},
                                            {0, 4, 3}, {3, 4, 1}, {1, 5, 0}, {0, 2, 5}, {2, 4, 0}}));
  testing::internal::GetCapturedStderr();
  const std::vector<TPolyIdx> before = soup.polys;
  for (int e = 0; e < soup.edgeCount; ++e) EXPECT_FALSE(TTriangleMesh(soup).collapseEdge(e));
  std::vector<uint16_t> all(soup.vertexCount, 1);
  soup.remeshToEdgeLength(all, map, 100.0);
  EXPECT_EQ(soup.polys, before);
}

TEST(MeshSplitTest, InteriorBoundaryAndBadIndex) {
  TTriangleMesh m = icosphere(1);
  const int v = m.vertexCount, e = m.edgeCount, p = m.polyCount;
  const TMeshEdge E = m.edges[7];
  double mid[3];
  for (int k = 0; k < 3; ++k) mid[k] = 0.5 * (m.verts[E.vert0][k] + m.verts[E.vert1][k]);
  int nv = -1;
  ASSERT_TRUE(m.splitEdge(7, mid, nv));
  EXPECT_EQ(nv, v);
  EXPECT_EQ(m.vertexCount, v + 1);
  EXPECT_EQ(m.edgeCount, e + 3);
  EXPECT_EQ(m.polyCount, p + 2);
  EXPECT_EQ(m.getValence(nv), 4);
  expectSound(m);

  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::grid(2, 2, V, T);
  TTriangleMesh g = build(V, T);
  int be = -1;
  for (int i = 0; i < g.edgeCount; ++i)
    if (g.edges[i].isBoundary()) be = i;
  const double pt[3] = {0.5, 0.5, 0};
  ASSERT_TRUE(g.splitEdge(be, pt, nv));
  EXPECT_EQ(g.vertexCount, 10);
  EXPECT_EQ(g.edgeCount, 16 + 2);
  EXPECT_EQ(g.polyCount, 9);
  expectSound(g);

  testing::internal::CaptureStderr();
  EXPECT_FALSE(g.splitEdge(-1, pt, nv));
  EXPECT_FALSE(g.splitEdge(g.edgeCount, pt, nv));
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(g.vertexCount, 10);
}

TEST(MeshPartsTest, ComponentsSubmeshNeighbourhood) {
  std::vector<TVec3> V, V2;
  std::vector<TPolyIdx> T, T2;
  meshtest::icosphere(1, 1.0, V, T);
  meshtest::icosphere(1, 1.0, V2, T2);
  const int off = static_cast<int>(V.size());
  for (TVec3& p : V2) V.emplace_back(p[0] + 5, p[1], p[2]);
  for (TPolyIdx t : T2) T.push_back({t[0] + off, t[1] + off, t[2] + off});
  TTriangleMesh two = build(V, T);
  std::vector<int> labels;
  EXPECT_EQ(two.getConnectedComponents(labels), 2);
  for (int i = 0; i < two.vertexCount; ++i) EXPECT_EQ(labels[i], i < off ? 0 : 1);

  std::vector<TVec3> outV;
  std::vector<TPolyIdx> outP;
  std::vector<int> oldIdx, newIdx;
  two.extractSubmesh({0}, 0, outV, outP, oldIdx, newIdx);
  EXPECT_EQ(outV.size(), 1u);
  EXPECT_TRUE(outP.empty());
  const std::vector<int> tri = {two.polys[0][0], two.polys[0][1], two.polys[0][2]};
  two.extractSubmesh(tri, 0, outV, outP, oldIdx, newIdx);
  ASSERT_EQ(outP.size(), 1u);
  EXPECT_EQ(oldIdx[outP[0][0]], two.polys[0][0]);
  two.extractSubmesh({0}, 100, outV, outP, oldIdx, newIdx);
  EXPECT_EQ(static_cast<int>(outV.size()), off);  // the whole first sphere, nothing of the second
  EXPECT_EQ(static_cast<int>(outP.size()), static_cast<int>(T2.size()));
  EXPECT_EQ(newIdx[off], -1);

  // A strip 1 x 20: the neighbourhood of vertex 0 holds ring distances 0 to 5.
  std::vector<TVec3> SV;
  std::vector<TPolyIdx> ST;
  meshtest::grid(20, 1, SV, ST);
  TTriangleMesh strip = build(SV, ST);
  std::set<int> nb;
  strip.collectNeighbourhood(0, nb);
  // Vertex (x, 0) is id x, vertex (x, 1) is 21 + x.  With the diagonals (x, 0)-(x+1, 1)
  // both (x, 0) and (x, 1) are x ring steps from (0, 0), and (0, 1) one step.
  std::set<int> expect;
  for (int x = 0; x <= 5; ++x) expect.insert(x);
  for (int x = 0; x <= 5; ++x) expect.insert(21 + x);
  EXPECT_EQ(nb, expect);
}

TEST(MeshPatchTest, StaggeredGridOfTheUnitSquare) {
  TTriangleMesh patch;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(patch.createPatch({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 0.25));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "start pach creation\n");
  // Grid from (-1, -1) with step 0.25, rows shifted by +-s/4: the first kept point is the
  // first one of row 3 within one step of the bottom side.
  EXPECT_EQ(patch.verts[0], TVec3(0.1875, -0.25, 0));
  for (const TVec3& p : patch.verts) {
    const double row = (p[1] + 1.0) / 0.25;
    ASSERT_EQ(row, std::floor(row));
    const double shift = (static_cast<int>(row) % 2 == 0) ? 0.0625 : -0.0625;
    const double col = (p[0] + 1.0 - shift) / 0.25;
    EXPECT_EQ(col, std::floor(col));
    EXPECT_GT(p[0], -0.26);
    EXPECT_LT(p[0], 1.26);
  }
  for (const TVec3& n : patch.polyNormals) EXPECT_EQ(n[2], 1.0);  // winds with the loop
  EXPECT_EQ(patch.isValid, 1);
}

TEST(MeshPatchTest, PatchBoundaryMatchesTheLoop) {
  // Coarser and finer steps than the loop spacing make the patch boundary longer or
  // shorter than the loop: boundary collapses and splits must bring it to n exactly.
  for (int n : {10, 16, 40}) {
    for (double factor : {0.5, 1.0, 2.0}) {
      TPoints loop;
      for (int k = 0; k < n; ++k) loop.emplace_back(std::cos(2 * M_PI * k / n), std::sin(2 * M_PI * k / n), 0);
      const double step = factor * 2 * std::sin(M_PI / n);
      TTriangleMesh patch;
      std::vector<int> out;
      testing::internal::CaptureStderr();
      const bool ok = patch.fillHoleAndFair(loop, step, out);
      const std::string err = testing::internal::GetCapturedStderr();
      if (!ok) {
        // Refusing is allowed; it must be said, and the mesh left usable.
        EXPECT_NE(err.find("the patch"), std::string::npos) << n << " " << factor;
        continue;
      }
      EXPECT_EQ(static_cast<int>(out.size()), n) << n << " " << factor;
      EXPECT_EQ(meshtest::boundaryEdgeCount(patch), n);
      EXPECT_TRUE(patch.checkTopology());
      std::set<int> distinct(out.begin(), out.end());
      EXPECT_EQ(static_cast<int>(distinct.size()), n);
      // out[0] is the boundary vertex nearest to loop point 0; consecutive entries are
      // joined by boundary edges.
      for (int k = 0; k < n; ++k) {
        bool joined = false;
        for (const TMeshEdge& e : patch.edges)
          if (e.isBoundary() && ((e.vert0 == out[k] && e.vert1 == out[(k + 1) % n]) ||
                                 (e.vert1 == out[k] && e.vert0 == out[(k + 1) % n])))
            joined = true;
        EXPECT_TRUE(joined) << n << " " << factor << " " << k;
      }
    }
  }
}

TEST(MeshHoleTest, ClosedMeshIsLeftAlone) {
  TTriangleMesh m = icosphere(1);
  const TTriangleMesh orig(m);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.fillHoles(3));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "startFilling Hole\n");
  EXPECT_EQ(m.polys, orig.polys);
}

TEST(MeshHoleTest, TriangleAndFanHoles) {
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::icosphere(2, 1.0, V, T);
  // Triangular hole.
  std::vector<TPolyIdx> T3(T.begin() + 1, T.end());
  TTriangleMesh m = build(V, T3);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(m.fillHoles(T[0][1]));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "startFilling Hole\n fill hole by TRIANGLE !!!!!!!!!!!!!!!!!\nfinish Hole filling \n");
  EXPECT_EQ(m.isValid, 1);
  EXPECT_EQ(m.polyCount, static_cast<int>(T.size()));
  EXPECT_EQ(meshtest::boundaryEdgeCount(m), 0);
  EXPECT_GT(meshtest::volume(m), 4.0);

  // Hole of 5 or 6 vertices: the fan around vertex 0 (valence 5) and vertex 12 (6).
  for (int centre : {0, 12}) {
    std::vector<TPolyIdx> Th;
    for (const TPolyIdx& t : T)
      if (t[0] != centre && t[1] != centre && t[2] != centre) Th.push_back(t);
    const int n = static_cast<int>(T.size() - Th.size());
    TTriangleMesh h = build(V, Th);
    const int before = h.polyCount;
    int start = -1;
    for (const TMeshEdge& e : h.edges)
      if (e.isBoundary()) start = e.vert0;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(h.fillHoles(start));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("SINGLE POINT"), std::string::npos);
    EXPECT_EQ(h.vertexCount, static_cast<int>(V.size()) + 1);
    EXPECT_EQ(h.polyCount, before + n);
    EXPECT_EQ(h.isValid, 1);
    EXPECT_EQ(meshtest::boundaryEdgeCount(h), 0);
    EXPECT_EQ(meshtest::euler(h), 2);
    EXPECT_GT(meshtest::volume(h), 4.0);  // consistently oriented with the rest
    // The new vertex sits at the mean of the loop.
    const TVec3& c = h.verts[h.vertexCount - 1];
    double mean[3] = {0, 0, 0};
    for (int v : h.rings[h.vertexCount - 1])
      for (int k = 0; k < 3; ++k) mean[k] += h.verts[v][k] / n;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(c[k], mean[k], 1e-12);
  }
}

TEST(MeshHoleTest, PlanarPatchHole) {
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::gridCube(8, V, T);
  // Cut a disc of triangles out of the top face z = 8.
  std::vector<TPolyIdx> Th;
  for (const TPolyIdx& t : T) {
    double cx = 0, cy = 0, cz = 0;
    for (int k = 0; k < 3; ++k) cx += V[t[k]][0] / 3, cy += V[t[k]][1] / 3, cz += V[t[k]][2] / 3;
    if (cz > 7.99 && std::hypot(cx - 4, cy - 4) < 2.6) continue;
    Th.push_back(t);
  }
  TTriangleMesh m = build(V, Th);
  int start = -1;
  for (const TMeshEdge& e : m.edges)
    if (e.isBoundary()) start = e.vert0;
  std::vector<int> loop, loopEdges;
  ASSERT_TRUE(m.traceBoundaryLoop(start, loop, loopEdges));
  ASSERT_GE(loop.size(), 10u);
  const int oldVerts = m.vertexCount;
  testing::internal::CaptureStderr();
  const bool filled = m.fillHoles(start);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(filled) << err;
  EXPECT_NE(err.find(" fill hole by  PATCH !!!!!!!!!!!!!!!!!\n"), std::string::npos);
  EXPECT_EQ(m.isValid, 1);
  EXPECT_EQ(meshtest::boundaryEdgeCount(m), 0);
  EXPECT_EQ(meshtest::euler(m), 2);
  EXPECT_NEAR(meshtest::volume(m), 512.0, 1e-6);
  EXPECT_GT(m.vertexCount, oldVerts);
  for (int v = oldVerts; v < m.vertexCount; ++v) EXPECT_NEAR(m.verts[v][2], 8.0, 1e-9);
  // The loop vertices of the mesh itself close the hole: no vertex was added on the rim.
  for (int v : loop) EXPECT_FALSE(m.isBoundaryVertex(v));
}

TEST(MeshHoleTest, CurvedPatchHolesAreClosed) {
  for (double radius : {0.45, 0.6, 0.75}) {
    std::vector<TVec3> V;
    std::vector<TPolyIdx> T;
    meshtest::icosphere(3, 1.0, V, T);
    std::vector<TPolyIdx> Th;
    for (const TPolyIdx& t : T) {
      double cz = 0, cx = 0, cy = 0;
      for (int k = 0; k < 3; ++k) cx += V[t[k]][0] / 3, cy += V[t[k]][1] / 3, cz += V[t[k]][2] / 3;
      if (cz > 0 && std::hypot(cx, cy) < radius) continue;
      Th.push_back(t);
    }
    TTriangleMesh m = build(V, Th);
    int start = -1;
    for (const TMeshEdge& e : m.edges)
      if (e.isBoundary()) start = e.vert0;
    std::vector<int> loop, le;
    ASSERT_TRUE(m.traceBoundaryLoop(start, loop, le));
    ASSERT_GE(loop.size(), 10u) << radius;
    testing::internal::CaptureStderr();
    const bool filled = m.fillHoles(start);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(filled) << radius << "\n" << err;
    EXPECT_EQ(m.isValid, 1) << radius;
    EXPECT_EQ(meshtest::boundaryEdgeCount(m), 0) << radius;
    EXPECT_EQ(meshtest::euler(m), 2) << radius;
    EXPECT_GT(meshtest::volume(m), 3.5) << radius;
  }
}

TEST(MeshHoleTest, TwoHolesMeetingInOneVertexAreRefused) {
  // Two triangles of a grid removed so that their holes touch at one vertex.
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::grid(4, 4, V, T);
  // Squares (1,1) and (2,2) meet at vertex (2,2) = id 12; remove both halves of each.
  std::vector<TPolyIdx> Th;
  for (size_t i = 0; i < T.size(); ++i) {
    const int sq = static_cast<int>(i / 2), x = sq % 4, y = sq / 4;
    if ((x == 1 && y == 1) || (x == 2 && y == 2)) continue;
    Th.push_back(T[i]);
  }
  TTriangleMesh m;
  testing::internal::CaptureStderr();
  m.initFromVertsPolys(V, Th);  // the shared vertex has four boundary edges
  testing::internal::GetCapturedStderr();
  const TTriangleMesh orig(m);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.fillHoles(7));  // vertex (2,1) lies on the first hole
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("strange ! 789asfd21\n"), std::string::npos);
  EXPECT_EQ(m.polys, orig.polys);
}

}  // namespace
