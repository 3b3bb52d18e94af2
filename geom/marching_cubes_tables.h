// Case tables of the marching-cubes family (marching_cubes.cpp).
//
// Corner n of a cell sits at the offset (along x, y, z) from its lowest corner:
//   0 (0,0,0)  1 (1,0,0)  2 (1,0,1)  3 (0,0,1)  4 (0,1,0)  5 (1,1,0)  6 (1,1,1)  7 (0,1,1)
// Edge e joins the corners kMcEdgeCorners[e] (lower end first).  Bit n of a cube index is
// set when corner n is inside.
#pragma once

#include <cstdint>

struct TMcTables {
  uint16_t edgeMask[256];   // 12-bit mask of the cut edges per cube index
  int8_t tris[256][16];     // edge triples of the triangles, -1 terminated
  uint8_t triCount[256];    // number of triangles per cube index
};

extern const int kMcCornerOffset[8][3];
extern const int kMcEdgeCorners[12][2];

// Built once on first use (thread-safe), constant afterwards.
const TMcTables& t_mcTables();
