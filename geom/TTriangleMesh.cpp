// Construction, topology, normals, rings and whole-mesh operations of TTriangleMesh.
#include "geom/TTriangleMesh.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <unordered_map>

#include "geom/omp_exceptions.h"
#include "platform/LargeMemory.h"

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

namespace {

// Large meshes are built with several threads; small ones (hole patches, shapes) on one.
constexpr int kParallelPolys = 8192;
static_assert(sizeof(TPolyIdx) == 3 * sizeof(int), "polyEdges is read as one array of sides");

bool freshTableHolds(const TTriangleMesh& m, int crowded);

// Unit normal of every triangle (zero when degenerate).
void computePolyNormals(TTriangleMesh& m) {
#pragma omp parallel for schedule(dynamic, 16384) if (m.polyCount > kParallelPolys)
  for (int i = 0; i < m.polyCount; ++i) {
    const TPolyIdx& t = m.polys[i];
    double a[3], b[3], n[3];
    t_sub3(m.verts[t[1]], m.verts[t[0]], a);
    t_sub3(m.verts[t[2]], m.verts[t[0]], b);
    t_cross3(a, b, n);
    if (!t_normalize3(n)) n[0] = n[1] = n[2] = 0.0;
    m.polyNormals[i].set(n[0], n[1], n[2]);
  }
}

// Reserves room for n elements, asking the kernel to back a large block with huge pages:
// the mesh arrays are filled once, right after, and a fresh 4 KiB page costs a fault each.
template <class T>
void reserveFresh(std::vector<T>& v, size_t n) {
  v.reserve(n);
  if (n * sizeof(T) >= 4 * kHugePageBytes) t_adviseHugePages(v.data(), n * sizeof(T));
}

template <class T>
void resizeFresh(std::vector<T>& v, size_t n) {
  if (v.capacity() < n) {
    std::vector<T>().swap(v);
    reserveFresh(v, n);
  }
  v.resize(n);
}

// Splits [0, n) into blocks of at least minSize for the threads, several a thread so that
// one thread held up by the machine delays little.
int blockCount(long long n, long long minSize) {
  const long long want = 4LL * std::max(1, omp_get_max_threads());
  return static_cast<int>(std::max(1LL, std::min(want, n / std::max(1LL, minSize))));
}
long long blockStart(long long n, int blocks, int b) { return n * b / blocks; }

// The triangles around every vertex in increasing triangle order, as compressed rows:
// those of vertex v are tris[start[v] .. start[v + 1]).
struct VertexFans {
  std::vector<int> start, tris;

  VertexFans(int vertexCount, const std::vector<TPolyIdx>& polys) {
    const int n = static_cast<int>(polys.size());
    resizeFresh(start, static_cast<size_t>(vertexCount) + 1);
    resizeFresh(tris, static_cast<size_t>(n) * 3);
    if (n <= kParallelPolys || !buildInBlocks(vertexCount, polys)) buildSequential(vertexCount, polys);
  }
  const int* begin(int v) const { return tris.data() + start[v]; }
  const int* end(int v) const { return tris.data() + start[v + 1]; }

 private:
  // Counting sort in one sweep.
  void buildSequential(int vertexCount, const std::vector<TPolyIdx>& polys) {
    std::fill(start.begin(), start.end(), 0);
    for (const TPolyIdx& t : polys)
      for (int k = 0; k < 3; ++k) ++start[static_cast<size_t>(t[k]) + 1];
    for (int v = 0; v < vertexCount; ++v) start[v + 1] += start[v];
    std::vector<int> fill(start.begin(), start.end() - 1);
    const int n = static_cast<int>(polys.size());
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) tris[fill[polys[i][k]]++] = i;
  }

