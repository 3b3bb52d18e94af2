#include "volume/volume_filters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <omp.h>

#include "volume/TOGL3DImage.h"

namespace {

// Bytes of a volume are read by neighbours in other slices while a thread writes marks into its
// own slice.  A mark never changes what a neighbour test sees (2 is neither 0 nor 255), but the
// accesses must still be atomic to be well defined; relaxed loads and stores compile to plain
// byte moves.
inline uint8_t ld(const uint8_t* p) { return __atomic_load_n(p, __ATOMIC_RELAXED); }
inline void st(uint8_t* p, uint8_t v) { __atomic_store_n(p, v, __ATOMIC_RELAXED); }
inline int ldi(const int* p) { return __atomic_load_n(p, __ATOMIC_RELAXED); }
inline void sti(int* p, int v) { __atomic_store_n(p, v, __ATOMIC_RELAXED); }

// 1 / sum of the 1-D weights of the taps that fall inside an axis of n samples, per index.
std::vector<float> inverseNorms(int n, const double g[5]) {
  std::vector<float> inv(n);
  for (int i = 0; i < n; ++i) {
    double s = 0.0;
    for (int k = -2; k <= 2; ++k)
      if (i + k >= 0 && i + k < n) s += g[k + 2];
    inv[i] = static_cast<float>(1.0 / s);
  }
  return inv;
}

}  // namespace

double t_gaussWeight1D(int k) { return std::exp(-2.0 * k * k); }

void t_smoothVolume(int W, int H, int D, int iterations, float* values) {
  if (W <= 0 || H <= 0 || D <= 0 || !values) return;
  const size_t plane = static_cast<size_t>(W) * H;
  const size_t n = plane * D;
  double gd[5];
  for (int k = -2; k <= 2; ++k) gd[k + 2] = t_gaussWeight1D(k);
  const float g[5] = {float(gd[0]), float(gd[1]), float(gd[2]), float(gd[3]), float(gd[4])};
  const std::vector<float> invX = inverseNorms(W, gd), invY = inverseNorms(H, gd),
                           invZ = inverseNorms(D, gd);
  // Not zeroed here: the z pass writes every value, and its threads then share the first
  // touches of the pages instead of one thread faulting them all in (the page faults of a
  // zeroed 256^3 buffer cost more than the smoothing on some machines).
  std::unique_ptr<float[]> tmp(new float[n]);

  for (int it = 0; it < iterations; ++it) {
    // Pass along z: values -> tmp.  (Small volumes are not worth the threads.)
#pragma omp parallel for schedule(static) if (n > (1 << 15))
    for (int z = 0; z < D; ++z) {
      float* out = tmp.get() + plane * z;
      std::fill(out, out + plane, 0.0f);
      for (int k = -2; k <= 2; ++k) {
        const int zz = z + k;
        if (zz < 0 || zz >= D) continue;
        const float w = g[k + 2];
        const float* in = values + plane * zz;
        for (size_t i = 0; i < plane; ++i) out[i] += w * in[i];
      }
      const float s = invZ[z];
      for (size_t i = 0; i < plane; ++i) out[i] *= s;
    }
    // Pass along y: tmp -> values, slice by slice.
#pragma omp parallel for schedule(static) if (n > (1 << 15))
    for (int z = 0; z < D; ++z) {
      const float* in = tmp.get() + plane * z;
      float* outSlice = values + plane * z;
      for (int y = 0; y < H; ++y) {
        float* out = outSlice + static_cast<size_t>(y) * W;
        std::fill(out, out + W, 0.0f);
        for (int k = -2; k <= 2; ++k) {
          const int yy = y + k;
          if (yy < 0 || yy >= H) continue;
          const float w = g[k + 2];
          const float* row = in + static_cast<size_t>(yy) * W;
          for (int x = 0; x < W; ++x) out[x] += w * row[x];
        }
        const float s = invY[y];
        for (int x = 0; x < W; ++x) out[x] *= s;
      }
    }
    // Pass along x, in place through a row buffer padded by two zeros at each end.
#pragma omp parallel if (n > (1 << 15))
    {
      std::vector<float> pad(W + 4, 0.0f);
#pragma omp for schedule(static)
      for (int z = 0; z < D; ++z) {
        for (int y = 0; y < H; ++y) {
          float* row = values + plane * z + static_cast<size_t>(y) * W;
          std::memcpy(pad.data() + 2, row, sizeof(float) * W);
          const float* p = pad.data() + 2;
          for (int x = 0; x < W; ++x) {
            const float sum = g[0] * p[x - 2] + g[1] * p[x - 1] + g[2] * p[x] + g[3] * p[x + 1] +
                              g[4] * p[x + 2];
            row[x] = sum * invX[x];
          }
        }
      }
    }
    fprintf(stderr, "smoothing done %d / %d\n", it, iterations);
  }
}

