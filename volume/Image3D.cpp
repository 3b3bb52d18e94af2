#include "volume/Image3D.h"

#include <new>

Image3D::Image3D(int w, int h, int d) { allocate(w, h, d); }

Image3D::~Image3D() { release(); }

void Image3D::allocate(int w, int h, int d) {
  release();
  if (w <= 0 || h <= 0 || d <= 0) return;
  // Rows are allocated one by one so that a failure part way frees exactly what was made.
  voxels = new double**[d]();
  W = w;
  H = h;
  D = d;
  try {
    for (int z = 0; z < d; ++z) {
      voxels[z] = new double*[h]();
      for (int y = 0; y < h; ++y) voxels[z][y] = new double[w];
    }
  } catch (const std::bad_alloc&) {
    release();
    throw;
  }
}

void Image3D::release() {
  if (voxels) {
    for (int z = 0; z < D; ++z) {
      if (!voxels[z]) continue;
      for (int y = 0; y < H; ++y) delete[] voxels[z][y];
      delete[] voxels[z];
    }
    delete[] voxels;
  }
  voxels = nullptr;
  W = H = D = 0;
}
