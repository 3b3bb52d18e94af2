// Construction, topology checks, rings, shapes and writers of TTriangleMesh.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "geom/TTriangleMesh.h"
#include "mesh_shapes.h"

namespace {

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

std::string tempPath(const char* name) {
  const char* dir = getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/kestrin_mesh_" + std::to_string(getpid()) + "_" + name;
}

TEST(MeshBuildTest, TwoTrianglesEdgeOrderAndLinks) {
  TTriangleMesh m;
  ASSERT_TRUE(m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}));
  ASSERT_EQ(m.edgeCount, 5);
  const int expect[5][2] = {{0, 1}, {1, 2}, {0, 2}, {2, 3}, {0, 3}};
  for (int e = 0; e < 5; ++e) {
    EXPECT_EQ(m.edges[e].vert0, expect[e][0]);
    EXPECT_EQ(m.edges[e].vert1, expect[e][1]);
  }
  EXPECT_EQ(m.edges[2].polyA, 1);
  EXPECT_EQ(m.edges[2].polyB, 0);
  EXPECT_EQ(m.isValid, 1);
  for (int v = 0; v < 4; ++v) EXPECT_TRUE(m.isBoundaryVertex(v));
  EXPECT_TRUE(m.checkTopology());
  // The fan of vertex 0 is contiguous and in winding order.
  std::vector<int> fan;
  m.getRingPolys(0, fan);
  EXPECT_EQ(fan, (std::vector<int>{0, 1}));
}

TEST(MeshBuildTest, NonManifoldInputIsReported) {
  TTriangleMesh m;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {-1, 0, 0}, {-1, -1, 0}},
                                    {{0, 1, 2}, {0, 3, 4}}));  // bow tie at vertex 0
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "this mesh has one or more viertices that connected to more than 2 boundary edges\n");
  EXPECT_EQ(m.isValid, 0);
  EXPECT_TRUE(m.rings.empty());

  // Three triangles on one edge: the third must not take over the first one's side.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
                                    {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "this mesh has one or more viertices that connected to more than 2 boundary edges\n");
  EXPECT_EQ(m.edges[0].polyA, 0);
  EXPECT_EQ(m.edges[0].polyB, 1);
  EXPECT_EQ(m.edges[0].wingA1, m.polyEdges[0][1]);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.checkTopology());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "edge[0] is referred from 3 polygons!\n");

  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 1}}));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "wrong #52 0    2 1 2 1\nthis mesh has strange polygon structure \n");
}

TEST(MeshBuildTest, TurnedOverTriangleIsRefused) {
  // The box with its first triangle turned over: three edges whose two triangles run them the
  // same way.  The first triangle keeps its links; triangle 1 is the first one left out.
  TTriangleMesh box;
  box.initBox(1, 1, 1);
  std::vector<TPolyIdx> t = box.polys;
  std::swap(t[0][1], t[0][2]);
  TTriangleMesh m;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.initFromVertsPolys(box.verts, t));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("polygon 1 is not linked into its edge ", 0), 0u) << err;
  EXPECT_NE(err.find("this mesh has strange polygon structure"), std::string::npos) << err;
  EXPECT_EQ(m.isValid, 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.checkTopology());
  testing::internal::GetCapturedStderr();
}

TEST(MeshBuildTest, BadIndicesAreRefusedWithoutTouchingMemory) {
  TTriangleMesh m;
  m.initBox(1, 1, 1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 3}}));
  EXPECT_FALSE(m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{-1, 1, 2}}));
  EXPECT_FALSE(m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 1}}));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("vertex 3"), std::string::npos);
  EXPECT_NE(err.find("vertex -1"), std::string::npos);
  EXPECT_EQ(m.isValid, 0);
  EXPECT_EQ(m.polyCount, 0);
  EXPECT_EQ(m.vertexCount, 0);
}

TEST(MeshBuildTest, DegenerateTriangleHasZeroNormal) {
  TTriangleMesh m;
  m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 3, 1}});
  EXPECT_EQ(m.polyNormals[0], TVec3(0, 0, 0));
  EXPECT_NEAR(m.vertNormals[0][2], -1.0, 1e-12);
  EXPECT_EQ(m.vertNormals[2], TVec3(0, 0, 0));
}

