// Hole filling of TTriangleMesh: boundary loops, fans and patches grown on a staggered
// grid in the best-fit plane of the loop.
#include <cmath>
#include <cstdio>
#include <random>

#include "geom/TTriangleMesh.h"
#include "geom/matrix3.h"

namespace {

// Boundary edges around v, in ring order.
void boundaryEdgesAt(const TTriangleMesh& m, int v, std::vector<int>& out) {
  std::vector<int> ring;
  m.getRingEdges(v, ring);
  out.clear();
  for (int e : ring)
    if (m.edges[e].isBoundary()) out.push_back(e);
}

int countBoundaryEdges(const TTriangleMesh& m) {
  int n = 0;
  for (const TMeshEdge& e : m.edges)
    if (e.isBoundary()) ++n;
  return n;
}

// Fixed seed: the same hole is always closed the same way.
constexpr unsigned kPatchSeed = 20061u;

}  // namespace

bool TTriangleMesh::traceBoundaryLoop(int s, std::vector<int>& loopVerts, std::vector<int>& loopEdges) const {
  loopVerts.clear();
  loopEdges.clear();
  if (!validVertex(s)) return false;
  // The walk around a vertex sees only the fan that holds its first edge; where two
  // holes meet in one vertex it would miss the other fan.  Counting boundary edges over
  // the whole table catches that vertex.
  std::vector<int> count(vertexCount, 0);
  for (const TMeshEdge& e : edges)
    if (e.isBoundary()) ++count[e.vert0], ++count[e.vert1];
  if (count[s] == 0 || !isBoundaryVertex(s)) return false;
  loopVerts.push_back(s);
  std::vector<int> bnd;
  boundaryEdgesAt(*this, s, bnd);
  if (bnd.size() != 2 || count[s] != 2) {
    fprintf(stderr, "strange ! 789asfd21\n");
    loopVerts.clear();
    return false;
  }
  {
    const TMeshEdge& B0 = edges[bnd[0]];
    const int P = B0.polyA != -1 ? B0.polyA : B0.polyB;
    const TPolyIdx& T = polys[P];
    double a[3], b[3], n[3];
    t_sub3(verts[T[1]], verts[T[0]], a);
    t_sub3(verts[T[2]], verts[T[0]], b);
    t_cross3(a, b, n);
    t_normalize3(n);
    const int o = B0.otherVert(s);
    int t = T[0];
    for (int k = 0; k < 3; ++k)
      if (T[k] != B0.vert0 && T[k] != B0.vert1) t = T[k];
    double ts[3], os[3], x[3];
    t_sub3(verts[t], verts[s], ts);
    t_sub3(verts[o], verts[s], os);
    t_cross3(os, n, x);
    const int first = t_dot3(ts, x) >= 0.0 ? bnd[0] : bnd[1];
    loopEdges.push_back(first);
    loopVerts.push_back(edges[first].otherVert(s));
  }
  if (static_cast<int>(loopVerts.size()) > vertexCount) return false;
  for (;;) {
    const int last = loopVerts.back();
    boundaryEdgesAt(*this, last, bnd);
    if (bnd.size() != 2 || count[last] != 2) {
      fprintf(stderr, "strange ! 789asfd21\n");
      return false;
    }
    const int next = bnd[0] != loopEdges.back() ? bnd[0] : bnd[1];
    loopEdges.push_back(next);
    const int o = edges[next].otherVert(last);
    if (o == s) return true;
    loopVerts.push_back(o);
    if (static_cast<int>(loopVerts.size()) > vertexCount) return false;
  }
}