  // The same sort by blocks of triangles: each block counts into an array over the vertex
  // range it refers to, and fills its part of every row after the parts of the blocks
  // before it.  Meshes whose triangles refer to nearby vertices (the surfaces from
  // volumes) have short ranges; false when the ranges would need much more memory than
  // the rows themselves.
  bool buildInBlocks(int vertexCount, const std::vector<TPolyIdx>& polys) {
    const int n = static_cast<int>(polys.size());
    const int nb = blockCount(n, kParallelPolys);
    if (nb < 2) return false;
    std::vector<int> lo(static_cast<size_t>(nb)), hi(static_cast<size_t>(nb));
    std::vector<std::vector<int>> count(static_cast<size_t>(nb));
#pragma omp parallel for schedule(dynamic, 1)
    for (int c = 0; c < nb; ++c) {
      int a = vertexCount, z = -1;
      for (long long i = blockStart(n, nb, c); i < blockStart(n, nb, c + 1); ++i)
        for (int k = 0; k < 3; ++k) {
          a = std::min(a, polys[i][k]);
          z = std::max(z, polys[i][k]);
        }
      lo[c] = a;
      hi[c] = z;
    }
    long long span = 0;
    for (int c = 0; c < nb; ++c) span += std::max(0, hi[c] - lo[c] + 1);
    if (span > 2LL * vertexCount + 4LL * kParallelPolys) return false;
    TOmpExceptions errors;
#pragma omp parallel
    {
#pragma omp for schedule(dynamic, 1)
      for (int c = 0; c < nb; ++c) {
        std::vector<int>& cnt = count[c];
        errors.run([&] { cnt.assign(static_cast<size_t>(std::max(0, hi[c] - lo[c] + 1)), 0); });
        if (errors.failed()) continue;
        const int base = lo[c];
        for (long long i = blockStart(n, nb, c); i < blockStart(n, nb, c + 1); ++i)
          for (int k = 0; k < 3; ++k) ++cnt[polys[i][k] - base];
      }
      // Row lengths, then (after the prefix sum) each block's first slot in each row.  After
      // a failed allocation the loops do nothing.
      const int rows = errors.failed() ? 0 : vertexCount;
      const int blocks = errors.failed() ? 0 : nb;
#pragma omp for schedule(dynamic, 16384)
      for (int v = 0; v < rows; ++v) {
        int d = 0;
        for (int c = 0; c < nb; ++c)
          if (v >= lo[c] && v <= hi[c]) d += count[c][v - lo[c]];
        start[static_cast<size_t>(v) + 1] = d;
      }
#pragma omp single
      {
        start[0] = 0;
        for (int v = 0; v < rows; ++v) start[v + 1] += start[v];
      }
#pragma omp for schedule(dynamic, 16384)
      for (int v = 0; v < rows; ++v) {
        int s = start[v];
        for (int c = 0; c < nb; ++c)
          if (v >= lo[c] && v <= hi[c]) {
            const int d = count[c][v - lo[c]];
            count[c][v - lo[c]] = s;
            s += d;
          }
      }
#pragma omp for schedule(dynamic, 1)
      for (int c = 0; c < blocks; ++c) {
        int* fill = count[c].data();
        const int base = lo[c];
        for (long long i = blockStart(n, nb, c); i < blockStart(n, nb, c + 1); ++i)
          for (int k = 0; k < 3; ++k) tris[fill[polys[i][k] - base]++] = static_cast<int>(i);
      }
    }
    errors.rethrow();
    return true;
  }
};

// Sums the normals of the triangles around each vertex, in triangle order (the same sums,
// bit for bit, as one sweep over the triangles), and normalises them.
void sumVertexNormals(TTriangleMesh& m, const VertexFans& fans) {
  resizeFresh(m.vertNormals, static_cast<size_t>(m.vertexCount));
#pragma omp parallel for schedule(dynamic, 8192) if (m.polyCount > kParallelPolys)
  for (int v = 0; v < m.vertexCount; ++v) {
    double s[3] = {0.0, 0.0, 0.0};
    for (const int* t = fans.begin(v); t != fans.end(v); ++t) {
      const TVec3& n = m.polyNormals[*t];
      if (n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0) continue;
      s[0] += n[0];
      s[1] += n[1];
      s[2] += n[2];
    }
    TVec3& vn = m.vertNormals[v];
    vn.set(s[0], s[1], s[2]);
    t_normalize3(vn);
  }
}

