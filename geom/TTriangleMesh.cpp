// Construction, topology, normals, rings and whole-mesh operations of TTriangleMesh.
#include "geom/TTriangleMesh.h"

#include <cmath>
#include <cstdio>
#include <unordered_map>

TTriangleMesh::~TTriangleMesh() { TTriangleMesh::clear(); }

void TTriangleMesh::clear() {
  vertexCount = edgeCount = polyCount = 0;
  std::vector<TVec3>().swap(verts);
  std::vector<TVec3>().swap(vertNormals);
  std::vector<TPolyIdx>().swap(polys);
  std::vector<TVec3>().swap(polyNormals);
  std::vector<TMeshEdge>().swap(edges);
  std::vector<int>().swap(vertEdge);
  std::vector<TPolyIdx>().swap(polyEdges);
  rings.clear();
  isValid = 0;
}

void TTriangleMesh::copyFrom(const TTriangleMesh& src) {
  if (&src == this) return;
  clear();
  vertexCount = src.vertexCount;
  edgeCount = src.edgeCount;
  polyCount = src.polyCount;
  verts = src.verts;
  vertNormals = src.vertNormals;
  polys = src.polys;
  polyNormals = src.polyNormals;
  edges = src.edges;
  vertEdge = src.vertEdge;
  polyEdges = src.polyEdges;
  rings = src.rings;
  isValid = src.isValid;
}

bool TTriangleMesh::initFromVertsPolys(const std::vector<TVec3>& points, const std::vector<TPolyIdx>& triangles) {
  clear();
  // Mesh data also comes from files: refuse indices that would reach outside the
  // vertex array or give an edge from a vertex to itself.
  const long long nv = static_cast<long long>(points.size());
  for (size_t i = 0; i < triangles.size(); ++i) {
    const TPolyIdx& t = triangles[i];
    for (int k = 0; k < 3; ++k) {
      if (t[k] < 0 || t[k] >= nv) {
        fprintf(stderr, "polygon %d refers to vertex %d, which does not exist (%d vertices)\n", static_cast<int>(i),
                t[k], static_cast<int>(nv));
        return false;
      }
    }
    if (t[0] == t[1] || t[1] == t[2] || t[2] == t[0]) {
      fprintf(stderr, "polygon %d uses one vertex twice (%d %d %d)\n", static_cast<int>(i), t[0], t[1], t[2]);
      return false;
    }
  }
  vertexCount = static_cast<int>(points.size());
  verts = points;
  vertNormals.assign(vertexCount, TVec3());
  polyCount = static_cast<int>(triangles.size());
  polys = triangles;
  polyNormals.assign(polyCount, TVec3());

  updateNormals();
  buildEdges();

  isValid = 0;
  if (hasNonManifoldBoundary()) {
    fprintf(stderr, "this mesh has one or more viertices that connected to more than 2 boundary edges\n");
    return false;
  }
  if (!checkTopology()) {
    fprintf(stderr, "this mesh has strange polygon structure \n");
    return false;
  }
  isValid = 1;
  updateRingLists();
  return true;
}

void TTriangleMesh::updateNormals() {
  vertNormals.assign(vertexCount, TVec3());
  polyNormals.resize(polyCount);
#pragma omp parallel for schedule(static) if (polyCount > 8192)
  for (int i = 0; i < polyCount; ++i) {
    const TPolyIdx& t = polys[i];
    double a[3], b[3], n[3];
    t_sub3(verts[t[1]], verts[t[0]], a);
    t_sub3(verts[t[2]], verts[t[0]], b);
    t_cross3(a, b, n);
    if (!t_normalize3(n)) n[0] = n[1] = n[2] = 0.0;
    polyNormals[i].set(n[0], n[1], n[2]);
  }
  // The sums run in triangle order so the result does not depend on the thread count.
  for (int i = 0; i < polyCount; ++i) {
    const TVec3& n = polyNormals[i];
    if (n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0) continue;
    for (int k = 0; k < 3; ++k) {
      TVec3& vn = vertNormals[polys[i][k]];
      vn[0] += n[0];
      vn[1] += n[1];
      vn[2] += n[2];
    }
  }
#pragma omp parallel for schedule(static) if (vertexCount > 8192)
  for (int v = 0; v < vertexCount; ++v) t_normalize3(vertNormals[v]);
}

