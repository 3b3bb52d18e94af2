#include "modes/vis/organ_sections.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <set>
#include <stdexcept>

#include "geom/marching_cubes.h"
#include "geom/vec3.h"
#include "platform/LargeMemory.h"
#include "volume/volume_filters.h"

namespace {

inline std::size_t idx(int x, int y, int z, int W, int H) {
  return std::size_t(x) + std::size_t(W) * (std::size_t(y) + std::size_t(H) * std::size_t(z));
}

// The class of every mask id: bit 0 organ, 1 highlight, 2 vessel, 3 tumour.
std::array<uint8_t, 256> idClasses(const TOrganIds& ids) {
  std::array<uint8_t, 256> c{};
  for (int i = 0; i < 256; ++i) {
    auto flag = [i](const std::vector<unsigned char>& v) { return i < int(v.size()) && v[i] != 0; };
    c[i] = uint8_t((flag(ids.organ) ? 1 : 0) | (flag(ids.highlight) ? 2 : 0) | (flag(ids.vessel) ? 4 : 0) |
                   (flag(ids.tumour) ? 8 : 0));
  }
  return c;
}

// Squared distance transform along one line of n samples spaced s apart (lower envelope of
// parabolas).  v, z: scratch of n and n + 1 entries.
void distanceLine(const double* f, int n, double s, double* d, int* v, double* z) {
  const double inf = std::numeric_limits<double>::infinity();
  int k = 0;
  v[0] = 0;
  z[0] = -inf;
  z[1] = inf;
  auto cross = [&](int q, int p) {
    const double xq = s * q, xp = s * p;
    return ((f[q] + xq * xq) - (f[p] + xp * xp)) / (2.0 * (xq - xp));
  };
  for (int q = 1; q < n; ++q) {
    double c = cross(q, v[k]);
    while (c <= z[k]) {
      --k;
      c = cross(q, v[k]);
    }
    ++k;
    v[k] = q;
    z[k] = c;
    z[k + 1] = inf;
  }
  k = 0;
  for (int q = 0; q < n; ++q) {
    while (z[k + 1] < s * q) ++k;
    const double t = s * (q - v[k]);
    d[q] = t * t + f[v[k]];
  }
}

void progressAt(const std::function<void(double)>& progress, double f) {
  if (progress) progress(f);
}

bool stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_acquire); }

void keepSplitSeed(std::vector<uint8_t>& B) {
  for (uint8_t& b : B) b = b >= 254 ? 255 : 0;
}

void setSurface(ClipSurface& s, const TTriangleMesh& m) {
  s.clear();
  s.setFromMesh(m);
}

}  // namespace

void splitByNearerSide(int W, int H, int D, uint8_t* B) {
  if (!B || W <= 0 || H <= 0 || D <= 0) return;
  std::vector<std::size_t> frontA, frontB;
  // The first layer of each side is found before either side claims anything.
  std::vector<uint8_t> first(std::size_t(W) * H * D, 0);
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const std::size_t i = idx(x, y, z, W, H);
        if (B[i] != 1) continue;
        const int nb[6][3] = {{x - 1, y, z}, {x + 1, y, z}, {x, y - 1, z}, {x, y + 1, z}, {x, y, z - 1}, {x, y, z + 1}};
        bool seed = false, background = false;
        for (const auto& n : nb) {
          if (n[0] < 0 || n[1] < 0 || n[2] < 0 || n[0] >= W || n[1] >= H || n[2] >= D) continue;
          const uint8_t v = B[idx(n[0], n[1], n[2], W, H)];
          seed |= v == 255;
          background |= v == 0;
        }
        if (seed) first[i] = 254;
        else if (background) first[i] = 2;
      }
  for (std::size_t i = 0; i < first.size(); ++i) {
    if (first[i] == 254) {
      B[i] = 254;
      frontA.push_back(i);
    } else if (first[i] == 2) {
      B[i] = 2;
      frontB.push_back(i);
    }
  }
  auto grow = [&](std::vector<std::size_t>& front, uint8_t label) {
    std::vector<std::size_t> next;
    for (std::size_t i : front) {
      const int x = int(i % W), y = int((i / W) % H), z = int(i / (std::size_t(W) * H));
      for (int dz = -1; dz <= 1; ++dz)
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int a = x + dx, b = y + dy, c = z + dz;
            if (a < 0 || b < 0 || c < 0 || a >= W || b >= H || c >= D) continue;
            const std::size_t j = idx(a, b, c, W, H);
            if (B[j] != 1) continue;
            B[j] = label;
            next.push_back(j);
          }
    }
    front.swap(next);
  };
  while (!frontA.empty() || !frontB.empty()) {
    grow(frontA, 254);
    grow(frontB, 2);
  }
}

