#pragma once
// The voxel grid of the loaded volume inside its world box: W x H x D voxels filling
// [0, ex] x [0, ey] x [0, ez].  Voxel (i, j, k) has the linear index i + W (j + H k), its centre at
// ((i + 0.5) ex / W, (j + 0.5) ey / H, (k + 0.5) ez / D).  The painting, lasso and seed kernels
// find the voxel of a world point here, so that what is drawn and what is changed agree.
#include <cmath>
#include <cstdint>

struct TVoxelBox {
  int W = 1, H = 1, D = 1;
  double extent[3] = {10.0, 10.0, 10.0};

  TVoxelBox() = default;
  TVoxelBox(int w, int h, int d, const double e[3]) : W(w), H(h), D(d), extent{e[0], e[1], e[2]} {}

  std::int64_t voxelCount() const { return static_cast<std::int64_t>(W) * H * D; }
  bool valid() const {
    return W > 0 && H > 0 && D > 0 && extent[0] > 0 && extent[1] > 0 && extent[2] > 0;
  }
  int size(int axis) const { return axis == 0 ? W : axis == 1 ? H : D; }
  double pitch(int axis) const { return extent[axis] / size(axis); }
  std::int64_t index(int i, int j, int k) const {
    return static_cast<std::int64_t>(i) + static_cast<std::int64_t>(W) * (j + static_cast<std::int64_t>(H) * k);
  }

  // The voxel of a point of the box: per axis the integer part of min(max(p / e * n, 0), n - 1).
  // A point outside the box (or not a number) has no voxel.
  bool voxelOf(const double p[3], int ijk[3]) const {
    if (!valid()) return false;
    for (int a = 0; a < 3; ++a) {
      if (!(p[a] >= 0.0 && p[a] <= extent[a])) return false;
      const int n = size(a);
      const double t = std::fmin(std::fmax(p[a] / extent[a] * n, 0.0), static_cast<double>(n - 1));
      ijk[a] = static_cast<int>(t);
    }
    return true;
  }
  void centre(const int ijk[3], double c[3]) const {
    for (int a = 0; a < 3; ++a) c[a] = (ijk[a] + 0.5) * extent[a] / size(a);
  }
  // The world cell of a voxel: lo = ijk * pitch, hi = (ijk + 1) * pitch.
  void cell(const int ijk[3], double lo[3], double hi[3]) const {
    for (int a = 0; a < 3; ++a) {
      lo[a] = ijk[a] * extent[a] / size(a);
      hi[a] = (ijk[a] + 1) * extent[a] / size(a);
    }
  }
};