void TTriangleMesh::buildEdges() {
  polyEdges.assign(polyCount, TPolyIdx{0, 0, 0});
  vertEdge.assign(vertexCount, -1);
  const size_t sides = static_cast<size_t>(polyCount) * 3;

  // Edge lookup: the triangle sides are bucketed by their smaller vertex (counting sort,
  // so each bucket keeps the sides in triangle order).  Inside a bucket the first side
  // with the same larger vertex stands for the edge; small buckets are scanned, large
  // ones (a vertex with very many triangles) hashed.  Linear in the mesh size, and it
  // reads the buckets in vertex order, which suits meshes whose indices are local.
  std::vector<int> start(static_cast<size_t>(vertexCount) + 1, 0);
  for (int i = 0; i < polyCount; ++i)
    for (int k = 0; k < 3; ++k) {
      const int a = polys[i][k], b = polys[i][(k + 1) % 3];
      ++start[(a < b ? a : b) + 1];
    }
  for (int v = 0; v < vertexCount; ++v) start[v + 1] += start[v];
  std::vector<int> bucket(sides), fill(start.begin(), start.end() - 1);
  for (int i = 0; i < polyCount; ++i)
    for (int k = 0; k < 3; ++k) {
      const int a = polys[i][k], b = polys[i][(k + 1) % 3];
      bucket[fill[a < b ? a : b]++] = 3 * i + k;
    }
  auto hiOf = [&](int side) {
    const int a = polys[side / 3][side % 3], b = polys[side / 3][(side % 3 + 1) % 3];
    return a < b ? b : a;
  };
  std::vector<int> rep(sides);  // the first side of the same edge
#pragma omp parallel for schedule(dynamic, 4096) if (vertexCount > 8192)
  for (int v = 0; v < vertexCount; ++v) {
    const int b0 = start[v], b1 = start[v + 1];
    if (b1 - b0 <= 64) {
      for (int j = b0; j < b1; ++j) {
        const int h = hiOf(bucket[j]);
        int r = bucket[j];
        for (int q = b0; q < j; ++q)
          if (hiOf(bucket[q]) == h) {
            r = bucket[q];
            break;
          }
        rep[bucket[j]] = r;
      }
    } else {
      std::unordered_map<int, int> first;
      for (int j = b0; j < b1; ++j) rep[bucket[j]] = first.emplace(hiOf(bucket[j]), bucket[j]).first->second;
    }
  }

  std::vector<TMeshEdge> recs;
  recs.reserve(sides / 2 + 16);
  std::vector<int> sideEdge(sides, -1);
  // A side of an edge already taken by an earlier triangle is not overwritten: such a
  // triangle keeps the edge in polyEdges (checkTopology counts the references) but
  // does not change the edge's links.
  std::vector<uint8_t> linked(sides, 0);

  for (int i = 0; i < polyCount; ++i) {
    for (int k = 0; k < 3; ++k) {
      const int a = polys[i][k], b = polys[i][(k + 1) % 3];
      const int lo = a < b ? a : b, hi = a < b ? b : a;
      const bool reversed = a > b;
      const int side = 3 * i + k;
      int e;
      if (rep[side] == side) {
        e = static_cast<int>(recs.size());
        TMeshEdge rec;
        rec.vert0 = lo;
        rec.vert1 = hi;
        recs.push_back(rec);
      } else {
        e = sideEdge[rep[side]];
      }
      sideEdge[side] = e;
      vertEdge[hi] = vertEdge[lo] = e;
      polyEdges[i][k] = e;
      int& slot = reversed ? recs[e].polyB : recs[e].polyA;
      if (slot == -1) {
        slot = i;
        linked[side] = 1;
      }
    }
  }
  for (int i = 0; i < polyCount; ++i) {
    const TPolyIdx& E = polyEdges[i];
    for (int k = 0; k < 3; ++k) {
      if (!linked[3 * i + k]) continue;
      TMeshEdge& R = recs[E[k]];
      const int before = E[(k + 2) % 3], after = E[(k + 1) % 3];
      if (R.vert0 == polys[i][k]) {
        R.wingA0 = before;
        R.wingA1 = after;
      } else {
        R.wingB1 = before;
        R.wingB0 = after;
      }
    }
  }
  edgeCount = static_cast<int>(recs.size());
  edges.swap(recs);
  edges.shrink_to_fit();
}

