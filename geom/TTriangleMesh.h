// TTriangleMesh: the one surface type of the program.  Vertices with normals,
// triangles, a winged-edge table and per-vertex rings.
//
// Drawing members live in TTriangleMesh_gl.cpp (library kgeom_gl); everything else is
// plain C++ in kgeom.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <set>
#include <vector>

#include "geom/vec3.h"

// Three vertex indices of a triangle, in winding order (also used for the three edges
// of a triangle).
using TPolyIdx = std::array<int, 3>;

// One winged edge.  polyA runs vert0 -> vert1, polyB runs vert1 -> vert0; -1 = none.
struct TMeshEdge {
  int wingA0 = -1;  // the other edge of polyA that meets vert0
  int wingA1 = -1;  // the other edge of polyA that meets vert1
  int wingB0 = -1;  // the other edge of polyB that meets vert0
  int wingB1 = -1;  // the other edge of polyB that meets vert1
  int polyA = -1;
  int polyB = -1;
  int vert0 = -1;   // the smaller vertex index when built by buildEdges
  int vert1 = -1;

  bool isBoundary() const { return polyA == -1 || polyB == -1; }
  int otherVert(int v) const { return vert0 == v ? vert1 : vert0; }
};

class TTriangleMesh {
 public:
  int vertexCount = 0;
  int edgeCount = 0;
  int polyCount = 0;
  std::vector<TVec3> verts;        // vertexCount positions
  std::vector<TVec3> vertNormals;  // vertexCount unit normals (zero where undefined)
  std::vector<TPolyIdx> polys;     // polyCount triangles
  std::vector<TVec3> polyNormals;  // polyCount unit normals (zero when degenerate)
  std::vector<TMeshEdge> edges;    // edgeCount records
  std::vector<int> vertEdge;       // one incident edge per vertex, -1 for none
  std::vector<TPolyIdx> polyEdges; // entry k joins corners k and (k+1) mod 3
  std::vector<std::vector<int>> rings;  // ring vertices per vertex (getRingVerts order)
  uint8_t isValid = 0;             // 1 when the last initFromVertsPolys passed its checks

  TTriangleMesh() = default;
  TTriangleMesh(const TTriangleMesh&) = default;
  TTriangleMesh& operator=(const TTriangleMesh&) = default;
  virtual ~TTriangleMesh();

  // ---- construction and content (TTriangleMesh.cpp) ----
  virtual void clear();
  void copyFrom(const TTriangleMesh& src);
  // Builds the mesh from plain lists; returns isValid.  Triangles with a vertex index
  // outside the point list or with a repeated corner are refused (console line, false,
  // empty mesh).
  bool initFromVertsPolys(const std::vector<TVec3>& points, const std::vector<TPolyIdx>& triangles);
  void updateNormals();
  void buildEdges();
  // The same table as buildEdges, built on one thread by buckets of the smaller vertex: the
  // reference the faster construction is tested against.
  void buildEdgesSequential();
  bool hasNonManifoldBoundary() const;
  bool checkTopology() const;
  void updateRingLists();
  void initSphere(double r);
  void initBox(double sx, double sy, double sz);

  // ---- rings ----
  void getRingVerts(int v, std::vector<int>& out) const;
  void getRingEdges(int v, std::vector<int>& out) const;
  void getRing(int v, std::vector<int>& outVerts, std::vector<int>& outPolys, std::vector<int>& outEdges) const;
  void getRingPolys(int v, std::vector<int>& out) const;
  int getValence(int v) const;
  bool isBoundaryVertex(int v) const;

  // ---- whole mesh ----
  void transform(const double m[16]);
  void flipOrientation();

  // ---- writers (TTriangleMesh_io.cpp) ----
  // Write the whole file and close the stream; false when the stream failed.
  bool exportObjFile(FILE* fp) const;
  bool exportStlFile(FILE* fp) const;
  // Writes the "polgonModel" block; the stream stays open.  False when it failed.
  bool writePolygonModel(FILE* fp) const;

  // ---- smoothing (TTriangleMesh_smooth.cpp) ----
  void smoothUmbrella(int n);
  void smoothTangential(int n);
  void smoothOutward();
  void smoothLM(int n);
  void smoothLM2(double threshold);

  // ---- picking and queries (TTriangleMesh_pick.cpp) ----
  // Nearest hit along the ray o + t d (t >= 0).  faceMode 1: only triangles facing the
  // ray origin, 2: only triangles facing away, other: all.
  static bool pickByRay(const double o[3], const double d[3], const TTriangleMesh& mesh, int& poly,
                        double hit[3], int faceMode);
  // First triangle in index order crossed by the segment p-q.
  static bool intersectRay(const double p[3], const double q[3], const TTriangleMesh& mesh, int& poly,
                           double hit[3], double& t);
  bool projectPoint(const double x[3], double out[3], int& poly) const;
  // True distance from x to the surface (vertices, edges and faces); out the nearest point.
  double distanceToPoint(const double x[3], double out[3]) const;
  double averageEdgeLength() const;

  // ---- drawing (TTriangleMesh_gl.cpp, library kgeom_gl) ----
  void draw() const;
  void drawTexCoord(double X, double Y, double Z) const;
  void drawTexCoordFlipped(double X, double Y, double Z) const;
  void drawEdges() const;
  void drawBoundaryEdges() const;
  void drawBoundaryPoints() const;

  // ---- edge collapse, split, remeshing, neighbourhoods (TTriangleMesh_remesh.cpp) ----
  bool isCollapsible(int e) const;
  bool collapseEdge(int e);
  void compact(const std::set<int>& removedVerts, const std::set<int>& removedPolys,
               const std::set<int>& removedEdges);
  void remeshToEdgeLength(const std::vector<uint16_t>& movable, std::vector<int>& newIndex, double ratio);
  // Splits edge e at point; false (console line, nothing changed) for a bad index.
  bool splitEdge(int e, const double point[3], int& newVertex);
  int appendVertex();
  int appendEdge();
  int appendPoly();
  int getConnectedComponents(std::vector<int>& labels);
  void extractSubmesh(const std::vector<int>& seeds, uint32_t steps, std::vector<TVec3>& outVerts,
                      std::vector<TPolyIdx>& outPolys, std::vector<int>& outOld, std::vector<int>& outNew);
  void collectNeighbourhood(int v, std::set<int>& out);

  // ---- hole filling and patches (TTriangleMesh_holes.cpp) ----
  bool traceBoundaryLoop(int s, std::vector<int>& loopVerts, std::vector<int>& loopEdges) const;
  // Closes the hole whose boundary passes through s; false when nothing was added.
  bool fillHoles(int s);
  bool createPatch(const TPoints& loop, double step);
  bool fillHoleAndFair(const TPoints& loop, double step, std::vector<int>& out);
  bool collapseBoundaryEdge(int e);

 private:
  bool validVertex(int v) const { return v >= 0 && v < vertexCount; }
  bool validEdge(int e) const { return e >= 0 && e < edgeCount; }
  void ensureRingLists();
  void ringWalk(int v, std::vector<int>* outVerts, std::vector<int>* outPolys, std::vector<int>* outEdges) const;
};
