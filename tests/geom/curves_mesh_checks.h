// Independent checks on triangle soups used by the marching-cubes and rasterisation tests.
#pragma once

#include <string>
#include <vector>

#include "geom/TTriangleMesh.h"

struct MeshTopology {
  long long vertices = 0, edges = 0, faces = 0;
  long long badEdges = 0;      // undirected edges not used by exactly two triangles
  long long misoriented = 0;   // edges whose two triangles run it the same way
  long long unusedVerts = 0;
  long long badIndices = 0;
  int euler() const { return int(vertices - edges + faces); }
  bool closedAndOriented() const { return badEdges == 0 && misoriented == 0 && badIndices == 0; }
  std::string describe() const;
};

MeshTopology t_checkTopology(const std::vector<TVec3>& verts, const std::vector<TPolyIdx>& tris);
// Signed enclosed volume by the divergence theorem (positive for outward normals).
double t_enclosedVolume(const std::vector<TVec3>& verts, const std::vector<TPolyIdx>& tris);
// Inside test by the parity of crossings along a ray in a fixed, skewed direction.
bool t_pointInsideByParity(const std::vector<TVec3>& verts, const std::vector<TPolyIdx>& tris, const double p[3]);