bool TTriangleMesh::hasNonManifoldBoundary() const {
  std::vector<int> count(vertexCount, 0);
  for (const TMeshEdge& e : edges) {
    if (!e.isBoundary()) continue;
    if (++count[e.vert0] >= 3) return true;
    if (++count[e.vert1] >= 3) return true;
  }
  return false;
}

namespace {
bool sameTriple(int a, int b, int c, int x, int y, int z) {
  return (a == x && ((b == y && c == z) || (b == z && c == y))) ||
         (a == y && ((b == x && c == z) || (b == z && c == x))) ||
         (a == z && ((b == x && c == y) || (b == y && c == x)));
}
}  // namespace

bool TTriangleMesh::checkTopology() const {
  std::vector<int> refs(edgeCount, 0);
  for (int i = 0; i < polyCount; ++i)
    for (int k = 0; k < 3; ++k) {
      const int e = polyEdges[i][k];
      if (e >= 0 && e < edgeCount) ++refs[e];
    }

  for (int e = 0; e < edgeCount; ++e) {
    const TMeshEdge& E = edges[e];
    if (E.polyA == -1 || E.polyB == -1) continue;
    const int w[4] = {E.wingA0, E.wingA1, E.wingB0, E.wingB1};
    bool distinct = true;
    for (int i = 0; i < 4; ++i)
      for (int j = i + 1; j < 4; ++j)
        if (w[i] == w[j]) distinct = false;
    if (!distinct) {
      fprintf(stderr, "wrong #52 %d    %d %d %d %d\n", e, E.wingA0, E.wingA1, E.wingB0, E.wingB1);
      return false;
    }
  }

  auto farEnd = [&](int w, int from) -> int {
    if (w < 0 || w >= edgeCount) return -1;
    return edges[w].vert0 == from ? edges[w].vert1 : edges[w].vert0;
  };
  auto validPoly = [&](int p) { return p >= 0 && p < polyCount; };

  for (int e = 0; e < edgeCount; ++e) {
    const TMeshEdge& E = edges[e];
    if (refs[e] > 2) {
      fprintf(stderr, "edge[%d] is referred from %d polygons!\n", e, refs[e]);
      return false;
    }
    if (E.polyA != -1) {
      const int c0 = farEnd(E.wingA0, E.vert0), c1 = farEnd(E.wingA1, E.vert1);
      if (c0 == -1 || c0 != c1 || !validPoly(E.polyA)) {
        fprintf(stderr, "wrong #1 edge == %d\n", e);
        return false;
      }
      const TPolyIdx& P = polys[E.polyA];
      if (!sameTriple(P[0], P[1], P[2], E.vert0, E.vert1, c0)) {
        fprintf(stderr, "wrong #2 edge == %d\n", e);
        return false;
      }
      const TPolyIdx& PE = polyEdges[E.polyA];
      if (!sameTriple(PE[0], PE[1], PE[2], e, E.wingA0, E.wingA1)) {
        fprintf(stderr, "wrong #3 edge == %d\n", e);
        return false;
      }
    }
    if (E.polyB != -1) {
      const int c0 = farEnd(E.wingB0, E.vert0), c1 = farEnd(E.wingB1, E.vert1);
      if (c0 == -1 || c0 != c1 || !validPoly(E.polyB)) {
        fprintf(stderr, "wrong #4 edge == %d\n", e);
        return false;
      }
      const TPolyIdx& P = polys[E.polyB];
      if (!sameTriple(P[0], P[1], P[2], E.vert0, E.vert1, c0)) {
        fprintf(stderr, "wrong #2 edge == %d\n", e);
        return false;
      }
      const TPolyIdx& PE = polyEdges[E.polyB];
      if (!sameTriple(PE[0], PE[1], PE[2], e, E.wingB0, E.wingB1)) {
        fprintf(stderr, "wrong #2 edge == %d\n", e);
        return false;
      }
    }
  }

  // Both triangles of an interior edge must run it in opposite directions: polyA from
  // vert0 to vert1, polyB from vert1 to vert0.
  auto runs = [&](int p, int from, int to) {
    const TPolyIdx& P = polys[p];
    for (int k = 0; k < 3; ++k)
      if (P[k] == from && P[(k + 1) % 3] == to) return true;
    return false;
  };
  for (int e = 0; e < edgeCount; ++e) {
    const TMeshEdge& E = edges[e];
    if (E.polyA == -1 || E.polyB == -1) continue;
    if (runs(E.polyA, E.vert0, E.vert1) && runs(E.polyB, E.vert1, E.vert0)) continue;
    const TPolyIdx& A = polys[E.polyA];
    const TPolyIdx& B = polys[E.polyB];
    if (A[0] == B[0] || A[0] == B[1] || A[0] == B[2]) {
      fprintf(stderr, "wrong #11 %d \n", e);
    } else if (A[1] == B[0]) {
      fprintf(stderr, "wrong122\n");
    } else if (A[1] == B[1]) {
      fprintf(stderr, "wrong12\n");
    } else {
      fprintf(stderr, "wrong1123143\n");
    }
    return false;
  }
  return true;
}