// The winged-edge table from the vertex fans.  Edges are numbered in the order in which
// the triangle sides first meet them (triangle by triangle, side 0, 1, 2); the first side
// of an edge in each direction links its triangle into the edge, a later side in the same
// direction (a third triangle on the edge) keeps the edge in polyEdges only.  Returns the
// first edge that more than two sides share, or -1.
int buildEdgeTable(TTriangleMesh& m, const VertexFans& fans) {
  const int np = m.polyCount;
  const long long sides = static_cast<long long>(np) * 3;
  const std::vector<TPolyIdx>& P = m.polys;
  const bool par = np > kParallelPolys;
  enum : uint8_t { kFirst = 1, kLinked = 2, kCrowded = 4 };
  // Each polyEdges entry first holds the side index of its edge's first side.  The sides
  // of the edges whose smaller vertex is v all lie in v's fan, in side order, so each
  // vertex settles its edges alone.
  resizeFresh(m.polyEdges, static_cast<size_t>(np));
  int* sideEdge = np ? m.polyEdges[0].data() : nullptr;
  std::vector<uint8_t> flags;
  resizeFresh(flags, static_cast<size_t>(sides));
  TOmpExceptions errors;
#pragma omp parallel if (par)
  {
    struct Side {
      int hi, side;
      bool fromLo;
    };
    std::vector<Side> list;
#pragma omp for schedule(dynamic, 8192)
    for (int v = 0; v < m.vertexCount; ++v) {
      // The list grows with the longest fan so far.
      errors.run([&] { list.reserve(static_cast<size_t>(2 * (fans.end(v) - fans.begin(v)))); });
      if (errors.failed()) continue;
      list.clear();
      for (const int* it = fans.begin(v); it != fans.end(v); ++it) {
        const int t = *it;
        const TPolyIdx& Q = P[t];
        const int p = Q[0] == v ? 0 : (Q[1] == v ? 1 : 2);
        const int q = (p + 2) % 3;  // the side that ends at v
        const int out = Q[(p + 1) % 3], in = Q[q];
        if (q < p && in > v) list.push_back({in, 3 * t + q, false});
        if (out > v) list.push_back({out, 3 * t + p, true});
        if (q > p && in > v) list.push_back({in, 3 * t + q, false});
      }
      const int n = static_cast<int>(list.size());
      for (int j = 0; j < n; ++j) {
        int first = -1, earlier = 0;
        bool isLinked = true;
        for (int e = 0; e < j; ++e) {
          if (list[e].hi != list[j].hi) continue;
          if (first < 0) first = list[e].side;
          ++earlier;
          if (list[e].fromLo == list[j].fromLo) isLinked = false;
        }
        const int s = list[j].side;
        sideEdge[s] = first < 0 ? s : first;
        flags[s] = uint8_t((first < 0 ? kFirst : 0) | (isLinked ? kLinked : 0));
        if (earlier == 2) flags[first] |= kCrowded;
      }
    }
  }
  errors.rethrow();

  // Number the first sides: each block of sides counts its own, numbers them after the
  // blocks before it, and then the other sides take their first side's number.
  const int nb = par ? blockCount(sides, 3LL * kParallelPolys) : 1;
  std::vector<int> firstOf(static_cast<size_t>(nb) + 1, 0), crowdedOf(static_cast<size_t>(nb), -1);
#pragma omp parallel if (par)
  {
#pragma omp for schedule(dynamic, 1)
    for (int c = 0; c < nb; ++c) {
      int k = 0;
      for (long long s = blockStart(sides, nb, c); s < blockStart(sides, nb, c + 1); ++s) k += flags[s] & kFirst;
      firstOf[c + 1] = k;
    }
#pragma omp single
    for (int c = 0; c < nb; ++c) firstOf[c + 1] += firstOf[c];
#pragma omp for schedule(dynamic, 1)
    for (int c = 0; c < nb; ++c) {
      int e = firstOf[c];
      for (long long s = blockStart(sides, nb, c); s < blockStart(sides, nb, c + 1); ++s) {
        if (!(flags[s] & kFirst)) continue;
        if ((flags[s] & kCrowded) && crowdedOf[c] < 0) crowdedOf[c] = e;
        sideEdge[s] = e++;
      }
    }
    // Reads first sides only, all numbered now; writes the others.
#pragma omp for schedule(dynamic, 1)
    for (int c = 0; c < nb; ++c)
      for (long long s = blockStart(sides, nb, c); s < blockStart(sides, nb, c + 1); ++s)
        if (!(flags[s] & kFirst)) sideEdge[s] = sideEdge[sideEdge[s]];
  }
  const int total = firstOf[nb];
  int crowded = -1;
  for (int c = 0; c < nb && crowded < 0; ++c) crowded = crowdedOf[c];

  std::vector<TMeshEdge> recs;
  resizeFresh(recs, static_cast<size_t>(total));
#pragma omp parallel for schedule(dynamic, 8192) if (par)
  for (int i = 0; i < np; ++i) {
    const TPolyIdx& E = m.polyEdges[i];
    // Each record field has exactly one writer: vert0/vert1 the edge's first side, the A
    // fields its first side running from the smaller vertex, the B fields the other way.
    for (int k = 0; k < 3; ++k) {
      const int a = P[i][k], b = P[i][(k + 1) % 3];
      const uint8_t f = flags[3 * static_cast<size_t>(i) + k];
      TMeshEdge& R = recs[E[k]];
      if (f & kFirst) {
        R.vert0 = a < b ? a : b;
        R.vert1 = a < b ? b : a;
      }
      if (!(f & kLinked)) continue;
      const int before = E[(k + 2) % 3], after = E[(k + 1) % 3];
      if (a < b) {
        R.polyA = i;
        R.wingA0 = before;
        R.wingA1 = after;
      } else {
        R.polyB = i;
        R.wingB1 = before;
        R.wingB0 = after;
      }
    }
  }

  // The incident edge of a vertex: the last side touching it in triangle order.
  resizeFresh(m.vertEdge, static_cast<size_t>(m.vertexCount));
#pragma omp parallel for schedule(dynamic, 16384) if (par)
  for (int v = 0; v < m.vertexCount; ++v) {
    if (fans.begin(v) == fans.end(v)) {
      m.vertEdge[v] = -1;
      continue;
    }
    const int t = fans.end(v)[-1];
    const int p = P[t][0] == v ? 0 : (P[t][1] == v ? 1 : 2);
    m.vertEdge[v] = m.polyEdges[t][p == 1 ? 1 : 2];
  }
  m.edgeCount = total;
  m.edges.swap(recs);
  return crowded;
}

}  // namespace