namespace {

// Clips the box to the volume; false when it is empty.
bool clipBox(int W, int H, int D, const int from[3], const int to[3], int lo[3], int hi[3]) {
  const int size[3] = {W, H, D};
  for (int a = 0; a < 3; ++a) {
    lo[a] = from ? std::max(from[a], 0) : 0;
    hi[a] = to ? std::min(to[a], size[a]) : size[a];
    if (lo[a] >= hi[a]) return false;
  }
  return true;
}

void replaceMarks(uint8_t* volume, size_t n, uint8_t to) {
#pragma omp parallel for schedule(static) if (n > (1 << 15))
  for (long long i = 0; i < static_cast<long long>(n); ++i)
    if (volume[i] == 2) volume[i] = to;
}

}  // namespace

void t_erode3D(uint8_t* volume, int W, int H, int D, const int from[3], const int to[3]) {
  if (!volume || W <= 0 || H <= 0 || D <= 0) return;
  const size_t plane = static_cast<size_t>(W) * H;
  int lo[3], hi[3];
  if (clipBox(W, H, D, from, to, lo, hi)) {
#pragma omp parallel for schedule(static) if (plane * D > (1 << 15))
    for (int z = lo[2]; z < hi[2]; ++z) {
      for (int y = lo[1]; y < hi[1]; ++y) {
        uint8_t* row = volume + plane * z + static_cast<size_t>(y) * W;
        for (int x = lo[0]; x < hi[0]; ++x) {
          uint8_t* v = row + x;
          if (ld(v) != 255) continue;
          const bool onFace = x == 0 || y == 0 || z == 0 || x == W - 1 || y == H - 1 || z == D - 1;
          if (onFace || ld(v - 1) == 0 || ld(v + 1) == 0 || ld(v - W) == 0 || ld(v + W) == 0 ||
              ld(v - plane) == 0 || ld(v + plane) == 0)
            st(v, 2);
        }
      }
    }
  }
  replaceMarks(volume, plane * D, 0);
}

void t_dilate3D(uint8_t* volume, int W, int H, int D, const int from[3], const int to[3]) {
  if (!volume || W <= 0 || H <= 0 || D <= 0) return;
  const size_t plane = static_cast<size_t>(W) * H;
  int lo[3], hi[3];
  if (clipBox(W, H, D, from, to, lo, hi)) {
#pragma omp parallel for schedule(static) if (plane * D > (1 << 15))
    for (int z = lo[2]; z < hi[2]; ++z) {
      for (int y = lo[1]; y < hi[1]; ++y) {
        uint8_t* row = volume + plane * z + static_cast<size_t>(y) * W;
        for (int x = lo[0]; x < hi[0]; ++x) {
          uint8_t* v = row + x;
          if (ld(v) != 0) continue;
          if ((x > 0 && ld(v - 1) == 255) || (x < W - 1 && ld(v + 1) == 255) ||
              (y > 0 && ld(v - W) == 255) || (y < H - 1 && ld(v + W) == 255) ||
              (z > 0 && ld(v - plane) == 255) || (z < D - 1 && ld(v + plane) == 255))
            st(v, 2);
        }
      }
    }
  }
  replaceMarks(volume, plane * D, 255);
}

