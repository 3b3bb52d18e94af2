#pragma once
// The record of one region id of the mask: display colour, opacity, flags and the region's
// surface in the unit cube (the mask volume mapped to [0, 1] on each axis).
#include <cstdint>

#include "geom/TTriangleMesh.h"

struct TMaskIdInfo {
  uint32_t color = 0;            // red | green << 8 | blue << 16
  uint8_t alpha = 0;             // opacity of the region's voxels; 200 once committed
  uint8_t polygonRendering = 0;  // 1: shown by its surface instead of its voxels
  uint8_t used = 0;              // 1: the id holds a region
  TTriangleMesh surface;         // copied deeply with the record

  // The defaults of id i: grey (i, i, i), transparent, unused, no surface.
  void reset(int id) {
    color = uint32_t(id) | uint32_t(id) << 8 | uint32_t(id) << 16;
    alpha = 0;
    polygonRendering = 0;
    used = 0;
    surface.clear();
  }
};
