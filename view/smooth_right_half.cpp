#include "view/smooth_right_half.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

void t_smoothVolRightHalf(int W, int H, int D, int x0, int x1, int y1, int z1, float* volume) {
  if (!volume || W <= 0 || H <= 0 || D <= 0) return;
  x0 = std::max(0, x0), x1 = std::min(W, x1);
  y1 = std::min(H, y1), z1 = std::min(D, z1);
  double weight[5][5][5];
  for (int dz = -2; dz <= 2; ++dz)
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx)
        weight[dz + 2][dy + 2][dx + 2] = std::exp(-2.0 * (dx * dx + dy * dy + dz * dz));

  const size_t n = size_t(W) * H * D;
  std::vector<float> scratch(n);
  const int passes = 10;
  for (int pass = 0; pass < passes; ++pass) {
    std::memcpy(scratch.data(), volume, n * sizeof(float));
#pragma omp parallel for schedule(static)
    for (int z = 0; z < z1; ++z)
      for (int y = 0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
          double sum = 0, wsum = 0;
          for (int dz = -2; dz <= 2; ++dz) {
            const int zz = z + dz;
            if (zz < 0 || zz >= D) continue;
            for (int dy = -2; dy <= 2; ++dy) {
              const int yy = y + dy;
              if (yy < 0 || yy >= H) continue;
              for (int dx = -2; dx <= 2; ++dx) {
                const int xx = x + dx;
                if (xx < 0 || xx >= W) continue;
                const double w = weight[dz + 2][dy + 2][dx + 2];
                sum += w * volume[size_t(zz) * W * H + size_t(yy) * W + xx];
                wsum += w;
              }
            }
          }
          // Truncated to an integer, but not cut to 8 bits: values above 255 (CT numbers) must
          // not wrap around.
          scratch[size_t(z) * W * H + size_t(y) * W + x] = float(std::trunc(sum / wsum));
        }
    std::memcpy(volume, scratch.data(), n * sizeof(float));
    fprintf(stderr, "smoothing done %d / %d\n", pass, passes);
  }
}
