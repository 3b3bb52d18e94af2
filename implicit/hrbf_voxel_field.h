// A solved Hermite-RBF field read at voxel centres, completed by the voxel's channel values.
#pragma once

#include "implicit/hrbf.h"
#include "implicit/voxel_grid.h"

namespace kimplicit {

struct HrbfVoxelField {
  const THrbfField& f;
  VoxelGrid grid;
  const float* vol[3];
  double weight;

  HrbfVoxelField(const THrbfField& field, int W, int H, int D, const double extent[3], const float* const v[3],
                 double w)
      : f(field), grid(W, H, D, extent), vol{v[0], v[1], v[2]}, weight(w) {}

  float at(uint32_t i) const {
    double x[6];
    grid.centre(i, x);
    for (int c = 0; c + 3 < f.dim(); ++c) x[3 + c] = vol[c] ? vol[c][i] * weight : 0.0;
    return f.eval(x);
  }
};

}  // namespace kimplicit