void TTriangleMesh::buildEdges() {
  // The fan construction assumes three distinct corners in range (initFromVertsPolys
  // refuses anything else); a mesh edited into another state takes the sequential path.
  for (const TPolyIdx& t : polys)
    for (int k = 0; k < 3; ++k)
      if (t[k] < 0 || t[k] >= vertexCount || t[k] == t[(k + 1) % 3]) {
        buildEdgesSequential();
        return;
      }
  const VertexFans fans(vertexCount, polys);
  buildEdgeTable(*this, fans);
}

bool TTriangleMesh::initFromVertsPolys(const std::vector<TVec3>& points, const std::vector<TPolyIdx>& triangles) {
  clear();
  // Mesh data also comes from files: refuse indices that would reach outside the
  // vertex array or give an edge from a vertex to itself.
  const long long nv = static_cast<long long>(points.size());
  const int nt = static_cast<int>(triangles.size());
  int badCount = 0;
#pragma omp parallel for schedule(static) reduction(+ : badCount) if (nt > kParallelPolys)
  for (int i = 0; i < nt; ++i) {
    const TPolyIdx& t = triangles[i];
    const bool bad = t[0] < 0 || t[0] >= nv || t[1] < 0 || t[1] >= nv || t[2] < 0 || t[2] >= nv ||
                     t[0] == t[1] || t[1] == t[2] || t[2] == t[0];
    badCount += bad ? 1 : 0;
  }
  for (int i = 0; badCount > 0 && i < nt; ++i) {
    const TPolyIdx& t = triangles[i];
    for (int k = 0; k < 3; ++k) {
      if (t[k] < 0 || t[k] >= nv) {
        fprintf(stderr, "polygon %d refers to vertex %d, which does not exist (%d vertices)\n", i, t[k],
                static_cast<int>(nv));
        return false;
      }
    }
    if (t[0] == t[1] || t[1] == t[2] || t[2] == t[0]) {
      fprintf(stderr, "polygon %d uses one vertex twice (%d %d %d)\n", i, t[0], t[1], t[2]);
      return false;
    }
  }
  vertexCount = static_cast<int>(points.size());
  reserveFresh(verts, points.size());
  verts.assign(points.begin(), points.end());
  polyCount = nt;
  reserveFresh(polys, triangles.size());
  polys.assign(triangles.begin(), triangles.end());

  resizeFresh(polyNormals, static_cast<size_t>(polyCount));
  computePolyNormals(*this);
  const VertexFans fans(vertexCount, polys);
  sumVertexNormals(*this, fans);
  const int crowded = buildEdgeTable(*this, fans);

  isValid = 0;
  if (hasNonManifoldBoundary()) {
    fprintf(stderr, "this mesh has one or more viertices that connected to more than 2 boundary edges\n");
    return false;
  }
  if (!freshTableHolds(*this, crowded)) {
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
  computePolyNormals(*this);
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

void TTriangleMesh::buildEdgesSequential() {
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
  TOmpExceptions errors;
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
      errors.run([&] {
        std::unordered_map<int, int> first;
        for (int j = b0; j < b1; ++j) rep[bucket[j]] = first.emplace(hiOf(bucket[j]), bucket[j]).first->second;
      });
    }
  }
  errors.rethrow();

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
  bool found = false;
#pragma omp parallel for schedule(static, 4096) if (edgeCount > 3 * kParallelPolys)
  for (int e = 0; e < edgeCount; ++e) {
    const TMeshEdge& E = edges[e];
    if (!E.isBoundary()) continue;
    const int c0 = __atomic_add_fetch(&count[E.vert0], 1, __ATOMIC_RELAXED);
    const int c1 = __atomic_add_fetch(&count[E.vert1], 1, __ATOMIC_RELAXED);
    if (c0 >= 3 || c1 >= 3) __atomic_store_n(&found, true, __ATOMIC_RELAXED);
  }
  return found;
}

