#pragma once
// The graph cut's pre-segmentation of a whole volume, as the mode's worker runs it: watershed of
// the gradient magnitude, one-voxel basins removed, lines absorbed, regions and adjacency built,
// the cache file written.  The worker owns its input; it reports through platform/Progress.h,
// can be stopped, and returns a status that the interface thread turns into a message.
#include <atomic>
#include <string>
#include <vector>

#include "modes/region/kernels/watershed.h"

struct TGCutPrecomp {
  std::vector<int> labels;  // region of each voxel (0-based)
  std::vector<TGCutRegion> regions;
  TGCutAdjacency adjacency;
};

struct TGCutPrecomputeInput {
  int W = 0, H = 0, D = 0;
  std::vector<float> gradient;        // gradient magnitude, W*H*D
  std::vector<float> c1, c2, c3;      // channels; c2 and c3 may be empty
  std::string cachePath;              // written after a successful run; empty: no file
  float scale = 1000.0f;              // gradient -> flooding level
};

// On Ok, out holds the pre-segmentation (in-target flags all 1: the caller marks them) and the
// cache file has been written when a path was given (a failed write is not an error).  On any
// other status out is untouched and no file is written.
TWatershedStatus t_precomputeGCut(const TGCutPrecomputeInput& in, TGCutPrecomp& out,
                                  const std::atomic<bool>* stop = nullptr);