void pushOutFromTumour(const TTriangleMesh& T, TTriangleMesh& S, double d) {
  if (T.vertexCount == 0 || S.vertexCount == 0) return;
  const auto* tv = reinterpret_cast<const double(*)[3]>(T.verts.data());
  for (int i = 0; i < S.vertexCount; ++i) {
    double* p = S.verts[i].data();
    int nearest = -1;
    double d2 = 0;
    t_nearestPointIndex(T.vertexCount, tv, p, nearest, d2);
    if (nearest < 0 || d2 > 9.0 * d * d) continue;
    double q[3];
    int poly = -1;
    const double* n = nullptr;
    if (T.projectPoint(p, q, poly) && poly >= 0) {
      n = T.polyNormals[poly].data();
    } else {
      for (int k = 0; k < 3; ++k) q[k] = T.verts[nearest][k];
      n = T.vertNormals[nearest].data();
    }
    if (t_dist3(p, q) < d)
      for (int k = 0; k < 3; ++k) p[k] = q[k] + d * n[k];
  }
  S.updateNormals();
  S.smoothLM2(0.01);
}

std::vector<float> t_squaredDistanceMm(int W, int H, int D, const uint8_t* vol, const double pitch[3]) {
  const std::size_t n = std::size_t(W) * H * D;
  std::vector<float> out(n, std::numeric_limits<float>::infinity());
  if (!vol || n == 0) return out;
  const double big = 1e30;
  std::vector<double> g(n);
  bool any = false;
  for (std::size_t i = 0; i < n; ++i) {
    g[i] = vol[i] == 255 ? 0.0 : big;
    any |= vol[i] == 255;
  }
  if (!any) return out;
  const int dims[3] = {W, H, D};
  const std::size_t strides[3] = {1, std::size_t(W), std::size_t(W) * H};
  const int longest = std::max({W, H, D});
  for (int axis = 0; axis < 3; ++axis) {
    const int len = dims[axis];
    const std::size_t stride = strides[axis];
    const int o1 = axis == 0 ? 1 : 0, o2 = axis == 2 ? 1 : 2;  // the two other axes
    const int n1 = dims[o1], n2 = dims[o2];
#pragma omp parallel
    {
      std::vector<double> f(longest), dd(longest), z(longest + 1);
      std::vector<int> v(longest);
#pragma omp for schedule(static)
      for (int b = 0; b < n2; ++b)
        for (int a = 0; a < n1; ++a) {
          const std::size_t base = std::size_t(a) * strides[o1] + std::size_t(b) * strides[o2];
          for (int q = 0; q < len; ++q) f[q] = g[base + q * stride];
          distanceLine(f.data(), len, pitch[axis], dd.data(), v.data(), z.data());
          for (int q = 0; q < len; ++q) g[base + q * stride] = std::min(dd[q], big);
        }
    }
  }
  for (std::size_t i = 0; i < n; ++i) out[i] = g[i] >= big ? std::numeric_limits<float>::infinity() : float(g[i]);
  return out;
}

bool t_maskCarriesIds(const uint8_t* mask, std::size_t n, const std::vector<unsigned char>& ids) {
  if (!mask || ids.size() < 256) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (ids[mask[i]]) return true;
  return false;
}

namespace {

// Bytes per voxel of the build's volume-sized scratch: the label volume, the tumour volume, the
// distances (float) and their double-precision pass, the first layer of the split.
constexpr std::int64_t kScratchBytesPerVoxel = 1 + 1 + 4 + 8 + 1;

TOrganBuild buildSurfaces(const TOrganSurfaceJob& job, std::array<ClipSurface, kOrgSurfaceCount>& out,
                          const std::function<void(double)>& progress, const std::atomic<bool>* stop);

}  // namespace

bool t_organSurfacesFit(int W, int H, int D, std::int64_t extra) {
  if (W <= 0 || H <= 0 || D <= 0) return true;
  const std::int64_t n = std::int64_t(W) * H * D;
  const std::int64_t avail = t_availableMemoryBytes();
  if (avail <= 0) return true;  // the system does not say: the allocations will tell
  return n <= (avail - extra) / kScratchBytesPerVoxel;
}