bool TTriangleMesh::fillHoles(int s) {
  fprintf(stderr, "startFilling Hole\n");
  std::vector<int> L, LE;
  if (!traceBoundaryLoop(s, L, LE)) return false;
  const int n = static_cast<int>(L.size());
  if (n < 3) return false;

  std::vector<TVec3> V = verts;
  std::vector<TPolyIdx> T = polys;
  bool added = false;
  if (n == 3) {
    fprintf(stderr, " fill hole by TRIANGLE !!!!!!!!!!!!!!!!!\n");
    T.push_back({L[0], L[1], L[2]});
    added = true;
  } else if (n < 10) {
    fprintf(stderr, " fill hole by SINGLE POINT !!!!!!!!!!!!!!!!!\n");
    TPoints loop;
    for (int v : L) loop.push_back(verts[v]);
    double c[3];
    t_centroid(loop, c);
    const int ci = static_cast<int>(V.size());
    V.emplace_back(c[0], c[1], c[2]);
    for (int k = 0; k < n; ++k) T.push_back({ci, L[(k + n - 1) % n], L[k]});
    added = true;
  } else {
    fprintf(stderr, " fill hole by  PATCH !!!!!!!!!!!!!!!!!\n");
    TPoints Q;
    for (int v : L) Q.push_back(verts[v]);
    double e1[3], e2[3], normal[3];
    t_fitPlanePCA(Q, e1, e2, normal);
    double zAxis[3] = {0.0, 0.0, 1.0};
    double M[16], Minv[16];
    t_rotMatBetweenVectors(M, normal, zAxis);
    for (int i = 0; i < 16; ++i) Minv[i] = M[i];
    t_inverse4x4(Minv);
    double g[3];
    t_centroid(Q, g);
    for (TVec3& q : Q) {
      const double x = q[0] - g[0], y = q[1] - g[1], z = q[2] - g[2];
      q.set(M[0] * x + M[4] * y + M[8] * z, M[1] * x + M[5] * y + M[9] * z, 0.0);
    }
    const double step = t_polylineLength(Q) / (n - 1);
    TTriangleMesh patch;
    std::vector<int> B;
    if (step > 0.0 && patch.fillHoleAndFair(Q, step, B) && static_cast<int>(B.size()) == n) {
      std::vector<int> map(patch.vertexCount, -1);
      for (int k = 0; k < n; ++k) map[B[k]] = L[k];
      for (int i = 0; i < patch.vertexCount; ++i) {
        if (map[i] != -1) continue;
        const TVec3& p = patch.verts[i];
        const double x = Minv[0] * p[0] + Minv[4] * p[1] + Minv[8] * p[2] + Minv[12] + g[0];
        const double y = Minv[1] * p[0] + Minv[5] * p[1] + Minv[9] * p[2] + Minv[13] + g[1];
        const double z = Minv[2] * p[0] + Minv[6] * p[1] + Minv[10] * p[2] + Minv[14] + g[2];
        map[i] = static_cast<int>(V.size());
        V.emplace_back(x, y, z);
      }
      for (const TPolyIdx& P : patch.polys) T.push_back({map[P[0]], map[P[1]], map[P[2]]});
      added = !patch.polys.empty();
    } else {
      fprintf(stderr, "the patch does not fit the hole; nothing is added\n");
    }
  }
  initFromVertsPolys(V, T);
  fprintf(stderr, "finish Hole filling \n");
  return added;
}

bool TTriangleMesh::createPatch(const TPoints& loop, double s) {
  fprintf(stderr, "start pach creation\n");
  if (loop.size() < 3 || !(s > 0.0)) {
    clear();
    return false;
  }
  double minx = 100000, miny = 100000, maxx = -100000, maxy = -100000;
  for (const TVec3& p : loop) {
    minx = std::min(minx, p[0]);
    miny = std::min(miny, p[1]);
    maxx = std::max(maxx, p[0]);
    maxy = std::max(maxy, p[1]);
  }
  minx -= 4 * s;
  miny -= 4 * s;
  const int W = static_cast<int>((maxx + 4 * s - minx) / s);
  const int H = static_cast<int>((maxy + 4 * s - miny) / s);
  if (W < 2 || H < 2) {
    clear();
    return false;
  }
  auto gridPoint = [&](int r, int x) {
    const double o = (r % 2 == 0) ? s / 4 : -s / 4;
    return TVec3(minx + x * s + o, miny + r * s, 0.0);
  };
  std::vector<int> flag(static_cast<size_t>(W) * H, 0);
  auto F = [&](int r, int x) -> int& { return flag[static_cast<size_t>(r) * W + x]; };
  const int nl = static_cast<int>(loop.size());

#pragma omp parallel for schedule(static) if (W * H > 4096)
  for (int r = 0; r < H; ++r)
    for (int x = 0; x < W; ++x) {
      const TVec3 p = gridPoint(r, x);
      for (int k = 0; k < nl; ++k) {
        if (t_distPointSegment2D(p, loop[(k + nl - 1) % nl], loop[k]) < s + 0.0001) {
          F(r, x) = 1;
          break;
        }
      }
    }

  bool ccw = false, orientationKnown = false;
  for (int r = 0; r < H; ++r) {
    int x = 0;
    while (x < W) {
      if (F(r, x) != 0) {
        ++x;
        continue;
      }
      double sum;
      const TVec3 p = gridPoint(r, x);
      const int val = t_isPointInLoop(p, loop, sum) ? 1 : -1;
      if (val == 1 && !orientationKnown) {
        ccw = sum > 0.0;
        orientationKnown = true;
      }
      while (x < W && F(r, x) == 0) F(r, x++) = val;
    }
  }

  bool changed = true;
  while (changed) {
    changed = false;
    for (int r = 1; r < H - 1; ++r)
      for (int x = 1; x < W - 1; ++x) {
        if (F(r, x) != 1) continue;
        int cnt = (F(r, x - 1) == 1) + (F(r, x + 1) == 1) + (F(r - 1, x) == 1) + (F(r + 1, x) == 1);
        if (r % 2 == 1) cnt += (F(r - 1, x - 1) == 1) + (F(r + 1, x - 1) == 1);
        else cnt += (F(r - 1, x + 1) == 1) + (F(r + 1, x + 1) == 1);
        if (cnt == 2) {
          F(r, x) = -1;
          changed = true;
        }
      }
  }

  std::vector<int> index(flag.size(), -1);
  std::vector<TVec3> V;
  for (int r = 0; r < H; ++r)
    for (int x = 0; x < W; ++x)
      if (F(r, x) == 1) {
        index[static_cast<size_t>(r) * W + x] = static_cast<int>(V.size());
        V.push_back(gridPoint(r, x));
      }
  auto I = [&](int r, int x) { return index[static_cast<size_t>(r) * W + x]; };
  std::vector<TPolyIdx> T;
  auto tri = [&](int r0, int x0, int r1, int x1, int r2, int x2) {
    const int a = I(r0, x0), b = I(r1, x1), c = I(r2, x2);
    if (a >= 0 && b >= 0 && c >= 0) T.push_back({a, b, c});
  };
  for (int r = 0; r < H - 1; ++r) {
    if (r % 2 == 0) {
      for (int x = 0; x < W - 1; ++x) {
        tri(r, x, r + 1, x + 1, r + 1, x);
        tri(r, x, r, x + 1, r + 1, x + 1);
      }
    } else {
      for (int x = 1; x < W; ++x) {
        tri(r, x, r + 1, x - 1, r, x - 1);
        tri(r, x, r + 1, x, r + 1, x - 1);
      }
    }
  }
  if (T.empty()) {
    clear();
    return false;
  }
  if (!initFromVertsPolys(V, T)) {
    clear();
    return false;
  }
  if (!ccw) flipOrientation();
  return true;
}

