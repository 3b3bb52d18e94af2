// Shared pieces of the labelling kernels: the voxel grid, parallel evaluation of a list of
// voxels, and the flood of the outside.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kimplicit {

struct VoxelGrid {
  int W, H, D;
  size_t sW, sWH, n;
  double p[3];

  VoxelGrid(int w, int h, int d, const double extent[3])
      : W(w), H(h), D(d), sW(size_t(w)), sWH(size_t(w) * size_t(h)), n(size_t(w) * size_t(h) * size_t(d)) {
    p[0] = extent[0] / w;
    p[1] = extent[1] / h;
    p[2] = extent[2] / d;
  }
  uint32_t idx(int x, int y, int z) const { return uint32_t(size_t(x) + sW * size_t(y) + sWH * size_t(z)); }
  void coords(uint32_t i, int& x, int& y, int& z) const {
    x = int(i % sW);
    y = int((i / sW) % size_t(H));
    z = int(i / sWH);
  }
  void centre(uint32_t i, double c[3]) const {
    int x, y, z;
    coords(i, x, y, z);
    c[0] = (x + 0.5) * p[0];
    c[1] = (y + 0.5) * p[1];
    c[2] = (z + 0.5) * p[2];
  }
  bool inside(int x, int y, int z) const { return x >= 0 && y >= 0 && z >= 0 && x < W && y < H && z < D; }
  // The voxel holding a world point (truncation); false when the point lies off the volume.
  bool voxelOf(const double q[3], int v[3]) const {
    const int dim[3] = {W, H, D};
    for (int a = 0; a < 3; ++a) {
      const double t = q[a] / p[a];
      if (!(t >= 0.0) || t >= dim[a]) return false;
      v[a] = int(t);
    }
    return true;
  }
  bool onBorder(int x, int y, int z) const {
    return x == 0 || y == 0 || z == 0 || x == W - 1 || y == H - 1 || z == D - 1;
  }
};

// out[i] = f(list[i]) on all threads.
template <class F>
void t_evalVoxelList(const std::vector<uint32_t>& list, F&& f, std::vector<float>& out) {
  out.resize(list.size());
  const long m = long(list.size());
#pragma omp parallel for schedule(dynamic, 16)
  for (long i = 0; i < m; ++i) out[size_t(i)] = f(list[size_t(i)]);
}

// Sorted list without repeats.
inline void t_uniqueList(std::vector<uint32_t>& v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

// f(index) for every voxel on the six faces of the volume, each once.
template <class F>
void t_forEachFaceVoxel(const VoxelGrid& g, F&& f) {
  for (int z = 0; z < g.D; ++z)
    for (int y = 0; y < g.H; ++y) {
      const bool wholeRow = z == 0 || z == g.D - 1 || y == 0 || y == g.H - 1;
      for (int x = 0; x < g.W; x += (wholeRow || x == g.W - 1) ? 1 : g.W - 1) f(g.idx(x, y, z));
    }
}

// Every voxel on the six faces of the volume that holds `open` gets `mark`.
inline void t_markFaces(uint8_t* label, const VoxelGrid& g, uint8_t open, uint8_t mark) {
  t_forEachFaceVoxel(g, [&](uint32_t i) {
    if (label[i] == open) label[i] = mark;
  });
}

// Gives label `mark` to every voxel of the box b0..b1 (inclusive) that holds `open` and is
// face-connected through such voxels of the box to a voxel holding `mark`.  The same end state
// as repeating in-place sweeps until nothing changes, without threads writing shared bytes.
inline void t_floodBox(uint8_t* label, const VoxelGrid& g, const int b0[3], const int b1[3], uint8_t open,
                       uint8_t mark) {
  if (b0[0] > b1[0] || b0[1] > b1[1] || b0[2] > b1[2]) return;
  std::vector<uint32_t> stack;
  const int nz = b1[2] - b0[2] + 1;
  std::vector<std::vector<uint32_t>> found(static_cast<size_t>(nz));
  // Starting voxels: open voxels of the box next to a marked one (read-only pass).
#pragma omp parallel for schedule(static)
  for (int zz = 0; zz < nz; ++zz) {
    const int z = b0[2] + zz;
    for (int y = b0[1]; y <= b1[1]; ++y)
      for (int x = b0[0]; x <= b1[0]; ++x) {
        const uint32_t i = g.idx(x, y, z);
        if (label[i] != open) continue;
        if ((x > 0 && label[i - 1] == mark) || (x < g.W - 1 && label[i + 1] == mark) ||
            (y > 0 && label[i - g.sW] == mark) || (y < g.H - 1 && label[i + g.sW] == mark) ||
            (z > 0 && label[i - g.sWH] == mark) || (z < g.D - 1 && label[i + g.sWH] == mark))
          found[size_t(zz)].push_back(i);
      }
  }
  for (auto& f : found) {
    for (uint32_t i : f) {
      label[i] = mark;
      stack.push_back(i);
    }
    std::vector<uint32_t>().swap(f);
  }
  while (!stack.empty()) {
    const uint32_t i = stack.back();
    stack.pop_back();
    int x, y, z;
    g.coords(i, x, y, z);
    auto visit = [&](bool ok, uint32_t j) {
      if (ok && label[j] == open) {
        label[j] = mark;
        stack.push_back(j);
      }
    };
    visit(x > b0[0], i - 1);
    visit(x < b1[0], i + 1);
    visit(y > b0[1], i - uint32_t(g.sW));
    visit(y < b1[1], i + uint32_t(g.sW));
    visit(z > b0[2], i - uint32_t(g.sWH));
    visit(z < b1[2], i + uint32_t(g.sWH));
  }
}

// The outside of a region that lies within the box lo..hi (inclusive): label 0 voxels reached
// from the faces of the volume or from the listed voxels, through label 0 voxels, become 1.
// Every voxel beyond the box is reached along an axis on which it lies beyond the box, so those
// are marked at once and only the box is flooded.
inline void t_floodOutside(uint8_t* label, const VoxelGrid& g, const int lo[3], const int hi[3],
                           const std::vector<uint32_t>& outsideList) {
#pragma omp parallel for schedule(static)
  for (int z = 0; z < g.D; ++z)
    for (int y = 0; y < g.H; ++y)
      for (int x = 0; x < g.W; ++x) {
        const bool outBox = x < lo[0] || x > hi[0] || y < lo[1] || y > hi[1] || z < lo[2] || z > hi[2];
        const uint32_t i = g.idx(x, y, z);
        if (outBox && label[i] == 0) label[i] = 1;
      }
  t_markFaces(label, g, 0, 1);
  for (uint32_t i : outsideList) label[i] = 1;
  const int dim[3] = {g.W, g.H, g.D};
  int b0[3], b1[3];
  for (int a = 0; a < 3; ++a) {
    b0[a] = std::max(lo[a], 1);
    b1[a] = std::min(hi[a], dim[a] - 2);
  }
  t_floodBox(label, g, b0, b1, 0, 1);
}

}  // namespace kimplicit