namespace {
bool sameTriple(int a, int b, int c, int x, int y, int z) {
  return (a == x && ((b == y && c == z) || (b == z && c == y))) ||
         (a == y && ((b == x && c == z) || (b == z && c == x))) ||
         (a == z && ((b == x && c == y) || (b == y && c == x)));
}

// The smallest e in [0, n) for which fails(e) holds, or n; several threads for large n.
template <class F>
int firstFailing(int n, F fails) {
  int first = n;
#pragma omp parallel for schedule(static, 4096) reduction(min : first) if (n > 3 * kParallelPolys)
  for (int e = 0; e < n; ++e)
    if (e < first && fails(e)) first = e;
  return first;
}

// A triangle whose side is not linked into the edge it refers to: on an edge of at most two
// triangles, both run it the same way (one of them is turned over).  Reports the first one.
bool reportUnlinkedSide(const TTriangleMesh& m) {
  auto unlinked = [&](int i, int k) {
    const int e = m.polyEdges[i][k];
    return e >= 0 && e < m.edgeCount && m.edges[e].polyA != i && m.edges[e].polyB != i;
  };
  const int bad = firstFailing(m.polyCount, [&](int i) { return unlinked(i, 0) || unlinked(i, 1) || unlinked(i, 2); });
  if (bad >= m.polyCount) return false;
  const int k = unlinked(bad, 0) ? 0 : (unlinked(bad, 1) ? 1 : 2);
  fprintf(stderr, "polygon %d is not linked into its edge %d: a neighbour runs that edge the same way\n", bad,
          m.polyEdges[bad][k]);
  return true;
}
}  // namespace

