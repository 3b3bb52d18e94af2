// One ray along +x through the centre of every voxel row; inside/outside toggles at each
// crossing.
//
// Rows meet the mesh exactly on edges and vertices as a rule, not as an exception (the
// surfaces of marching cubes put their vertices on the rows of the same grid).  The test
// of a ray against a triangle is therefore made exact in the y-z projection: each edge's
// side function is evaluated from its two end points in one fixed order, so the two
// triangles of an edge see exactly opposite values, and a ray on an edge or a vertex is
// moved off it symbolically (by (eps, eps^2) in (y, z)).  Every surface sheet is then
// crossed exactly once, whatever the triangle sizes.
#include "geom/mesh_rasterise.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "geom/TTriangleMesh.h"

namespace {

struct Hit {
  double x;
  int sign;  // sign of the x component of the triangle's normal
};

// Vertex order for the side functions: by y, then z, then index.
bool before(const TVec3& a, int ia, const TVec3& b, int ib) {
  if (a[1] != b[1]) return a[1] < b[1];
  if (a[2] != b[2]) return a[2] < b[2];
  return ia < ib;
}

// Side of the ray (Y, Z) relative to the directed edge a -> b in the y-z plane, as a value
// (for the barycentric weights) and a sign that is never 0.
double sideOf(const TTriangleMesh& m, int ia, int ib, double Y, double Z, int& sign) {
  const TVec3& A = m.verts[size_t(ia)];
  const TVec3& B = m.verts[size_t(ib)];
  const bool fwd = before(A, ia, B, ib);
  const TVec3& P = fwd ? A : B;
  const TVec3& Q = fwd ? B : A;
  const double dy = Q[1] - P[1], dz = Q[2] - P[2];
  double f = dy * (Z - P[2]) - dz * (Y - P[1]);
  int s;
  if (f > 0) s = 1;
  else if (f < 0) s = -1;
  else s = dz != 0.0 ? (dz > 0 ? -1 : 1) : (dy > 0 ? 1 : -1);  // moved to (Y + eps, Z + eps^2)
  if (!fwd) {
    f = -f;
    s = -s;
  }
  sign = s;
  return f;
}

}  // namespace

