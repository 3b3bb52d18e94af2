// Region growing from a Hermite-RBF field: the shell of inside voxels grown from the samples,
// then everything it encloses.
#include <cmath>
#include <cstdio>

#include "implicit/field_labelling.h"
#include "implicit/hrbf.h"
#include "implicit/hrbf_voxel_field.h"
#include "implicit/voxel_grid.h"

using kimplicit::VoxelGrid;

namespace {

enum : uint8_t { kUnseen = 0, kCandidate = 1, kInside = 2, kOutside = 3, kQueued = 4 };

bool stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_acquire); }

void regionGrow(const kimplicit::HrbfVoxelField& F, bool useMask, bool seedTrace, int N,
                const THrbfSample* samples, const int lo[3], const int hi[3], uint8_t* label,
                float* field, const std::atomic<bool>* stop) {
  const VoxelGrid& g = F.grid;
  const long nz = g.D;
  // 1. Initialisation.
#pragma omp parallel for schedule(static)
  for (long z = 0; z < nz; ++z)
    for (int y = 0; y < g.H; ++y)
      for (int x = 0; x < g.W; ++x) {
        const uint32_t i = g.idx(x, y, int(z));
        const bool outBox = x < lo[0] || x > hi[0] || y < lo[1] || y > hi[1] || z < lo[2] || z > hi[2];
        if (outBox || (useMask && label[i] == 0)) {
          label[i] = kOutside;
          field[i] = -1.0f;
        } else {
          label[i] = kUnseen;
          field[i] = 0.0f;
        }
      }

  // 2. Seeding.  The field of every voxel the seeding may look at is evaluated up front (the
  // value depends on the voxel alone), then the samples are walked in order.
  const double m = (g.p[0] + g.p[1] + g.p[2]) / 3.0;
  std::vector<int> seedVox(size_t(N), -1), probeVox(size_t(N), -1);
  std::vector<uint32_t> pre;
  static const int nb[7][3] = {{0, 0, 0}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  for (int s = 0; s < N; ++s) {
    int v[3];
    if (!g.voxelOf(samples[s].pos, v)) continue;
    if (v[0] < 1 || v[1] < 1 || v[2] < 1 || v[0] > g.W - 2 || v[1] > g.H - 2 || v[2] > g.D - 2) continue;
    seedVox[size_t(s)] = int(g.idx(v[0], v[1], v[2]));
    for (const auto& o : nb) {
      const uint32_t j = g.idx(v[0] + o[0], v[1] + o[1], v[2] + o[2]);
      if (label[j] == kUnseen) pre.push_back(j);
    }
    double n[3] = {samples[s].normal[0], samples[s].normal[1], samples[s].normal[2]};
    t_normalize3(n);
    const double q[3] = {samples[s].pos[0] - m * n[0], samples[s].pos[1] - m * n[1], samples[s].pos[2] - m * n[2]};
    int pv[3];
    if (g.voxelOf(q, pv)) {
      probeVox[size_t(s)] = int(g.idx(pv[0], pv[1], pv[2]));
      pre.push_back(uint32_t(probeVox[size_t(s)]));
    }
  }
  kimplicit::t_uniqueList(pre);
  std::vector<float> preVal;
  kimplicit::t_evalVoxelList(pre, [&](uint32_t i) { return F.at(i); }, preVal);
  auto lookup = [&](uint32_t i) {
    const auto it = std::lower_bound(pre.begin(), pre.end(), i);
    return preVal[size_t(it - pre.begin())];
  };

  std::vector<uint32_t> pending, outsideList;
  for (int s = 0; s < N; ++s) {
    if (seedVox[size_t(s)] < 0) continue;
    const uint32_t c = uint32_t(seedVox[size_t(s)]);
    int x, y, z;
    g.coords(c, x, y, z);
    for (const auto& o : nb) {
      const uint32_t j = g.idx(x + o[0], y + o[1], z + o[2]);
      if (label[j] != kUnseen) continue;
      const float f = lookup(j);
      field[j] = f;
      if (f >= 0.0f) {
        label[j] = kInside;
        pending.push_back(j);
        if (seedTrace) std::fprintf(stderr, "a%fb", double(f));
      } else {
        label[j] = kOutside;
      }
    }
    if (probeVox[size_t(s)] >= 0) {
      const uint32_t pj = uint32_t(probeVox[size_t(s)]);
      if (label[pj] != kUnseen) field[pj] = lookup(pj);
      if (field[pj] < 0.0f) outsideList.push_back(pj);
    }
  }
  if (stopped(stop)) return;

  // 3. Shell growth, one round per generation of pending voxels.
  std::vector<uint32_t> evalList, next;
  std::vector<float> vals;
  std::vector<uint8_t> shell;
  while (!pending.empty()) {
    evalList.clear();
    for (uint32_t c : pending) {
      int x, y, z;
      g.coords(c, x, y, z);
      for (int dz = -1; dz <= 1; ++dz)
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            if (!g.inside(x + dx, y + dy, z + dz)) continue;
            const uint32_t j = g.idx(x + dx, y + dy, z + dz);
            if (label[j] == kUnseen) {
              label[j] = kQueued;
              evalList.push_back(j);
            }
          }
    }
    kimplicit::t_evalVoxelList(evalList, [&](uint32_t i) { return F.at(i); }, vals);
    for (size_t e = 0; e < evalList.size(); ++e) {
      field[evalList[e]] = vals[e];
      label[evalList[e]] = vals[e] < 0.0f ? kOutside : kCandidate;
    }
    if (stopped(stop)) return;
    // A shell voxel sees an outside voxel, or the world beyond the volume, among its 26.
    shell.assign(pending.size(), 0);
    const long np = long(pending.size());
#pragma omp parallel for schedule(static)
    for (long e = 0; e < np; ++e) {
      int x, y, z;
      g.coords(pending[size_t(e)], x, y, z);
      bool sh = g.onBorder(x, y, z);
      for (int dz = -1; dz <= 1 && !sh; ++dz)
        for (int dy = -1; dy <= 1 && !sh; ++dy)
          for (int dx = -1; dx <= 1 && !sh; ++dx)
            if (label[g.idx(x + dx, y + dy, z + dz)] == kOutside) sh = true;
      shell[size_t(e)] = sh;
    }
    next.clear();
    static const int face[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
    for (size_t e = 0; e < pending.size(); ++e) {
      if (!shell[e]) continue;
      int x, y, z;
      g.coords(pending[e], x, y, z);
      for (const auto& o : face) {
        if (!g.inside(x + o[0], y + o[1], z + o[2])) continue;
        const uint32_t j = g.idx(x + o[0], y + o[1], z + o[2]);
        if (label[j] == kCandidate) {
          label[j] = kInside;
          next.push_back(j);
        }
      }
    }
    pending.swap(next);
  }

  // 4. Hole filling.  Only the shell stays; the outside is flooded from every face of the
  // volume and from the probes, and whatever it cannot reach is enclosed by the shell.
  const long n = long(g.n);
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) label[i] = label[i] == kInside ? kInside : 0;
  if (stopped(stop)) return;
  kimplicit::t_floodOutside(label, g, lo, hi, outsideList);

  // 5. Final pass.
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) {
    if (label[i] == 1) {
      label[i] = 0;
      if (field[i] == 0.0f) field[i] = -1.0f;
    } else {
      label[i] = 2;
      if (field[i] <= 0.0f) field[i] = 1.0f;
    }
  }
}

}  // namespace

