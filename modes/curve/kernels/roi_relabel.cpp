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
#pragma omp parallel for schedule(static)
  for (long long i = 0; i < static_cast<long long>(n); ++i) job.labels[i] = t_refLabel(job.labels[i], inside[i] != 0);
  return true;
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
