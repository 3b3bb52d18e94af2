#pragma once
// The read-out of the values under a control point, shown in the region-growing panel.
#include <string>

#include "geom/vec3.h"
#include "modes/region/kernels/rgrow_volume.h"

struct TVoxelReadout {
  int i = 0, j = 0, k = 0;  // the voxel read
  std::string text;         // empty without a valid volume
};

// The voxel under a point of the volume box (extent `extent`): i = trunc(x / Ex * W) limited to
// [0, W - 1], likewise j and k; points outside the box read the nearest border voxel.  The text
// by channel count: "intensity:%.2f"; "R:%.2f G:%.2f"; with three channels "R:%.2f G:%.2f B:%.2f"
// when `rgb` is set, else "H:%.1f S:%.3f V:%.3f" as t_rgrowHsv computes them from `ranges`.
TVoxelReadout t_voxelReadout(const TRgrowVolume& vol, const TVec3& point, const double extent[3], bool rgb,
                             const TRgrowChannelRanges& ranges);