void t_hrbfJoint4_regionGrow(int kernel, int W, int H, int D, const float* vol, const double extent[3],
                             double weight, int N, const double* coef, const THrbfSample* samples,
                             const int lo[3], const int hi[3], uint8_t* label, float* field,
                             const std::atomic<bool>* stop) {
  const THrbfField f(4, kernel, N, coef, samples);
  const float* v[3] = {vol, nullptr, nullptr};
  const kimplicit::HrbfVoxelField F(f, W, H, D, extent, v, weight);
  regionGrow(F, true, true, N, samples, lo, hi, label, field, stop);
}

void t_hrbfJoint6_regionGrow(int kernel, int W, int H, int D, const float* vol1, const float* vol2,
                             const float* vol3, const double extent[3], double weight, int N,
                             const double* coef, const THrbfSample* samples, const int lo[3],
                             const int hi[3], uint8_t* label, float* field, const std::atomic<bool>* stop) {
  const THrbfField f(6, kernel, N, coef, samples);
  const float* v[3] = {vol1, vol2, vol3};
  const kimplicit::HrbfVoxelField F(f, W, H, D, extent, v, weight);
  regionGrow(F, true, false, N, samples, lo, hi, label, field, stop);
}

void t_hrbfSpatial_regionGrow(int kernel, int W, int H, int D, const double extent[3], int N,
                              const double* coef, const THrbfSample* samples, const int lo[3],
                              const int hi[3], uint8_t* label, float* field, const std::atomic<bool>* stop) {
  const THrbfField f(3, kernel, N, coef, samples);
  const float* v[3] = {nullptr, nullptr, nullptr};
  const kimplicit::HrbfVoxelField F(f, W, H, D, extent, v, 1.0);
  regionGrow(F, false, false, N, samples, lo, hi, label, field, stop);
}