// Three sweeps over the edges, each reporting its first faulty edge: distinct wings,
// the links of each side (and at most two triangles an edge), opposite directions.
bool TTriangleMesh::checkTopology() const {
  std::vector<int> refs(edgeCount, 0);
#pragma omp parallel for schedule(static, 4096) if (polyCount > kParallelPolys)
  for (int i = 0; i < polyCount; ++i)
    for (int k = 0; k < 3; ++k) {
      const int e = polyEdges[i][k];
      if (e >= 0 && e < edgeCount) __atomic_fetch_add(&refs[e], 1, __ATOMIC_RELAXED);
    }

  auto wingsRepeat = [&](int e) {
    const TMeshEdge& E = edges[e];
    if (E.polyA == -1 || E.polyB == -1) return false;
    const int w[4] = {E.wingA0, E.wingA1, E.wingB0, E.wingB1};
    for (int i = 0; i < 4; ++i)
      for (int j = i + 1; j < 4; ++j)
        if (w[i] == w[j]) return true;
    return false;
  };
  int bad = firstFailing(edgeCount, wingsRepeat);
  if (bad < edgeCount) {
    const TMeshEdge& E = edges[bad];
    fprintf(stderr, "wrong #52 %d    %d %d %d %d\n", bad, E.wingA0, E.wingA1, E.wingB0, E.wingB1);
    return false;
  }

  auto farEnd = [&](int w, int from) -> int {
    if (w < 0 || w >= edgeCount) return -1;
    return edges[w].vert0 == from ? edges[w].vert1 : edges[w].vert0;
  };
  auto validPoly = [&](int p) { return p >= 0 && p < polyCount; };
  // The fault of edge e's links as the message to print, or null.
  auto linkFault = [&](int e, char* msg, size_t size) -> bool {
    const TMeshEdge& E = edges[e];
    if (refs[e] > 2) {
      if (msg) snprintf(msg, size, "edge[%d] is referred from %d polygons!\n", e, refs[e]);
      return true;
    }
    if (E.polyA != -1) {
      const int c0 = farEnd(E.wingA0, E.vert0), c1 = farEnd(E.wingA1, E.vert1);
      if (c0 == -1 || c0 != c1 || !validPoly(E.polyA)) {
        if (msg) snprintf(msg, size, "wrong #1 edge == %d\n", e);
        return true;
      }
      const TPolyIdx& P = polys[E.polyA];
      if (!sameTriple(P[0], P[1], P[2], E.vert0, E.vert1, c0)) {
        if (msg) snprintf(msg, size, "wrong #2 edge == %d\n", e);
        return true;
      }
      const TPolyIdx& PE = polyEdges[E.polyA];
      if (!sameTriple(PE[0], PE[1], PE[2], e, E.wingA0, E.wingA1)) {
        if (msg) snprintf(msg, size, "wrong #3 edge == %d\n", e);
        return true;
      }
    }
    if (E.polyB != -1) {
      const int c0 = farEnd(E.wingB0, E.vert0), c1 = farEnd(E.wingB1, E.vert1);
      if (c0 == -1 || c0 != c1 || !validPoly(E.polyB)) {
        if (msg) snprintf(msg, size, "wrong #4 edge == %d\n", e);
        return true;
      }
      const TPolyIdx& P = polys[E.polyB];
      const TPolyIdx& PE = polyEdges[E.polyB];
      if (!sameTriple(P[0], P[1], P[2], E.vert0, E.vert1, c0) ||
          !sameTriple(PE[0], PE[1], PE[2], e, E.wingB0, E.wingB1)) {
        if (msg) snprintf(msg, size, "wrong #2 edge == %d\n", e);
        return true;
      }
    }
    return false;
  };
  bad = firstFailing(edgeCount, [&](int e) { return linkFault(e, nullptr, 0); });
  if (bad < edgeCount) {
    char msg[96];
    linkFault(bad, msg, sizeof msg);
    fputs(msg, stderr);
    return false;
  }

  // Both triangles of an interior edge must run it in opposite directions: polyA from
  // vert0 to vert1, polyB from vert1 to vert0.
  auto runs = [&](int p, int from, int to) {
    const TPolyIdx& P = polys[p];
    for (int k = 0; k < 3; ++k)
      if (P[k] == from && P[(k + 1) % 3] == to) return true;
    return false;
  };
  bad = firstFailing(edgeCount, [&](int e) {
    const TMeshEdge& E = edges[e];
    if (E.polyA == -1 || E.polyB == -1) return false;
    return !(runs(E.polyA, E.vert0, E.vert1) && runs(E.polyB, E.vert1, E.vert0));
  });
  if (bad < edgeCount) {
    const TMeshEdge& E = edges[bad];
    const TPolyIdx& A = polys[E.polyA];
    const TPolyIdx& B = polys[E.polyB];
    if (A[0] == B[0] || A[0] == B[1] || A[0] == B[2]) {
      fprintf(stderr, "wrong #11 %d \n", bad);
    } else if (A[1] == B[0]) {
      fprintf(stderr, "wrong122\n");
    } else if (A[1] == B[1]) {
      fprintf(stderr, "wrong12\n");
    } else {
      fprintf(stderr, "wrong1123143\n");
    }
    return false;
  }
  return !reportUnlinkedSide(*this);
}

