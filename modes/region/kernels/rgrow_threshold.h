#pragma once
// Thresholding of the working flag volume on raw channel values or in HSV, and the per-voxel
// tests that the connected floods share with it.
#include "modes/region/kernels/rgrow_volume.h"

// Hue in degrees [0, 360), saturation and value of one voxel of a three-channel volume.
struct TRgrowHsv {
  double h = 0, s = 0, v = 0;
};

// Each channel is first normalised by its data range, (c - lo) / (hi - lo), without clamping; a
// channel whose range is empty (lo == hi) normalises to 0.  Then V is the largest component M, S
// is (M - m) / M (0 when M is 0), and H follows the largest component, ties going to the later
// of r, g, b; H is 0 when all three are equal.
TRgrowHsv t_rgrowHsv(float c1, float c2, float c3, const TRgrowChannelRanges& ranges);

// The raw-value test of voxel i: every channel the volume has and the gradient magnitude lie in
// their ranges, bounds included, compared in double precision.  The volume must have a gradient.
inline bool t_rgrowPassesThreshold(const TRgrowVolume& vol, size_t i, const TRgrowThresholds& t) {
  const double g = vol.gradient[i];
  if (!(t.gMin <= g && g <= t.gMax)) return false;
  for (int k = 0; k < vol.channels; ++k) {
    const double c = vol.ch[k][i];
    if (!(t.minv[k] <= c && c <= t.maxv[k])) return false;
  }
  return true;
}

// The same test on float values for whole loops: each double bound is replaced by the float
// bound that admits exactly the same float values (the smallest float not below a lower bound,
// the largest float not above an upper bound), so the comparisons need no conversion and
// vectorise.  C is the channel count.
template <int C>
struct TRgrowFloatThreshold {
  const float* ch[3];
  const float* grad;
  float lo[3], hi[3], gLo, gHi;

  TRgrowFloatThreshold(const TRgrowVolume& vol, const TRgrowThresholds& t);
  bool operator()(size_t i) const {
    const float g = grad[i];
    bool in = (gLo <= g) & (g <= gHi);
    for (int k = 0; k < C; ++k) {
      const float c = ch[k][i];
      in &= (lo[k] <= c) & (c <= hi[k]);
    }
    return in;
  }
};

// Float bounds equivalent to double ones (see TRgrowFloatThreshold).
float t_rgrowFloatLowerBound(double lo);
float t_rgrowFloatUpperBound(double hi);

template <int C>
TRgrowFloatThreshold<C>::TRgrowFloatThreshold(const TRgrowVolume& vol, const TRgrowThresholds& t) {
  for (int k = 0; k < 3; ++k) {
    ch[k] = vol.ch[k];
    lo[k] = t_rgrowFloatLowerBound(t.minv[k]);
    hi[k] = t_rgrowFloatUpperBound(t.maxv[k]);
  }
  grad = vol.gradient;
  gLo = t_rgrowFloatLowerBound(t.gMin);
  gHi = t_rgrowFloatUpperBound(t.gMax);
}

// "Run Threshold" on raw values: every voxel with a non-zero flag becomes 255 when it passes
// t_rgrowPassesThreshold, else 1; flags of 0 stay 0.  BadInput (nothing changed) without flags,
// a valid volume or a gradient.
TRgrowStatus t_runThreshold(const TRgrowVolume& vol, uint8_t* flags, const TRgrowThresholds& t,
                            const TRgrowProgress& progress = {});

// The same in HSV for three-channel volumes: bounds.minv/maxv hold hue (degrees), saturation and
// value; the gradient bounds are as for raw values.  Hue ranges do not wrap.  BadInput (nothing
// changed) unless the volume has three channels and a gradient.
TRgrowStatus t_runThresholdHsv(const TRgrowVolume& vol, uint8_t* flags, const TRgrowThresholds& bounds,
                               const TRgrowChannelRanges& ranges, const TRgrowProgress& progress = {});
