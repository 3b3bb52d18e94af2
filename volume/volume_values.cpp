#include "volume/volume_values.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

void t_flipVolumeY32(int W, int H, int D, float* values) {
  if (!values || W <= 0 || H <= 0 || D <= 0) return;
  const int64_t slice = int64_t(W) * H;
#pragma omp parallel
  {
    std::vector<float> tmp(static_cast<size_t>(slice));
#pragma omp for schedule(static)
    for (int z = 0; z < D; ++z) {
      float* s = values + slice * z;
      for (int y = 0; y < H; ++y)
        std::memcpy(&tmp[size_t(H - 1 - y) * W], s + int64_t(y) * W, sizeof(float) * W);
      std::memcpy(s, tmp.data(), sizeof(float) * slice);
    }
  }
}

void t_getMinMax(int W, int H, int D, const float* values, double* minimum, double* maximum) {
  double mn = DBL_MAX, mx = -DBL_MAX;
  const int64_t n = (values && W > 0 && H > 0 && D > 0) ? int64_t(W) * H * D : 0;
#pragma omp parallel for reduction(min : mn) reduction(max : mx) schedule(static)
  for (int64_t i = 0; i < n; ++i) {
    const double v = values[i];
    if (v < mn) mn = v;
    if (v > mx) mx = v;
  }
  *minimum = mn;
  *maximum = mx;
}

bool t_makeDefaultVolume(int* W, int* H, int* D, float** values) {
  const int n = 64;
  *W = *H = *D = n;
  float* v = new float[size_t(n) * n * n];
#pragma omp parallel for schedule(static)
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const double px = x * 10.0 / n - 5, py = y * 10.0 / n - 5, pz = z * 10.0 / n - 5;
        const double d = std::sqrt(px * px + py * py + pz * pz);
        const double e = (d - 3) * (d - 3) * (d - 3);
        double val = 800 - 10 * e * e;
        if (val < 0) val = 0;
        v[(size_t(n) * z + y) * n + x] = float(val);
      }
  *values = v;
  return true;
}
