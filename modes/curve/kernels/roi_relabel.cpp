#include "modes/curve/kernels/roi_relabel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "geom/mesh_rasterise.h"
#include "platform/LargeMemory.h"

namespace {

// Bits of the working raster.
constexpr uint8_t kInside = 1;  // the current surface's inside test
constexpr uint8_t kNear = 2;    // within a voxel of where the surface moved
constexpr uint8_t kFollow = 4;  // follows the current surface

bool relabel(TRelabelJob& job, const std::atomic<uint64_t>* newest) {
  auto stale = [&]() {
    if (!newest || newest->load(std::memory_order_acquire) <= job.generation) return false;
    job.outcome = TRelabelOutcome::Stale;
    return true;
  };
  job.outcome = TRelabelOutcome::NoSurface;
  const size_t n = static_cast<size_t>(std::max(job.W, 0)) * std::max(job.H, 0) * std::max(job.D, 0);
  const std::vector<uint8_t>* entry = job.entry && job.entry->size() == n ? job.entry.get() : nullptr;
  if (n == 0 || (!entry && job.labels.size() != n)) return false;
  if (stale()) return false;
  // An open or empty surface has no inside: relabelling from it would remove the whole region.
  if (job.mesh.polyCount == 0) return false;
  for (const TMeshEdge& e : job.mesh.edges)
    if (e.isBoundary()) return false;
  const std::int64_t avail = t_availableMemoryBytes();
  if (avail > 0 && static_cast<uint64_t>(avail) < n) {
    job.outcome = TRelabelOutcome::NoMemory;
    return false;
  }
  std::vector<uint8_t> bits(n, 0);
  t_rasterizeMeshToVolume(job.W, job.H, job.D, job.mesh, job.extent, bits.data());
  if (stale()) return false;
  if (!entry) {
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < static_cast<long long>(n); ++i) job.labels[i] = t_refLabel(job.labels[i], bits[i] != 0);
    job.outcome = TRelabelOutcome::Done;
    return true;
  }
  const std::vector<uint8_t>& E = *entry;
  const size_t W = static_cast<size_t>(job.W), WH = W * job.H;
  auto crossed = [&](size_t i) { return ((E[i] & kRefEntrySurface) != 0) != ((bits[i] & kInside) != 0); };
  // The voxels within a voxel of the path of a point of the surface that moved by half a voxel
  // or more.  Inside a triangle a point moves as its corners' weights say; the triangle is
  // sampled at half a voxel or less, so where its corners stand farther apart than that, the
  // voxels its middle swept are taken too (each corner is a sample: its own path always counts).
  double pitch[3];
  const int dims[3] = {job.W, job.H, job.D};
  for (int k = 0; k < 3; ++k) pitch[k] = job.extent[k] > 0 ? job.extent[k] / dims[k] : 1.0;
  int zoneLo[3] = {dims[0], dims[1], dims[2]}, zoneHi[3] = {-1, -1, -1};
  auto markPath = [&](const double a[3], const double b[3]) {
    double ab[3];
    int lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
      ab[k] = b[k] - a[k];
      lo[k] = std::max(0, static_cast<int>(std::ceil(std::min(a[k], b[k]) - 1.0)));
      hi[k] = std::min(dims[k] - 1, static_cast<int>(std::floor(std::max(a[k], b[k]) + 1.0)));
    }
    const double len2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
    for (int z = lo[2]; z <= hi[2]; ++z)
      for (int y = lo[1]; y <= hi[1]; ++y)
        for (int x = lo[0]; x <= hi[0]; ++x) {
          const double q[3] = {x - a[0], y - a[1], z - a[2]};
          const double t = len2 > 0 ? std::clamp((q[0] * ab[0] + q[1] * ab[1] + q[2] * ab[2]) / len2, 0.0, 1.0) : 0.0;
          double d2 = 0;
          for (int k = 0; k < 3; ++k) d2 += (q[k] - t * ab[k]) * (q[k] - t * ab[k]);
          if (d2 > 1.0) continue;
          bits[x + W * y + WH * z] |= kNear;
          const int c[3] = {x, y, z};
          for (int k = 0; k < 3; ++k) {
            zoneLo[k] = std::min(zoneLo[k], c[k]);
            zoneHi[k] = std::max(zoneHi[k], c[k]);
          }
        }
  };
  for (size_t m = 0; m + 5 < job.moved.size(); m += 6) {
    double a[3][3], b[3][3], span = 0;  // corners at entry and now, in voxel-centre coordinates
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) {
        a[j][k] = job.moved[m + j][k] / pitch[k] - 0.5;
        b[j][k] = job.moved[m + 3 + j][k] / pitch[k] - 0.5;
      }
    for (int j = 0; j < 3; ++j) {
      double ea = 0, eb = 0;
      for (int k = 0; k < 3; ++k) {
        ea += (a[j][k] - a[(j + 1) % 3][k]) * (a[j][k] - a[(j + 1) % 3][k]);
        eb += (b[j][k] - b[(j + 1) % 3][k]) * (b[j][k] - b[(j + 1) % 3][k]);
      }
      span = std::max({span, ea, eb});
    }
    // A triangle with a corner not finite is taken at its corners only, one wider than 256
    // voxels more coarsely.
    const int steps = std::isfinite(span) ? std::clamp(static_cast<int>(std::ceil(std::sqrt(span) / 0.5)), 1, 512) : 1;
    for (int i = 0; i <= steps; ++i)
      for (int j = 0; i + j <= steps; ++j) {
        const double w[3] = {double(steps - i - j) / steps, double(i) / steps, double(j) / steps};
        double p[3] = {0, 0, 0}, q[3] = {0, 0, 0}, d2 = 0;
        for (int k = 0; k < 3; ++k) {
          for (int c = 0; c < 3; ++c) {
            p[k] += w[c] * a[c][k];
            q[k] += w[c] * b[c][k];
          }
          d2 += (q[k] - p[k]) * (q[k] - p[k]);
        }
        if (d2 >= 0.25) markPath(p, q);
      }
  }
  // Which voxels of the zone follow the surface, decided on the rasters alone: those it crossed,
  // and those next to one of them, on its side of the surface now, where the entry surface and
  // the region disagree.
  for (int z = zoneLo[2]; z <= zoneHi[2]; ++z)
    for (int y = zoneLo[1]; y <= zoneHi[1]; ++y)
      for (int x = zoneLo[0]; x <= zoneHi[0]; ++x) {
        const size_t v = x + W * y + WH * z;
        if (!(bits[v] & kNear)) continue;
        if (crossed(v)) {
          bits[v] |= kFollow;
          continue;
        }
        if (((E[v] & kRefEntrySurface) != 0) == ((E[v] & kRefEntryRegion) != 0)) continue;
        bool nextTo = false;
        for (int dz = -1; dz <= 1 && !nextTo; ++dz)
          for (int dy = -1; dy <= 1 && !nextTo; ++dy)
            for (int dx = -1; dx <= 1 && !nextTo; ++dx) {
              const int X = x + dx, Y = y + dy, Z = z + dz;
              if (X < 0 || Y < 0 || Z < 0 || X >= job.W || Y >= job.H || Z >= job.D) continue;
              const size_t c = X + W * Y + WH * Z;
              nextTo = (bits[c] & kNear) && crossed(c) && (bits[c] & kInside) == (bits[v] & kInside);
            }
        if (nextTo) bits[v] |= kFollow;
      }
  if (stale()) return false;