namespace {

// Union-find over voxel indices.  Every link points from a larger index to a smaller one, so the
// root of a part is its first voxel in index order.
inline int findRoot(int* parent, int i) {
  while (parent[i] != i) {
    parent[i] = parent[parent[i]];  // path halving
    i = parent[i];
  }
  return i;
}

inline void unite(int* parent, int a, int b) {
  a = findRoot(parent, a);
  b = findRoot(parent, b);
  if (a < b)
    parent[b] = a;
  else if (b < a)
    parent[a] = b;
}

// Unites voxel i at (x, y, z), which is in the set, with its 26-neighbours that come before it in
// index order (none below slice zMin).  When the voxel just before it on the row is in the set,
// that voxel has already been united with every earlier neighbour the two share, so only the
// four on the far side (x + 1) remain to be looked at.
inline void uniteBackward(int* parent, const uint8_t* vox, uint8_t value, int W, int H, int x,
                          int y, int z, int zMin, int i) {
  const int plane = W * H;
  int r = i;  // root of i's set so far (i starts as its own root)
  auto link = [&](int j) {
    if (vox[j] != value) return;
    const int rj = findRoot(parent, j);
    if (rj < r) {
      parent[r] = rj;
      r = rj;
    } else if (rj > r) {
      parent[rj] = r;
    }
  };
  const bool xm = x > 0, xp = x < W - 1, ym = y > 0, yp = y < H - 1, zm = z > zMin;
  if (xm && vox[i - 1] == value) {
    link(i - 1);
    if (xp && ym) link(i + 1 - W);
    if (xp && zm) {
      if (ym) link(i + 1 - W - plane);
      link(i + 1 - plane);
      if (yp) link(i + 1 + W - plane);
    }
    return;
  }
  if (ym) {
    if (xm) link(i - 1 - W);
    link(i - W);
    if (xp) link(i + 1 - W);
  }
  if (zm) {
    const int k = i - plane;
    for (int dy = -1; dy <= 1; ++dy) {
      if ((dy < 0 && !ym) || (dy > 0 && !yp)) continue;
      const int row = k + dy * W;
      if (xm) link(row - 1);
      link(row);
      if (xp) link(row + 1);
    }
  }
}

}  // namespace

int t_labelConnectedRegions(int W, int H, int D, const uint8_t* vox, uint8_t value, int* labels) {
  if (!vox || !labels || W <= 0 || H <= 0 || D <= 0) return 0;
  const long long n = static_cast<long long>(W) * H * D;
  if (n > 0x7fffffffLL) {  // voxel indices serve as union-find nodes
    fprintf(stderr, "labelling: volume too large (%d %d %d)\n", W, H, D);
    return 0;
  }
  const int plane = W * H;
  // labels serves as the parent array: -1 outside the parts, else a voxel index <= own index.
  // Each thread labels a slab of slices; the slabs are then joined, and the parts numbered in
  // the order of their first voxel (the root of each set).
  int nSlabs = 1;
  std::vector<int> slabStart, slabRoots;
  const bool parallel = n > (1 << 15);
#pragma omp parallel if (parallel)
  {
#pragma omp single
    {
      nSlabs = std::max(1, std::min(omp_get_num_threads(), D));
      slabStart.resize(nSlabs + 1);
      slabRoots.assign(nSlabs + 1, 0);
      for (int s = 0; s <= nSlabs; ++s)
        slabStart[s] = static_cast<int>(static_cast<long long>(D) * s / nSlabs);
    }
#pragma omp for schedule(static)
    for (int s = 0; s < nSlabs; ++s) {
      const int z0 = slabStart[s], z1 = slabStart[s + 1];
      for (int z = z0; z < z1; ++z)
        for (int y = 0; y < H; ++y)
          for (int x = 0; x < W; ++x) {
            const int i = z * plane + y * W + x;
            if (vox[i] != value) {
              labels[i] = -1;
              continue;
            }
            labels[i] = i;
            uniteBackward(labels, vox, value, W, H, x, y, z, z0, i);
          }
    }
#pragma omp single
    {
      // Join the slabs across their first slices.
      for (int s = 1; s < nSlabs; ++s) {
        const int z = slabStart[s];
        for (int y = 0; y < H; ++y)
          for (int x = 0; x < W; ++x) {
            const int i = z * plane + y * W + x;
            if (vox[i] != value) continue;
            for (int dy = -1; dy <= 1; ++dy) {
              const int yy = y + dy;
              if (yy < 0 || yy >= H) continue;
              for (int dx = -1; dx <= 1; ++dx) {
                const int xx = x + dx;
                if (xx < 0 || xx >= W) continue;
                const int j = (z - 1) * plane + yy * W + xx;
                if (vox[j] == value) unite(labels, i, j);
              }
            }
          }
      }
    }
    // Point every voxel straight at its root and count the roots of each slab.  Chains may run
    // into other slabs whose owners are rewriting them; every value such a read can see is an
    // ancestor of the voxel, so the walk ends at the same root (the accesses are atomic).
#pragma omp for schedule(static)
    for (int s = 0; s < nSlabs; ++s) {
      const int i0 = slabStart[s] * plane, i1 = slabStart[s + 1] * plane;
      int roots = 0;
      for (int i = i0; i < i1; ++i) {
        int p = ldi(labels + i);
        if (p < 0) continue;
        if (p == i) {
          ++roots;
          continue;
        }
        int q;
        while ((q = ldi(labels + p)) != p) p = q;
        sti(labels + i, p);
      }
      slabRoots[s + 1] = roots;
    }
#pragma omp single
    for (int s = 0; s < nSlabs; ++s) slabRoots[s + 1] += slabRoots[s];
    // Roots get their numbers, stored as -(number + 1) so that they stay apart from indices and
    // from the background (-1) ...
#pragma omp for schedule(static)
    for (int s = 0; s < nSlabs; ++s) {
      const int i0 = slabStart[s] * plane, i1 = slabStart[s + 1] * plane;
      int number = slabRoots[s];
      for (int i = i0; i < i1; ++i)
        if (ldi(labels + i) == i) sti(labels + i, -(++number + 1));
    }
    // ... and every voxel takes its root's number (a root another thread has already decoded
    // holds the number itself).
#pragma omp for schedule(static)
    for (int s = 0; s < nSlabs; ++s) {
      const int i0 = slabStart[s] * plane, i1 = slabStart[s + 1] * plane;
      for (int i = i0; i < i1; ++i) {
        const int p = ldi(labels + i);
        if (p == -1) {
          sti(labels + i, 0);
        } else if (p < -1) {
          sti(labels + i, -p - 1);
        } else {
          const int r = ldi(labels + p);
          sti(labels + i, r < -1 ? -r - 1 : r);
        }
      }
    }
  }
  const int count = slabRoots[nSlabs];
  std::string trace;
  char line[64];
  for (int k = 1; k <= count; ++k) {
    snprintf(line, sizeof line, "start region growing!! %d\n", k);
    trace += line;
  }
  fputs(trace.c_str(), stderr);
  return count;
}

