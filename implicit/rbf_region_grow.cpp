// Region growing from a plain RBF field: the face-connected part of {field >= 0} inside the box
// that touches an inside offset point.
#include <cstdio>

#include "implicit/field_labelling.h"
#include "implicit/rbf.h"
#include "implicit/voxel_grid.h"

using kimplicit::VoxelGrid;

namespace {

enum : uint8_t { kUntouched = 0, kSeed = 1, kGrown = 2, kRejected = 3, kQueued = 4 };

template <class Eval>
void grow(const VoxelGrid& g, Eval&& at, int N, const TRbfPoint* points, const int lo[3], const int hi[3],
          uint8_t* label, float* field, const std::atomic<bool>* stop) {
  const long n = long(g.n);
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) {
    label[i] = kUntouched;
    field[i] = -1.0f;
  }
  std::vector<uint32_t> pending;
  for (int a = 0; a < N; ++a) {
    if (!(points[a].value > 0.0)) continue;
    int v[3];
    if (!g.voxelOf(points[a].pos, v)) continue;
    const uint32_t i = g.idx(v[0], v[1], v[2]);
    if (label[i] == kSeed) continue;
    const float f = at(i);
    field[i] = f;
    if (f <= 0.0f) {
      std::fprintf(stderr, "wrong at seeding %f \n", double(f));
      continue;
    }
    label[i] = kSeed;
    pending.push_back(i);
  }
  auto inBox = [&](int x, int y, int z) {
    return x >= lo[0] && x <= hi[0] && y >= lo[1] && y <= hi[1] && z >= lo[2] && z <= hi[2];
  };
  static const int face[6][3] = {{-1, 0, 0}, {0, -1, 0}, {0, 0, -1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  std::vector<uint32_t> cand, toEval, next;
  std::vector<float> vals;
  while (!pending.empty()) {
    if (stop && stop->load(std::memory_order_acquire)) return;
    cand.clear();
    toEval.clear();
    for (uint32_t c : pending) {
      int x, y, z;
      g.coords(c, x, y, z);
      for (const auto& o : face) {
        const int X = x + o[0], Y = y + o[1], Z = z + o[2];
        if (!g.inside(X, Y, Z)) continue;
        const uint32_t j = g.idx(X, Y, Z);
        if (label[j] != kUntouched) continue;
        label[j] = kQueued;
        cand.push_back(j);
        if (inBox(X, Y, Z)) toEval.push_back(j);
      }
    }
    kimplicit::t_evalVoxelList(toEval, at, vals);
    for (size_t e = 0; e < toEval.size(); ++e) field[toEval[e]] = vals[e];
    next.clear();
    for (uint32_t j : cand) {
      // Voxels beyond the box keep -1 without evaluation.
      if (field[j] >= 0.0f) {
        label[j] = kGrown;
        next.push_back(j);
      } else {
        label[j] = kRejected;
      }
    }
    pending.swap(next);
  }
}

}  // namespace

void t_rbfJoint_regionGrow(int kernel, int W, int H, int D, const float* vol, const double extent[3],
                           double weight, int N, const double* coef, const TRbfPoint* points,
                           const int lo[3], const int hi[3], uint8_t* label, float* field,
                           const std::atomic<bool>* stop) {
  const VoxelGrid g(W, H, D, extent);
  auto at = [&](uint32_t i) {
    double c[3];
    g.centre(i, c);
    const double f = vol[i] * weight;
    return t_rbfJoint_evalField(kernel, &c[0], &c[1], &c[2], &f, &N, coef, points);
  };
  grow(g, at, N, points, lo, hi, label, field, stop);
}

void t_rbfSpatial_regionGrow(int W, int H, int D, const double extent[3], int N, const double* coef,
                             const TRbfPoint* points, const int lo[3], const int hi[3], uint8_t* label,
                             float* field, const std::atomic<bool>* stop) {
  const VoxelGrid g(W, H, D, extent);
  auto at = [&](uint32_t i) {
    double c[3];
    g.centre(i, c);
    return t_rbfSpatial_evalField(&c[0], &c[1], &c[2], &N, coef, points);
  };
  grow(g, at, N, points, lo, hi, label, field, stop);
}
