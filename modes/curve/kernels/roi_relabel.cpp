#include "modes/curve/kernels/roi_relabel.h"

#include <cstdio>

#include "geom/mesh_rasterise.h"

bool t_relabelByRoiMesh(TRelabelJob& job, const std::atomic<uint64_t>* newest) {
  auto superseded = [&]() { return newest && newest->load(std::memory_order_acquire) > job.generation; };
  const size_t n = static_cast<size_t>(job.W) * job.H * job.D;
  if (job.W <= 0 || job.H <= 0 || job.D <= 0 || job.labels.size() != n) return false;
  if (superseded()) return false;
  // An open or empty surface has no inside: relabelling from it would remove the whole region.
  if (job.mesh.polyCount == 0) return false;
  for (const TMeshEdge& e : job.mesh.edges)
    if (e.isBoundary()) return false;
  std::vector<uint8_t> inside(n, 0);
  t_rasterizeMeshToVolume(job.W, job.H, job.D, job.mesh, job.extent, inside.data());
  if (superseded()) return false;
  if (job.held) {
    // Decided on the surface's own inside test before any held voxel is set back.
    std::vector<size_t> keep;
    for (size_t v : *job.held) {
      if (v >= n) continue;
      const bool was = t_refWasInside(job.labels[v]);
      if ((inside[v] != 0) == was) continue;
      const int x = static_cast<int>(v % job.W), y = static_cast<int>((v / job.W) % job.H),
                z = static_cast<int>(v / (static_cast<size_t>(job.W) * job.H));
      bool nextTo = false;
      for (int dz = -1; dz <= 1 && !nextTo; ++dz)
        for (int dy = -1; dy <= 1 && !nextTo; ++dy)
          for (int dx = -1; dx <= 1 && !nextTo; ++dx) {
            const int X = x + dx, Y = y + dy, Z = z + dz;
            if (X < 0 || Y < 0 || Z < 0 || X >= job.W || Y >= job.H || Z >= job.D) continue;
            nextTo = (inside[X + static_cast<size_t>(job.W) * (Y + static_cast<size_t>(job.H) * Z)] != 0) !=
                     (inside[v] != 0);
          }
      if (nextTo) keep.push_back(v);
    }
    for (size_t v : keep) inside[v] = t_refWasInside(job.labels[v]) ? 1 : 0;
  }
#pragma omp parallel for schedule(static)
  for (long long i = 0; i < static_cast<long long>(n); ++i) job.labels[i] = t_refLabel(job.labels[i], inside[i] != 0);
  return true;
}

std::vector<size_t> t_refHeldVoxels(int W, int H, int D, const double extent[3], const TTriangleMesh& mesh,
                                    const std::vector<uint8_t>& labels) {
  std::vector<size_t> held;
  const size_t n = static_cast<size_t>(W) * H * D;
  if (W <= 0 || H <= 0 || D <= 0 || labels.size() != n || mesh.polyCount == 0) return held;
  TTriangleMesh copy;
  copy.copyFrom(mesh);
  std::vector<uint8_t> inside(n, 0);
  t_rasterizeMeshToVolume(W, H, D, copy, extent, inside.data());
  for (size_t i = 0; i < n; ++i)
    if ((inside[i] != 0) != t_refWasInside(labels[i])) held.push_back(i);
  return held;
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
