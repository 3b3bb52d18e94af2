#pragma once
// One seed group of seeded region growing: its running statistics, colour, seeds and the surface
// built after a run.  The group with index g takes the label g + 1.
#include <cstdint>

#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"

struct TSrgGroup {
  double sum = 0.0;    // sum of the intensities of the voxels joined so far
  double mean = 0.0;   // sum / count
  std::int64_t count = 0;
  double color[3] = {0.0, 0.0, 0.0};  // r, g, b in 0..1
  TPoints seeds;       // world coordinates
  TTriangleMesh surface;
};

// Labels are bytes with 0 for "none", so at most 254 groups fit beside the reserved 255.
constexpr int kSrgMaxGroups = 254;