TEST(MeshShapesTest, SphereAndBox) {
  TTriangleMesh s;
  s.initSphere(2.0);
  EXPECT_EQ(s.isValid, 1);
  EXPECT_EQ(s.vertexCount, 37);
  EXPECT_EQ(s.polyCount, 70);
  EXPECT_EQ(s.edgeCount, 105);
  for (int v = 0; v < s.vertexCount; ++v) {
    EXPECT_FALSE(s.isBoundaryVertex(v));
    EXPECT_GT(t_dot3(s.vertNormals[v], s.verts[v]), 0.0) << v;
  }
  EXPECT_GT(meshtest::volume(s), 0.0);

  TTriangleMesh b;
  b.initBox(1, 2, 3);
  EXPECT_EQ(b.isValid, 1);
  EXPECT_EQ(b.vertexCount, 8);
  EXPECT_EQ(b.polyCount, 12);
  EXPECT_EQ(b.edgeCount, 18);
  EXPECT_NEAR(meshtest::volume(b), 6.0, 1e-12);
  EXPECT_EQ(meshtest::euler(b), 2);
}

TEST(MeshShapesTest, RingsFollowTheWinding) {
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::icosphere(2, 1.0, V, T);
  TTriangleMesh m;
  ASSERT_TRUE(m.initFromVertsPolys(V, T));
  EXPECT_EQ(meshtest::euler(m), 2);
  std::set<std::array<int, 3>> tris;
  for (const TPolyIdx& t : m.polys) {
    tris.insert({t[0], t[1], t[2]});
    tris.insert({t[1], t[2], t[0]});
    tris.insert({t[2], t[0], t[1]});
  }
  for (int v = 0; v < m.vertexCount; ++v) {
    const std::vector<int>& r = m.rings[v];
    ASSERT_EQ(static_cast<int>(r.size()), m.getValence(v));
    std::set<int> unique(r.begin(), r.end());
    EXPECT_EQ(unique.size(), r.size());
    for (size_t i = 0; i < r.size(); ++i)
      EXPECT_TRUE(tris.count({v, r[i], r[(i + 1) % r.size()]})) << v;
    std::vector<int> edges, polys, verts;
    m.getRing(v, verts, polys, edges);
    EXPECT_EQ(verts, r);
    for (size_t i = 0; i < edges.size(); ++i) EXPECT_EQ(m.edges[edges[i]].otherVert(v), r[i]);
  }
}

TEST(MeshShapesTest, FlipTwiceRestoresEverything) {
  TTriangleMesh m;
  m.initSphere(1.0);
  TTriangleMesh orig(m);
  m.flipOrientation();
  EXPECT_TRUE(m.checkTopology());
  EXPECT_LT(meshtest::volume(m), 0.0);
  m.flipOrientation();
  EXPECT_EQ(m.polys, orig.polys);
  EXPECT_EQ(m.polyEdges, orig.polyEdges);
  EXPECT_EQ(m.vertNormals, orig.vertNormals);
  EXPECT_EQ(m.polyNormals, orig.polyNormals);
  for (int e = 0; e < m.edgeCount; ++e) {
    EXPECT_EQ(m.edges[e].polyA, orig.edges[e].polyA);
    EXPECT_EQ(m.edges[e].wingB1, orig.edges[e].wingB1);
  }
}

TEST(MeshShapesTest, CopyIsDeepAndTransformUsesColumnOrder) {
  TTriangleMesh a;
  a.initBox(1, 1, 1);
  TTriangleMesh b;
  b.copyFrom(a);
  const double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1};
  b.transform(m);
  EXPECT_EQ(a.verts[6], TVec3(1, 1, 1));
  EXPECT_EQ(b.verts[6], TVec3(11, 21, 31));
  EXPECT_EQ(b.rings, a.rings);
}