bool TTriangleMesh::fillHoleAndFair(const TPoints& loop, double s, std::vector<int>& out) {
  out.clear();
  if (!createPatch(loop, s)) return false;
  const int n = static_cast<int>(loop.size());
  std::mt19937 rng(kPatchSeed);
  auto pickBoundaryEdge = [&]() {
    std::vector<int> bnd;
    for (int e = 0; e < edgeCount; ++e)
      if (edges[e].isBoundary()) bnd.push_back(e);
    if (bnd.empty()) return -1;
    std::uniform_int_distribution<size_t> pick(0, bnd.size() - 1);
    return bnd[pick(rng)];
  };

  // A collapse can be refused or can leave a mesh that fails its checks; such attempts
  // are undone and retried, with a bound so that the loop always ends.
  int m = countBoundaryEdges(*this);
  int budget = 20 * std::abs(m - n) + 200;
  while (m > n && budget-- > 0) {
    const int e = pickBoundaryEdge();
    if (e < 0) break;
    TTriangleMesh keep(*this);
    if (!collapseBoundaryEdge(e) || !isValid) {
      copyFrom(keep);
      continue;
    }
    m = countBoundaryEdges(*this);
  }
  while (m < n && budget-- > 0) {
    const int e = pickBoundaryEdge();
    if (e < 0) break;
    double mid[3];
    for (int k = 0; k < 3; ++k) mid[k] = 0.5 * (verts[edges[e].vert0][k] + verts[edges[e].vert1][k]);
    int nv;
    if (!splitEdge(e, mid, nv)) break;
    m = countBoundaryEdges(*this);
  }
  if (m != n) {
    fprintf(stderr, "the patch boundary has %d edges, the hole %d\n", m, n);
    return false;
  }

  int start = -1;
  double best = 0.0;
  std::vector<uint8_t> onBoundary(vertexCount, 0);
  for (const TMeshEdge& e : edges)
    if (e.isBoundary()) onBoundary[e.vert0] = onBoundary[e.vert1] = 1;
  for (int v = 0; v < vertexCount; ++v) {
    if (!onBoundary[v]) continue;
    const double d = t_dist3(verts[v], loop[0]);
    if (start == -1 || d < best) {
      best = d;
      start = v;
    }
  }
  std::vector<int> b, be;
  if (start == -1 || !traceBoundaryLoop(start, b, be) || static_cast<int>(b.size()) != n) return false;
  out.resize(n);
  out[0] = b[0];
  for (int k = 1; k < n; ++k) out[k] = b[n - k];
  return true;
}

bool TTriangleMesh::collapseBoundaryEdge(int e) {
  if (!validEdge(e)) return false;
  const TMeshEdge E = edges[e];
  if ((E.polyA == -1) == (E.polyB == -1)) return false;
  const int P = E.polyA != -1 ? E.polyA : E.polyB;
  for (int k = 0; k < 3; ++k) {
    const int v = polys[P][k];
    const int need = isBoundaryVertex(v) ? 3 : 4;
    if (getValence(v) < need) return false;
  }
  const int a = E.vert0, b = E.vert1;
  std::vector<TVec3> V;
  V.reserve(vertexCount - 1);
  for (int i = 0; i < vertexCount; ++i) {
    if (i == b) continue;
    TVec3 p = verts[i];
    if (i == a)
      for (int k = 0; k < 3; ++k) p[k] = 0.5 * (verts[a][k] + verts[b][k]);
    V.push_back(p);
  }
  std::vector<TPolyIdx> T;
  T.reserve(polyCount - 1);
  for (int i = 0; i < polyCount; ++i) {
    if (i == P) continue;
    TPolyIdx t = polys[i];
    for (int k = 0; k < 3; ++k) {
      if (t[k] == b) t[k] = a;
      if (t[k] > b) --t[k];
    }
    T.push_back(t);
  }
  initFromVertsPolys(V, T);
  return true;
}