namespace {

// checkTopology for a table just built from valid triangles, where most of its checks
// hold by construction: the wings, corners and directions of every linked side come
// from that side's own triangle.  What remains are the repeated wings of two triangles
// on the same three vertices, the edges of more than two triangles and the triangles left
// out of an edge; the verdict and the message are those of checkTopology.
bool freshTableHolds(const TTriangleMesh& m, int crowded) {
  const int bad = firstFailing(m.edgeCount, [&](int e) {
    const TMeshEdge& E = m.edges[e];
    if (E.polyA == -1 || E.polyB == -1) return false;
    return E.wingA0 == E.wingA1 || E.wingA0 == E.wingB0 || E.wingA0 == E.wingB1 || E.wingA1 == E.wingB0 ||
           E.wingA1 == E.wingB1 || E.wingB0 == E.wingB1;
  });
  if (bad < m.edgeCount) {
    const TMeshEdge& E = m.edges[bad];
    fprintf(stderr, "wrong #52 %d    %d %d %d %d\n", bad, E.wingA0, E.wingA1, E.wingB0, E.wingB1);
    return false;
  }
  if (crowded >= 0) {
    int refs = 0;
    for (const TPolyIdx& E : m.polyEdges) refs += (E[0] == crowded) + (E[1] == crowded) + (E[2] == crowded);
    fprintf(stderr, "edge[%d] is referred from %d polygons!\n", crowded, refs);
    return false;
  }
  return !reportUnlinkedSide(m);
}

}  // namespace

void TTriangleMesh::updateRingLists() {
  if (rings.capacity() < static_cast<size_t>(vertexCount)) {
    std::vector<std::vector<int>>().swap(rings);
    reserveFresh(rings, static_cast<size_t>(vertexCount));
  }
  rings.assign(vertexCount, std::vector<int>());
  TOmpExceptions errors;
#pragma omp parallel if (vertexCount > 8192)
  {
    // Walk into a scratch list, then copy it: one allocation of the right size a vertex.
    std::vector<int> scratch;
#pragma omp for schedule(dynamic, 1024)
    for (int v = 0; v < vertexCount; ++v)
      errors.run([&] {
        getRingVerts(v, scratch);
        rings[v].assign(scratch.begin(), scratch.end());
      });
  }
  errors.rethrow();
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