TEST(MeshWriterTest, ObjStlAndPolygonModelText) {
  TTriangleMesh m;
  m.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  const std::string obj = tempPath("tri.obj"), stl = tempPath("tri.stl"), pm = tempPath("tri.txt");
  ASSERT_TRUE(m.exportObjFile(fopen(obj.c_str(), "w")));
  const auto o = readLines(obj);
  ASSERT_EQ(o.size(), 5u);
  EXPECT_EQ(o[0], "#Polygon model by TTriangleMesh");
  EXPECT_EQ(o[2], "v 1.000000 0.000000 0.000000");
  EXPECT_EQ(o[4], "f 1 2 3");

  ASSERT_TRUE(m.exportStlFile(fopen(stl.c_str(), "w")));
  const auto s = readLines(stl);
  ASSERT_EQ(s.size(), 9u);
  EXPECT_EQ(s[0], "solid ModelCreatedFromTTriangleMesh");
  EXPECT_EQ(s[1], "facet normal 0.000000e+00 0.000000e+00 1.000000e+00");
  EXPECT_EQ(s[2], " outer loop");
  EXPECT_EQ(s[4], "  vertex 1.000000e+00 0.000000e+00 0.000000e+00");
  EXPECT_EQ(s[6], " endloop");
  EXPECT_EQ(s[7], "endfacet");
  EXPECT_EQ(s[8], "endsolid ModelCreatedFromTTriangleMesh");

  FILE* fp = fopen(pm.c_str(), "w");
  ASSERT_TRUE(m.writePolygonModel(fp));
  fprintf(fp, "after\n");  // the stream stays open for the caller
  fclose(fp);
  const auto p = readLines(pm);
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p[0], "polgonModel 3 1");
  EXPECT_EQ(p[4], "0 1 2");
  EXPECT_EQ(p[5], "after");
  remove(obj.c_str());
  remove(stl.c_str());
  remove(pm.c_str());
}

TEST(MeshWriterTest, FailedStreamsReportFalse) {
  TTriangleMesh m;
  m.initSphere(1.0);
  EXPECT_FALSE(m.exportObjFile(fopen("/nonexistent-dir/x.obj", "w")));
  EXPECT_FALSE(m.exportStlFile(nullptr));
  // /dev/full accepts the open and fails every write.
  FILE* full = fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  EXPECT_FALSE(m.exportObjFile(full));
  EXPECT_FALSE(m.exportStlFile(fopen("/dev/full", "w")));
  full = fopen("/dev/full", "w");
  EXPECT_FALSE(m.writePolygonModel(full));
  fclose(full);
}

// OBJ and STL read back by VTK's readers (Debian's python3-vtk9).
TEST(MeshWriterTest, IndependentReaderSeesTheSameMesh) {
  if (system("/usr/bin/python3 -c 'import vtkmodules.vtkIOGeometry' > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "/usr/bin/python3 has no VTK";
  std::vector<TVec3> V;
  std::vector<TPolyIdx> T;
  meshtest::icosphere(3, 1.0, V, T);
  TTriangleMesh m;
  ASSERT_TRUE(m.initFromVertsPolys(V, T));
  const std::string obj = tempPath("sphere.obj"), stl = tempPath("sphere.stl"), out = tempPath("vtk.txt");
  ASSERT_TRUE(m.exportObjFile(fopen(obj.c_str(), "w")));
  ASSERT_TRUE(m.exportStlFile(fopen(stl.c_str(), "w")));
  const std::string script = std::string(KESTRIN_MESH_TEST_DIR) + "/mesh_vtk_read.py";
  const std::string cmd = "/usr/bin/python3 " + script + " " + obj + " " + stl + " > " + out;
  ASSERT_EQ(system(cmd.c_str()), 0);
  const auto lines = readLines(out);
  ASSERT_EQ(lines.size(), 2u);
  std::ostringstream expect;
  expect << m.vertexCount << " " << m.polyCount;
  EXPECT_EQ(lines[0], "obj " + expect.str());
  EXPECT_EQ(lines[1], "stl " + expect.str());
  remove(obj.c_str());
  remove(stl.c_str());
  remove(out.c_str());
}

}  // namespace
