#include "modes/region/kernels/voxel_readout.h"

#include <cmath>
#include <cstdio>

#include "modes/region/kernels/rgrow_threshold.h"

namespace {

int voxelAlong(double coord, double extent, int n) {
  double t = coord / extent * n;
  if (!std::isfinite(t)) t = t > 0 ? n - 1 : 0;  // also NaN -> 0
  t = std::fmin(t, n - 1);
  t = std::fmax(t, 0.0);
  return static_cast<int>(t);
}

}  // namespace

TVoxelReadout t_voxelReadout(const TRgrowVolume& vol, const TVec3& point, const double extent[3], bool rgb,
                             const TRgrowChannelRanges& ranges) {
  TVoxelReadout out;
  if (!vol.valid() || !extent) return out;
  out.i = voxelAlong(point[0], extent[0], vol.W);
  out.j = voxelAlong(point[1], extent[1], vol.H);
  out.k = voxelAlong(point[2], extent[2], vol.D);
  const size_t idx = out.i + static_cast<size_t>(vol.W) * (out.j + static_cast<size_t>(vol.H) * out.k);
  char buf[512];
  if (vol.channels == 1) {
    std::snprintf(buf, sizeof buf, "intensity:%.2f", vol.ch[0][idx]);
  } else if (vol.channels == 2) {
    std::snprintf(buf, sizeof buf, "R:%.2f G:%.2f", vol.ch[0][idx], vol.ch[1][idx]);
  } else if (rgb) {
    std::snprintf(buf, sizeof buf, "R:%.2f G:%.2f B:%.2f", vol.ch[0][idx], vol.ch[1][idx], vol.ch[2][idx]);
  } else {
    const TRgrowHsv hsv = t_rgrowHsv(vol.ch[0][idx], vol.ch[1][idx], vol.ch[2][idx], ranges);
    std::snprintf(buf, sizeof buf, "H:%.1f S:%.3f V:%.3f", hsv.h, hsv.s, hsv.v);
  }
  out.text = buf;
  return out;
}
