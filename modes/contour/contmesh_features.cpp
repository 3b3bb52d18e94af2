#include "modes/contour/contmesh_features.h"

#include <cfloat>
#include <cmath>
#include <cstddef>

#include "volume/volume_filters.h"

void t_normalizeToUnitRange(float* out, const float* in, int n, double min, double max) {
  const double range = max - min;
  // A flat channel carries nothing to tell voxels apart: one constant, never a division by 0.
  if (!(range > 0) || !std::isfinite(range)) {
#pragma omp parallel for schedule(static)
    for (int i = 0; i < n; ++i) out[i] = 0.0f;
    return;
  }
#pragma omp parallel for schedule(static)
  for (int i = 0; i < n; ++i) out[i] = static_cast<float>((static_cast<double>(in[i]) - min) / range);
}

double t_meanVoxelSize(const double extent[3], int W, int H, int D) {
  const int n[3] = {W < 1 ? 1 : W, H < 1 ? 1 : H, D < 1 ? 1 : D};
  return (extent[0] / n[0] + extent[1] / n[1] + extent[2] / n[2]) / 3.0;
}

namespace {

constexpr double kFlatLab = 1e-3;

double labF(double t) { return t > 0.008856 ? std::pow(t, 0.3333333) : 7.787 * t + 0.13793; }

void rgbToLab(double r, double g, double b, double lab[3]) {
  const double X = 0.609741 * r + 0.205273 * g + 0.149187 * b;
  const double Y = 0.311113 * r + 0.625675 * g + 0.063212 * b;
  const double Z = 0.019465 * r + 0.060874 * g + 0.74456 * b;
  lab[0] = 116.0 * labF(Y) - 16.0;
  lab[1] = 500.0 * (labF(X / 0.9642) - labF(Y));
  lab[2] = 200.0 * (labF(Y) - labF(Z / 0.8249));
}

}  // namespace

void t_buildFeatureVolumes(int W, int H, int D, int channels, const float* const ch[3], const double lo[3],
                           const double hi[3], TFeatureVolume out[3]) {
  for (int k = 0; k < 3; ++k) out[k].reset();
  if (W < 1 || H < 1 || D < 1 || channels < 1) return;
  const std::size_t n = static_cast<std::size_t>(W) * H * D;
  const int c = channels > 3 ? 3 : channels;
  std::vector<float> f[3];
  for (int k = 0; k < c; ++k) {
    f[k].resize(n);
    if (ch[k])
      t_normalizeToUnitRange(f[k].data(), ch[k], static_cast<int>(n), lo[k], hi[k]);
    else
      t_normalizeToUnitRange(f[k].data(), f[k].data(), static_cast<int>(n), 0, 0);
  }
  if (c == 3) {
    double mn[3] = {DBL_MAX, DBL_MAX, DBL_MAX}, mx[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (std::size_t i = 0; i < n; ++i) {
      double lab[3];
      rgbToLab(f[0][i], f[1][i], f[2][i], lab);
      for (int a = 0; a < 3; ++a) {
        if (lab[a] < mn[a]) mn[a] = lab[a];
        if (lab[a] > mx[a]) mx[a] = lab[a];
      }
    }
    const long long count = static_cast<long long>(n);
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < count; ++i) {
      double lab[3];
      rgbToLab(f[0][i], f[1][i], f[2][i], lab);
      for (int a = 0; a < 3; ++a) {
        const double range = mx[a] - mn[a];
        // A flat L*, a* or b* maps to 0.  A grey volume has a* = b* = 0 up to the rounding of the
        // conversion matrix (a spread near 1e-4, far below a visible colour difference of about 1):
        // stretching that noise to [0, 1] would make colour out of nothing.
        f[a][i] = range > kFlatLab ? static_cast<float>((lab[a] - mn[a]) / range) : 0.0f;
      }
    }
  }
  for (int k = 0; k < c; ++k) {
    t_smoothVolume(W, H, D, 3, f[k].data());
    out[k] = std::make_shared<const std::vector<float>>(std::move(f[k]));
  }
}