void TTriangleMesh::updateRingLists() {
  rings.assign(vertexCount, std::vector<int>());
#pragma omp parallel for schedule(dynamic, 1024) if (vertexCount > 8192)
  for (int v = 0; v < vertexCount; ++v) getRingVerts(v, rings[v]);
}

void TTriangleMesh::ensureRingLists() {
  if (static_cast<int>(rings.size()) != vertexCount) updateRingLists();
}

// The walk around v described by the winged edges.  Forward: from vertEdge[v] through
// the edge before it in the triangle in which it leaves v.  At a boundary the walk goes
// back from the start edge as well.  Every walk is bounded by the edge count so that a
// damaged table cannot make it run for ever.
void TTriangleMesh::ringWalk(int v, std::vector<int>* outVerts, std::vector<int>* outPolys,
                             std::vector<int>* outEdges) const {
  if (outVerts) outVerts->clear();
  if (outPolys) outPolys->clear();
  if (outEdges) outEdges->clear();
  if (edgeCount == 0 || !validVertex(v) || static_cast<int>(vertEdge.size()) <= v) return;
  const int s = vertEdge[v];
  if (!validEdge(s)) return;

  std::vector<int> front;  // triangles put at the front by the backward walk (reversed)
  int R = s;
  int next = -1;
  for (int steps = 0; steps <= edgeCount; ++steps) {
    const TMeshEdge& E = edges[R];
    if (outEdges) outEdges->push_back(R);
    if (outVerts) outVerts->push_back(E.vert0 == v ? E.vert1 : E.vert0);
    next = (E.vert0 == v) ? E.wingA0 : E.wingB1;
    if (!validEdge(next)) next = -1;
    if (next != -1 && outPolys) outPolys->push_back(E.vert0 == v ? E.polyA : E.polyB);
    if (next == -1 || next == s) break;
    R = next;
  }
  if (next != -1) return;

  R = s;
  for (int steps = 0; steps <= edgeCount; ++steps) {
    const TMeshEdge& E = edges[R];
    if (R != s) {
      if (outEdges) outEdges->push_back(R);
      if (outVerts) outVerts->push_back(E.vert0 == v ? E.vert1 : E.vert0);
    }
    int nb = (E.vert0 == v) ? E.wingB0 : E.wingA1;
    if (!validEdge(nb)) nb = -1;
    if (nb == -1) break;
    front.push_back(E.vert0 == v ? E.polyB : E.polyA);
    if (nb == s) break;  // only on a damaged table
    R = nb;
  }
  if (outPolys && !front.empty()) outPolys->insert(outPolys->begin(), front.rbegin(), front.rend());
}