double t_sampleTrilinear(const int* W, const int* H, const int* D, const double* px,
                         const double* py, const double* pz, const double position[3],
                         const float* values) {
  const int size[3] = {*W, *H, *D};
  const double pitch[3] = {*px, *py, *pz};
  if (!values || size[0] <= 0 || size[1] <= 0 || size[2] <= 0) return 0.0;
  int i0[3], i1[3];
  double t[3];
  for (int a = 0; a < 3; ++a) {
    const double f = position[a] / pitch[a] - 0.5;
    if (!(f >= 0.0)) {  // below the first centre, or not a number
      i0[a] = 0;
      t[a] = 0.0;
    } else if (f >= size[a] - 1) {
      // Beyond the last centre: the last voxel (also for a one-voxel axis).
      i0[a] = std::max(size[a] - 2, 0);
      t[a] = size[a] >= 2 ? 1.0 : 0.0;
    } else {
      i0[a] = static_cast<int>(f);
      t[a] = f - i0[a];
    }
    i1[a] = std::min(i0[a] + 1, size[a] - 1);
  }
  const size_t sx = 1, sy = static_cast<size_t>(size[0]),
               sz = static_cast<size_t>(size[0]) * size[1];
  auto v = [&](int x, int y, int z) { return static_cast<double>(values[x * sx + y * sy + z * sz]); };
  const double c00 = v(i0[0], i0[1], i0[2]) * (1 - t[0]) + v(i1[0], i0[1], i0[2]) * t[0];
  const double c10 = v(i0[0], i1[1], i0[2]) * (1 - t[0]) + v(i1[0], i1[1], i0[2]) * t[0];
  const double c01 = v(i0[0], i0[1], i1[2]) * (1 - t[0]) + v(i1[0], i0[1], i1[2]) * t[0];
  const double c11 = v(i0[0], i1[1], i1[2]) * (1 - t[0]) + v(i1[0], i1[1], i1[2]) * t[0];
  const double c0 = c00 * (1 - t[1]) + c10 * t[1];
  const double c1 = c01 * (1 - t[1]) + c11 * t[1];
  return c0 * (1 - t[2]) + c1 * t[2];
}

int t_labelConnectedRegions(const TOGL3DImage* volume, uint8_t value, int* labels) {
  if (!volume || volume->empty()) return 0;
  return t_labelConnectedRegions(volume->W, volume->H, volume->D, volume->data, value, labels);
}
