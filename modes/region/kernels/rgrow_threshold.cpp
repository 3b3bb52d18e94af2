#include "modes/region/kernels/rgrow_threshold.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "modes/region/kernels/rgrow_parallel.h"

namespace {

inline double normalised(float c, double lo, double hi) {
  const double range = hi - lo;
  return range != 0 ? (c - lo) / range : 0.0;
}

}  // namespace

TRgrowHsv t_rgrowHsv(float c1, float c2, float c3, const TRgrowChannelRanges& ranges) {
  const double r = normalised(c1, ranges.lo[0], ranges.hi[0]);
  const double g = normalised(c2, ranges.lo[1], ranges.hi[1]);
  const double b = normalised(c3, ranges.lo[2], ranges.hi[2]);
  int largest;  // 0 r, 1 g, 2 b; ties go to the later component
  if (r > g)
    largest = r > b ? 0 : 2;
  else
    largest = g > b ? 1 : 2;
  const double M = largest == 0 ? r : largest == 1 ? g : b;
  const double m = std::min(r, std::min(g, b));
  TRgrowHsv out;
  if (M != m) {
    const double delta = M - m;
    if (largest == 0)
      out.h = 60 * (g - b) / delta;
    else if (largest == 1)
      out.h = 60 * (b - r) / delta + 120;
    else
      out.h = 60 * (r - g) / delta + 240;
    if (out.h < 0) out.h += 360;
  }
  out.s = M == 0 ? 0 : (M - m) / M;
  out.v = M;
  return out;
}

float t_rgrowFloatLowerBound(double lo) {
  if (std::isnan(lo)) return std::numeric_limits<float>::quiet_NaN();  // admits nothing
  if (lo > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  float f = static_cast<float>(lo);
  if (static_cast<double>(f) < lo) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

float t_rgrowFloatUpperBound(double hi) {
  if (std::isnan(hi)) return std::numeric_limits<float>::quiet_NaN();
  if (hi < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
  float f = static_cast<float>(hi);
  if (static_cast<double>(f) > hi) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}

namespace {

template <int C>
void thresholdVoxels(const TRgrowVolume& vol, uint8_t* flags, const TRgrowThresholds& t,
                     const TRgrowProgress& progress) {
  const TRgrowFloatThreshold<C> shared(vol, t);
  constexpr long long kBlock = 256;
  const long long n = static_cast<long long>(vol.voxelCount());
  t_rgrowParallelFor(
      (n + kBlock - 1) / kBlock, kRgrowParallelMin / kBlock,
      [&](long long k0, long long k1) {
        // A local test and a local result block: the flag stores cannot alias either, so the
        // loop keeps the bounds in registers and vectorises.
        const TRgrowFloatThreshold<C> test = shared;
        for (long long k = k0; k < k1; ++k) {
          const long long i0 = k * kBlock;
          const int len = static_cast<int>(std::min(kBlock, n - i0));
          uint8_t out[kBlock];
          for (int b = 0; b < len; ++b) {
            const bool in = test(static_cast<size_t>(i0 + b));
            out[b] = flags[i0 + b] == 0 ? 0 : in ? 255 : 1;
          }
          std::memcpy(flags + i0, out, len);
        }
      },
      progress);
}

}  // namespace

TRgrowStatus t_runThreshold(const TRgrowVolume& vol, uint8_t* flags, const TRgrowThresholds& t,
                            const TRgrowProgress& progress) {
  if (!flags || !vol.validWithGradient()) return TRgrowStatus::BadInput;
  if (vol.channels == 1)
    thresholdVoxels<1>(vol, flags, t, progress);
  else if (vol.channels == 2)
    thresholdVoxels<2>(vol, flags, t, progress);
  else
    thresholdVoxels<3>(vol, flags, t, progress);
  return TRgrowStatus::Ok;
}

TRgrowStatus t_runThresholdHsv(const TRgrowVolume& vol, uint8_t* flags, const TRgrowThresholds& bounds,
                               const TRgrowChannelRanges& ranges, const TRgrowProgress& progress) {
  if (!flags || !vol.validWithGradient() || vol.channels != 3) return TRgrowStatus::BadInput;
  const long long n = static_cast<long long>(vol.voxelCount());
  const float *c1 = vol.ch[0], *c2 = vol.ch[1], *c3 = vol.ch[2], *grad = vol.gradient;
  t_rgrowParallelFor(
      n, kRgrowParallelMin,
      [&](long long i0, long long i1) {
        for (long long i = i0; i < i1; ++i) {
          if (flags[i] == 0) continue;
          const TRgrowHsv hsv = t_rgrowHsv(c1[i], c2[i], c3[i], ranges);
          const double g = grad[i];
          const bool in = bounds.minv[0] <= hsv.h && hsv.h <= bounds.maxv[0] &&  //
                          bounds.minv[1] <= hsv.s && hsv.s <= bounds.maxv[1] &&  //
                          bounds.minv[2] <= hsv.v && hsv.v <= bounds.maxv[2] &&  //
                          bounds.gMin <= g && g <= bounds.gMax;
          flags[i] = in ? 255 : 1;
        }
      },
      progress);
  return TRgrowStatus::Ok;
}