void TTriangleMesh::getRingVerts(int v, std::vector<int>& out) const { ringWalk(v, &out, nullptr, nullptr); }

void TTriangleMesh::getRingEdges(int v, std::vector<int>& out) const { ringWalk(v, nullptr, nullptr, &out); }

void TTriangleMesh::getRing(int v, std::vector<int>& outVerts, std::vector<int>& outPolys,
                            std::vector<int>& outEdges) const {
  ringWalk(v, &outVerts, &outPolys, &outEdges);
}

void TTriangleMesh::getRingPolys(int v, std::vector<int>& out) const { ringWalk(v, nullptr, &out, nullptr); }

int TTriangleMesh::getValence(int v) const {
  std::vector<int> e;
  getRingEdges(v, e);
  return static_cast<int>(e.size());
}

bool TTriangleMesh::isBoundaryVertex(int v) const {
  std::vector<int> e;
  getRingEdges(v, e);
  for (int id : e)
    if (edges[id].isBoundary()) return true;
  return false;
}

void TTriangleMesh::transform(const double m[16]) {
#pragma omp parallel for schedule(static) if (vertexCount > 8192)
  for (int i = 0; i < vertexCount; ++i) {
    const double x = verts[i][0], y = verts[i][1], z = verts[i][2];
    verts[i].set(m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
                 m[2] * x + m[6] * y + m[10] * z + m[14]);
  }
}

void TTriangleMesh::flipOrientation() {
  for (int i = 0; i < polyCount; ++i) {
    std::swap(polys[i][1], polys[i][2]);
    if (i < static_cast<int>(polyEdges.size())) std::swap(polyEdges[i][0], polyEdges[i][2]);
  }
  for (TVec3& n : polyNormals) n.set(-n[0], -n[1], -n[2]);
  for (TVec3& n : vertNormals) n.set(-n[0], -n[1], -n[2]);
  for (TMeshEdge& e : edges) {
    std::swap(e.polyA, e.polyB);
    std::swap(e.wingA0, e.wingB0);
    std::swap(e.wingA1, e.wingB1);
  }
}

void TTriangleMesh::initSphere(double r) {
  const double pi = 3.14159265358979323846;
  std::vector<TVec3> v;
  v.reserve(37);
  v.emplace_back(0.0, r, 0.0);
  for (int k = 1; k <= 5; ++k) {
    const double t = k * pi / 6.0;
    for (int j = 0; j < 7; ++j) {
      const double p = 2.0 * pi * j / 7.0;
      v.emplace_back(r * std::sin(t) * std::cos(p), r * std::cos(t), -r * std::sin(t) * std::sin(p));
    }
  }
  v.emplace_back(0.0, -r, 0.0);
  std::vector<TPolyIdx> t;
  t.reserve(70);
  for (int j = 0; j < 7; ++j) t.push_back({0, 1 + j, 1 + (j + 1) % 7});
  for (int u = 1; u <= 22; u += 7) {
    const int l = u + 7;
    for (int j = 0; j < 7; ++j) {
      const int jn = (j + 1) % 7;
      t.push_back({u + j, l + j, l + jn});
      t.push_back({u + j, l + jn, u + jn});
    }
  }
  for (int j = 0; j < 7; ++j) t.push_back({36, 29 + (j + 1) % 7, 29 + j});
  initFromVertsPolys(v, t);
}

void TTriangleMesh::initBox(double sx, double sy, double sz) {
  const std::vector<TVec3> v = {{0, 0, 0},    {sx, 0, 0},   {sx, sy, 0},   {0, sy, 0},
                                {0, 0, sz},   {sx, 0, sz},  {sx, sy, sz},  {0, sy, sz}};
  const std::vector<TPolyIdx> t = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                   {3, 6, 2}, {3, 7, 6}, {1, 2, 6}, {1, 6, 5}, {0, 7, 3}, {0, 4, 7}};
  initFromVertsPolys(v, t);
}