TOrganBuild buildRegionSurfaces(const TOrganSurfaceJob& job, std::array<ClipSurface, kOrgSurfaceCount>& out,
                                const std::function<void(double)>& progress, const std::atomic<bool>* stop) {
  for (ClipSurface& s : out) s.clear();
  TOrganBuild r = TOrganBuild::OutOfMemory;
  if (t_organSurfacesFit(job.W, job.H, job.D)) {
    try {
      r = buildSurfaces(job, out, progress, stop);
    } catch (const std::bad_alloc&) {
      r = TOrganBuild::OutOfMemory;
    } catch (const std::length_error&) {
      r = TOrganBuild::OutOfMemory;
    }
  }
  if (r != TOrganBuild::Done)
    for (ClipSurface& s : out) s.clear();
  return r;
}

namespace {

TOrganBuild buildSurfaces(const TOrganSurfaceJob& job, std::array<ClipSurface, kOrgSurfaceCount>& out,
                          const std::function<void(double)>& progress, const std::atomic<bool>* stop) {
  const int W = job.W, H = job.H, D = job.D;
  if (!job.mask || W <= 0 || H <= 0 || D <= 0) return TOrganBuild::Done;
  const std::size_t n = std::size_t(W) * H * D;
  const std::array<uint8_t, 256> cls = idClasses(job.ids);
  const int whole[3] = {0, 0, 0}, to[3] = {W, H, D};
  const double* E = job.extent;
  // The two byte volumes are taken before any work: a volume too large fails at once.
  std::vector<uint8_t> B(n), M(n);
  TTriangleMesh scratch, T;
  enum : uint8_t { Organ = 1, High = 2, Vessel = 4, Tumour = 8 };
  auto fill = [&](uint8_t seed, uint8_t freeCls) {
    for (std::size_t i = 0; i < n; ++i) {
      const uint8_t c = cls[job.mask[i]];
      B[i] = (c & seed) ? 255 : (c & freeCls) ? 1 : 0;
    }
  };

  // Vessels, thickened by one voxel.
  fill(Vessel, 0);
  t_dilate3D(B.data(), W, H, D, whole, to);
  t_marchingCubesByte(W, H, D, B.data(), E, scratch, nullptr, nullptr);
  scratch.smoothUmbrella(4);
  setSurface(out[kOrgVessel], scratch);
  progressAt(progress, 0.1);
  if (stopped(stop)) return TOrganBuild::Stopped;

  // The highlighted part, taking the vessel voxels nearer to it than to the background.
  fill(High, Vessel);
  splitByNearerSide(W, H, D, B.data());
  keepSplitSeed(B);
  t_marchingCubesByte(W, H, D, B.data(), E, scratch, nullptr, nullptr);
  scratch.smoothOutward();
  setSurface(out[kOrgInterior], scratch);
  progressAt(progress, 0.2);
  if (stopped(stop)) return TOrganBuild::Stopped;

  // The tumour with what lies nearer to it of the highlighted part and the vessels; kept
  // unsmoothed for the push-out of the cuts.
  fill(Tumour, High | Vessel);
  splitByNearerSide(W, H, D, B.data());
  keepSplitSeed(B);
  t_marchingCubesByte(W, H, D, B.data(), E, T, nullptr, nullptr);
  setSurface(out[kOrgTumour], T);
  progressAt(progress, 0.3);
  if (stopped(stop)) return TOrganBuild::Stopped;

  // The whole organ; B stays the organ volume for the cuts.
  fill(Organ | Tumour, High | Vessel);
  splitByNearerSide(W, H, D, B.data());
  keepSplitSeed(B);
  t_marchingCubesNonZero(W, H, D, B.data(), E, scratch, 2);
  scratch.smoothUmbrella(1);
  scratch.smoothTangential(1);
  setSurface(out[kOrgWhole], scratch);
  progressAt(progress, 0.4);
  if (stopped(stop)) return TOrganBuild::Stopped;

  // The cuts.  A face dilation grows one voxel per step, which with voxels finer than a
  // millimetre leaves less than k mm: the tumour's k mm neighbourhood is removed as well.
  for (std::size_t i = 0; i < n; ++i) M[i] = (cls[job.mask[i]] & Tumour) ? 255 : 0;
  const double* p = job.pitch;
  double s[3];
  const int dims[3] = {W, H, D};
  for (int a = 0; a < 3; ++a) s[a] = p[a] > 0 ? E[a] / dims[a] / p[a] : 0.0;
  std::fprintf(stderr, "W H D %d %d %d\n", W, H, D);
  std::fprintf(stderr, "%f %f %f\n", p[0], p[1], p[2]);
  std::fprintf(stderr, "%f %f %f\n", E[0], E[1], E[2]);
  std::fprintf(stderr, "W H D %f %f %f\n", s[0], s[1], s[2]);
  const std::vector<float> dist2 = t_squaredDistanceMm(W, H, D, M.data(), p);
  for (int k = 1; k <= 5; ++k) {
    t_dilate3D(M.data(), W, H, D, whole, to);
    const float reach = float(k) * float(k);
    for (std::size_t i = 0; i < n; ++i) {
      if (dist2[i] <= reach) M[i] = 255;
      if (M[i] == 255) B[i] = 0;
    }
    t_marchingCubesNonZero(W, H, D, B.data(), E, scratch, 2);
    scratch.smoothUmbrella(2);
    if (T.vertexCount > 0) {
      pushOutFromTumour(T, scratch, s[0] * (k + 0.1));
      pushOutFromTumour(T, scratch, s[0] * (k + 0.1));
    }
    setSurface(out[kOrgCut1 + k - 1], scratch);
    progressAt(progress, 0.4 + 0.12 * k);
    if (stopped(stop)) return TOrganBuild::Stopped;
  }

  setSurface(out[kOrgDeform], out[kOrgCut1 + 4]);
  out[kOrgTumour].smoothUmbrella(1);
  return TOrganBuild::Done;
}

}  // namespace