bool t_rasterizeMeshToVolume(int W, int H, int D, TTriangleMesh& mesh, const double extent[3], uint8_t* out) {
  if (!out || W <= 0 || H <= 0 || D <= 0) return false;
  std::memset(out, 0, size_t(W) * H * D);
  mesh.updateNormals();
  const int nt = mesh.polyCount;
  if (nt <= 0 || mesh.vertexCount <= 0) return false;
  const double px = extent[0] / W, py = extent[1] / H, pz = extent[2] / D;
  if (!(px > 0.0 && py > 0.0 && pz > 0.0) || !std::isfinite(px + py + pz)) return false;

  // Triangles per slice and their row span, from the bounding box of each triangle (one
  // row of margin; the exact decision is the side test).
  std::vector<int> yLo(static_cast<size_t>(nt)), yHi(static_cast<size_t>(nt));
  std::vector<int> sliceCount(size_t(D) + 1, 0);
  std::vector<int> zLo(static_cast<size_t>(nt)), zHi(static_cast<size_t>(nt));
  for (int t = 0; t < nt; ++t) {
    const TPolyIdx& p = mesh.polys[size_t(t)];
    double ymin = 1e300, ymax = -1e300, zmin = 1e300, zmax = -1e300;
    bool ok = true;
    for (int k = 0; k < 3; ++k) {
      if (p[k] < 0 || p[k] >= mesh.vertexCount) ok = false;
      if (!ok) break;
      const TVec3& v = mesh.verts[size_t(p[k])];
      if (!std::isfinite(v[0])) ok = false;  // no place along the rows to cross them
      ymin = std::min(ymin, v[1]);
      ymax = std::max(ymax, v[1]);
      zmin = std::min(zmin, v[2]);
      zmax = std::max(zmax, v[2]);
    }
    int z0 = 1, z1 = 0;
    if (ok && std::isfinite(ymin + ymax + zmin + zmax)) {
      const double a = std::floor(zmin / pz - 0.5), b = std::ceil(zmax / pz - 0.5);
      const double c = std::floor(ymin / py - 0.5), d = std::ceil(ymax / py - 0.5);
      // Clamped while still doubles: far-off vertices must not overflow the conversion.
      z0 = int(std::min(std::max(a, 0.0), double(D)));
      z1 = int(std::max(std::min(b, double(D - 1)), -1.0));
      yLo[size_t(t)] = int(std::min(std::max(c, 0.0), double(H)));
      yHi[size_t(t)] = int(std::max(std::min(d, double(H - 1)), -1.0));
      if (yLo[size_t(t)] > yHi[size_t(t)]) z1 = z0 - 1;
    }
    zLo[size_t(t)] = z0;
    zHi[size_t(t)] = z1;
    for (int z = z0; z <= z1; ++z) ++sliceCount[size_t(z) + 1];
  }
  for (int z = 0; z < D; ++z) sliceCount[size_t(z) + 1] += sliceCount[size_t(z)];
  std::vector<int> sliceTris(static_cast<size_t>(sliceCount[size_t(D)]));
  {
    std::vector<int> fill(sliceCount.begin(), sliceCount.end() - 1);
    for (int t = 0; t < nt; ++t)
      for (int z = zLo[size_t(t)]; z <= zHi[size_t(t)]; ++z) sliceTris[size_t(fill[size_t(z)]++)] = t;
  }

  bool any = false;
  std::atomic<bool> noMemory{false};
#pragma omp parallel reduction(|| : any)
  {
    std::vector<int> rowCount, rowTris;
    std::vector<Hit> hits, kept;
#pragma omp for schedule(dynamic, 1)
    for (int z = 0; z < D; ++z) {
      if (noMemory.load(std::memory_order_relaxed)) continue;
      try {
        const int s0 = sliceCount[size_t(z)], s1 = sliceCount[size_t(z) + 1];
        if (s0 == s1) continue;
        rowCount.assign(size_t(H) + 1, 0);
        for (int s = s0; s < s1; ++s) {
          const int t = sliceTris[size_t(s)];
          for (int y = yLo[size_t(t)]; y <= yHi[size_t(t)]; ++y) ++rowCount[size_t(y) + 1];
        }
        for (int y = 0; y < H; ++y) rowCount[size_t(y) + 1] += rowCount[size_t(y)];
        rowTris.resize(size_t(rowCount[size_t(H)]));
        {
          std::vector<int> fill(rowCount.begin(), rowCount.end() - 1);
          for (int s = s0; s < s1; ++s) {
            const int t = sliceTris[size_t(s)];
            for (int y = yLo[size_t(t)]; y <= yHi[size_t(t)]; ++y) rowTris[size_t(fill[size_t(y)]++)] = t;
          }
        }
        const double Z = (z + 0.5) * pz;
        for (int y = 0; y < H; ++y) {
          const int r0 = rowCount[size_t(y)], r1 = rowCount[size_t(y) + 1];
          if (r0 == r1) continue;
          const double Y = (y + 0.5) * py;
          hits.clear();
          for (int r = r0; r < r1; ++r) {
            const TPolyIdx& p = mesh.polys[size_t(rowTris[size_t(r)])];
            const TVec3& A = mesh.verts[size_t(p[0])];
            const TVec3& B = mesh.verts[size_t(p[1])];
            const TVec3& C = mesh.verts[size_t(p[2])];
            // A triangle seen edge-on (normal without x component) is never crossed.
            const double det = (B[1] - A[1]) * (C[2] - A[2]) - (C[1] - A[1]) * (B[2] - A[2]);
            if (det == 0.0) continue;
            int sa, sb, sc;
            const double fc = sideOf(mesh, p[0], p[1], Y, Z, sc);  // weight of C
            const double fa = sideOf(mesh, p[1], p[2], Y, Z, sa);  // weight of A
            const double fb = sideOf(mesh, p[2], p[0], Y, Z, sb);  // weight of B
            if (sa != sb || sb != sc) continue;
            const double sum = fa + fb + fc;
            double x;
            if (sum != 0.0) x = (fa * A[0] + fb * B[0] + fc * C[0]) / sum;
            else x = (A[0] + B[0] + C[0]) / 3.0;
            hits.push_back({x, sa});
          }
          if (hits.empty()) continue;
          std::stable_sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) { return a.x < b.x; });
          // Neighbouring crossings of one orientation are one crossing counted twice.
          kept.clear();
          for (const Hit& h : hits)
            if (kept.empty() || kept.back().sign != h.sign) kept.push_back(h);
          if (kept.size() == 1) continue;
          uint8_t* rowOut = out + size_t(W) * (size_t(y) + size_t(H) * z);
          int state = 0, next = 0;
          for (const Hit& h : kept) {
            // Voxels whose centre lies at or before the crossing take the state before it.
            const double kk = std::floor((h.x - 0.5 * px) / px);
            const int k = kk < -1.0 ? -1 : (kk > double(W - 1) ? W - 1 : int(kk));
            if (state == 1 && k >= next) {
              std::memset(rowOut + next, 1, size_t(k - next + 1));
              any = true;
            }
            if (k + 1 > next) next = k + 1;
            state ^= 1;
          }
          if (state == 1) fprintf(stderr, "fail      strange mesh shape !!!!!!!");
        }
      } catch (const std::bad_alloc&) {
        // An exception must not leave the parallel region: it is thrown again after it.
        noMemory.store(true, std::memory_order_relaxed);
      }
    }
  }
  if (noMemory.load()) throw std::bad_alloc();
  return any;
}