#pragma omp parallel for schedule(static)
  for (long long i = 0; i < static_cast<long long>(n); ++i) {
    const bool region = (E[i] & kRefEntryRegion) != 0;
    const bool in = (bits[i] & kFollow) ? (bits[i] & kInside) != 0 : region;
    bits[i] = region ? (in ? 6 : 2) : (in ? 4 : 0);
  }
  job.labels.swap(bits);
  job.outcome = TRelabelOutcome::Done;
  return true;
}

}  // namespace

bool t_relabelByRoiMesh(TRelabelJob& job, const std::atomic<uint64_t>* newest) {
  try {
    return relabel(job, newest);
  } catch (const std::bad_alloc&) {
    job.outcome = TRelabelOutcome::NoMemory;
    return false;
  }
}

void t_refEntryRaster(int W, int H, int D, const double extent[3], const TTriangleMesh& mesh,
                      const uint8_t* entryLabels, std::vector<uint8_t>& out) {
  const size_t n = static_cast<size_t>(W) * H * D;
  out.assign(W <= 0 || H <= 0 || D <= 0 ? 0 : n, 0);
  if (out.empty()) return;
  if (mesh.polyCount > 0) {
    TTriangleMesh copy;
    copy.copyFrom(mesh);
    t_rasterizeMeshToVolume(W, H, D, copy, extent, out.data());
  }
  if (!entryLabels) return;
  for (size_t i = 0; i < n; ++i)
    if (t_refWasInside(entryLabels[i])) out[i] |= kRefEntryRegion;
}

std::vector<TVec3> t_refMovedPoints(const TTriangleMesh& mesh, const TPoints& initialPositions,
                                    const double voxelSize[3]) {
  const int n = std::min(mesh.vertexCount, static_cast<int>(initialPositions.size()));
  std::vector<uint8_t> moved(std::max(n, 0), 0);
  for (int i = 0; i < n; ++i) {
    double d2 = 0;
    for (int k = 0; k < 3; ++k) {
      const double d = (mesh.verts[i][k] - initialPositions[i][k]) / (voxelSize[k] > 0 ? voxelSize[k] : 1.0);
      d2 += d * d;
    }
    moved[i] = d2 >= 0.25;
  }
  std::vector<TVec3> out;
  for (int t = 0; t < mesh.polyCount && t < static_cast<int>(mesh.polys.size()); ++t) {
    const TPolyIdx& p = mesh.polys[t];
    bool valid = true, any = false;
    for (int v : p) {
      valid = valid && v >= 0 && v < n;
      any = any || (valid && moved[v]);
    }
    if (!valid || !any) continue;
    for (int v : p) out.push_back(initialPositions[v]);
    for (int v : p) out.push_back(mesh.verts[v]);
  }
  return out;
}

void t_refLabelsToCutFlags(const std::vector<uint8_t>& labels, std::vector<uint8_t>& flags) {
  flags.resize(labels.size());
  for (size_t i = 0; i < labels.size(); ++i) flags[i] = (labels[i] == 0 || labels[i] == 2) ? 1 : 255;
}

void t_refLabelsFromCutFlags(const std::vector<uint8_t>& flags, std::vector<uint8_t>& labels) {
  for (size_t i = 0; i < labels.size() && i < flags.size(); ++i) labels[i] = t_refLabel(labels[i], flags[i] == 255);
}

std::vector<int> t_commitRefLabels(const std::vector<uint8_t>& labels, uint8_t* mask, int targetId) {
  bool touched[256] = {false};
  for (size_t i = 0; i < labels.size(); ++i) {
    const uint8_t l = labels[i];
    if (l == 2) {
      mask[i] = 0;
    } else if (l == 4 || l == 6) {
      if (mask[i] != targetId) touched[mask[i]] = true;
      mask[i] = static_cast<uint8_t>(targetId);
    }
  }
  std::vector<int> ids;
  for (int id = 1; id < 256; ++id)
    if (touched[id] && id != targetId) ids.push_back(id);
  return ids;
}
