// Smoothing of TTriangleMesh.  Every pass reads old positions only and moves all
// vertices together at its end, so the per-vertex loops run in parallel with the same
// result as a serial run.
#include <cstdio>

#include "geom/TTriangleMesh.h"

namespace {

// Mean position of the ring of vertex i; false for an empty ring (a vertex used by no
// triangle), which then stays where it is.
bool ringCentroid(const TTriangleMesh& m, const std::vector<int>& ring, double c[3]) {
  if (ring.empty()) return false;
  double s[3] = {0, 0, 0};
  for (int j : ring) {
    s[0] += m.verts[j][0];
    s[1] += m.verts[j][1];
    s[2] += m.verts[j][2];
  }
  const double n = static_cast<double>(ring.size());
  c[0] = s[0] / n;
  c[1] = s[1] / n;
  c[2] = s[2] / n;
  return true;
}

}  // namespace

void TTriangleMesh::smoothUmbrella(int n) {
  if (n >= 1) ensureRingLists();
  std::vector<TVec3> next(vertexCount);
  for (int pass = 0; pass < n; ++pass) {
#pragma omp parallel for schedule(static) if (vertexCount > 8192)
    for (int i = 0; i < vertexCount; ++i) {
      double c[3];
      if (ringCentroid(*this, rings[i], c)) next[i].set(c[0], c[1], c[2]);
      else next[i] = verts[i];
    }
    verts.swap(next);
  }
  updateNormals();
}

void TTriangleMesh::smoothTangential(int n) {
  if (n >= 1) ensureRingLists();
  std::vector<TVec3> next(vertexCount);
  for (int pass = 0; pass < n; ++pass) {
    updateNormals();
#pragma omp parallel for schedule(static) if (vertexCount > 8192)
    for (int i = 0; i < vertexCount; ++i) {
      double c[3];
      if (!ringCentroid(*this, rings[i], c)) {
        next[i] = verts[i];
        continue;
      }
      const TVec3& p = verts[i];
      const TVec3& N = vertNormals[i];
      const double d = (p[0] - c[0]) * N[0] + (p[1] - c[1]) * N[1] + (p[2] - c[2]) * N[2];
      next[i].set(c[0] + d * N[0], c[1] + d * N[1], c[2] + d * N[2]);
    }
    verts.swap(next);
  }
  updateNormals();
}

void TTriangleMesh::smoothOutward() {
  ensureRingLists();
  std::vector<TVec3> next(vertexCount);
  for (int pass = 0; pass < 2; ++pass) {
#pragma omp parallel for schedule(static) if (vertexCount > 8192)
    for (int i = 0; i < vertexCount; ++i) {
      double c[3];
      next[i] = verts[i];
      if (!ringCentroid(*this, rings[i], c)) continue;
      const TVec3& p = verts[i];
      const TVec3& N = vertNormals[i];
      const double d = (c[0] - p[0]) * N[0] + (c[1] - p[1]) * N[1] + (c[2] - p[2]) * N[2];
      if (d > 0.0) next[i].set(c[0], c[1], c[2]);
    }
    verts.swap(next);
    updateNormals();
  }
}

void TTriangleMesh::smoothLM(int n) {
  fprintf(stderr, "smoothing LM diff verts=%d edges = %d polys = %d", vertexCount, edgeCount, polyCount);
  if (n >= 1) ensureRingLists();
  std::vector<uint16_t> boundary(vertexCount, 0);
  for (const TMeshEdge& e : edges)
    if (e.isBoundary()) boundary[e.vert0] = boundary[e.vert1] = 1;

  std::vector<double> d(vertexCount), a(vertexCount);
  std::vector<TVec3> next(vertexCount);
  for (int pass = 0; pass < n; ++pass) {
#pragma omp parallel for schedule(static) if (vertexCount > 8192)
    for (int i = 0; i < vertexCount; ++i) {
      d[i] = 0.0;
      a[i] = 0.0;
      double c[3];
      if (boundary[i] || !ringCentroid(*this, rings[i], c)) continue;
      const TVec3& p = verts[i];
      const TVec3& N = vertNormals[i];
      const double off[3] = {p[0] - c[0], p[1] - c[1], p[2] - c[2]};
      const double len = t_length3(off);
      d[i] = t_dot3(off, N) < 0.0 ? -len : len;
    }
#pragma omp parallel for schedule(static) if (vertexCount > 8192)
    for (int i = 0; i < vertexCount; ++i) {
      if (boundary[i] || rings[i].empty()) continue;
      double s = 0.0;
      for (int j : rings[i]) s += d[j];
      a[i] = (s / static_cast<double>(rings[i].size()) + d[i]) * 0.5;
    }
    updateNormals();
#pragma omp parallel for schedule(static) if (vertexCount > 8192)
    for (int i = 0; i < vertexCount; ++i) {
      double c[3];
      if (boundary[i] || !ringCentroid(*this, rings[i], c)) {
        next[i] = verts[i];
        continue;
      }
      const TVec3& N = vertNormals[i];
      next[i].set(c[0] + a[i] * N[0], c[1] + a[i] * N[1], c[2] + a[i] * N[2]);
    }
    verts.swap(next);
  }
  updateNormals();
}

void TTriangleMesh::smoothLM2(double threshold) {
  fprintf(stderr, "smoothing LM diff verts=%d edges = %d polys = %d", vertexCount, edgeCount, polyCount);
  // Sharpness is judged on the triangle normals at entry for both passes.
  const std::vector<TVec3> entryNormals = polyNormals;
  std::vector<uint8_t> sharp(vertexCount, 0);
  std::vector<std::vector<int>> ringV(vertexCount);
#pragma omp parallel for schedule(dynamic, 1024) if (vertexCount > 8192)
  for (int i = 0; i < vertexCount; ++i) {
    std::vector<int> rp, re;
    getRing(i, ringV[i], rp, re);
    for (int e : re) {
      const TMeshEdge& E = edges[e];
      if (E.polyA == -1 || E.polyB == -1) continue;
      if (t_dot3(entryNormals[E.polyA], entryNormals[E.polyB]) < threshold) {
        sharp[i] = 1;
        break;
      }
    }
  }
  std::vector<TVec3> next(vertexCount);
  for (int pass = 0; pass < 2; ++pass) {
#pragma omp parallel for schedule(static) if (vertexCount > 8192)
    for (int i = 0; i < vertexCount; ++i) {
      double c[3];
      if (sharp[i] && ringCentroid(*this, ringV[i], c)) next[i].set(c[0], c[1], c[2]);
      else next[i] = verts[i];
    }
    verts.swap(next);
  }
  updateNormals();
}