void t_fillOrganFlags(const uint8_t* mask, std::size_t n, const TOrganIds& ids, uint8_t* flags) {
  if (!mask || !flags) return;
  const std::array<uint8_t, 256> cls = idClasses(ids);
  for (std::size_t i = 0; i < n; ++i) {
    const uint8_t c = cls[mask[i]];
    flags[i] = (c & 2) ? 1 : (c & 4) ? 2 : (c & 8) ? 3 : 0;
  }
}

bool t_brushSurfacePatch(TTriangleMesh& s, const double o[3], const double dir[3], const double eye[3],
                         double strength, double unProjectIdentity, int depth) {
  if (s.polyCount == 0 || !(unProjectIdentity > 0)) return false;
  int poly = -1;
  double hit[3];
  if (!TTriangleMesh::pickByRay(o, dir, s, poly, hit, 1) || poly < 0) return false;
  std::set<int> candidates;
  s.collectNeighbourhood(s.polys[poly][0], candidates);
  const double r = t_dist3(eye, hit) * strength / unProjectIdentity;
  if (!(r > 0)) return false;
  std::vector<int> inside;
  for (int v : candidates)
    if (v >= 0 && v < s.vertexCount && t_dist3(s.verts[v], hit) < r) inside.push_back(v);

  bool crease = false;
  std::vector<int> ring;
  for (int v : inside) {
    s.getRingEdges(v, ring);
    for (int e : ring) {
      if (e < 0 || e >= s.edgeCount) continue;
      const TMeshEdge& E = s.edges[e];
      if (E.polyA < 0 || E.polyB < 0) continue;
      if (t_dot3(s.polyNormals[E.polyA], s.polyNormals[E.polyB]) < 0.01) crease = true;
    }
  }

  const std::vector<TVec3> before = s.verts;
  for (int v : inside) {
    s.getRingVerts(v, ring);
    if (ring.empty()) continue;
    double c[3] = {0, 0, 0}, nrm[3] = {0, 0, 0};
    for (int u : ring)
      for (int k = 0; k < 3; ++k) {
        c[k] += before[u][k];
        nrm[k] += s.vertNormals[u][k];
      }
    for (double& x : c) x /= double(ring.size());
    t_normalize3(nrm);
    double* p = s.verts[v].data();
    if (crease) {
      for (int k = 0; k < 3; ++k) p[k] = c[k];
      continue;
    }
    const double push = depth * (1.0 - t_dist3(before[v], hit) / r) * 0.0001;
    for (int k = 0; k < 3; ++k) p[k] = before[v][k] - nrm[k] * push;
    double toMean[3];
    t_sub3(c, p, toMean);
    const double along = t_dot3(toMean, nrm);
    if (along > 0)
      for (int k = 0; k < 3; ++k) toMean[k] -= along * nrm[k];
    for (int k = 0; k < 3; ++k) p[k] += toMean[k];
  }
  s.updateNormals();
  return true;
}

void TOrgCrsDisplay::reset() {
  on.fill(false);
  on[Cut1 + 2] = true;
  on[Interior] = true;
  on[Vessel] = true;
}

void TOrgCrsDisplay::click(int b, bool state) {
  if (b < 0 || b >= Count) return;
  if (b < EdgeDeform) {
    for (int i = 0; i <= EdgeDeform; ++i) on[i] = false;
    on[b] = state;
  } else if (b == Vessel || b == VesselImg) {
    on[b] = state;
    on[b == Vessel ? VesselImg : Vessel] = false;
  } else if (b == Tumour || b == TumourImg) {
    on[b] = state;
    on[b == Tumour ? TumourImg : Tumour] = false;
  } else {
    on[b] = state;
  }
}
