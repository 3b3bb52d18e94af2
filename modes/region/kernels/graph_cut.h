#pragma once
// Minimum cuts that label the working flag volume (0 not eligible, 1 eligible, 255 extracted):
// the region-level cut over the watershed regions, driven by foreground and background seed
// voxels; the voxel-level cut that refines the boundary of the current extraction inside a band;
// and the whole-volume voxel cut.  Energy E = E1 + a * E2: terminal links carry E1, neighbour links
// a / (1 + d^2) with d the colour difference.  The source is the foreground.
//
// Every size is computed in 64 bits; a cut whose graph does not fit in memory is refused: the
// function returns false with the flags untouched and the reason in *refusal (for the caller to
// show).  memoryLimit 0 means the memory the system reports available.
#include <cstdint>
#include <string>
#include <vector>

#include "modes/region/kernels/gcut_precompute.h"
#include "platform/LargeMemory.h"

// A control point of the graph-cut mode: box coordinates and the foreground flag.
struct TGCutCtrlPoint {
  double x = 0, y = 0, z = 0;
  unsigned char fore = 1;
};

// Sorts ascending and removes duplicates.
void t_sortUnique(std::vector<int>& v);

// Seed voxels of the points inside the box [0, extent]: voxel = trunc(clamp(x / X * W, 0, W - 1)),
// likewise y and z.  Both lists sorted and unique.
void t_gcutSeedVoxels(const std::vector<TGCutCtrlPoint>& points, const double extent[3], int W, int H,
                      int D, std::vector<int>& fore, std::vector<int>& back);

// Splits the region of voxel f between f and b (nothing when labels[b] != labels[f]): two face
// floods that alternate one voxel at a time, the background one first, give the region's voxels
// base + 1 (from b) or base + 2 (from f).  Each seed takes its own flood's label at once.
void t_splitRegionBetweenSeeds(int W, int H, int D, int baseLabel, int f, int b,
                               std::vector<int>& labels);

// Keeps the extracted voxels (255) face-connected to a seed voxel; other 255 voxels become 1.
void t_keepSeedComponents(int W, int H, int D, const std::vector<int>& seeds, unsigned char* flags);

// The region-level cut.  Regions holding both seed kinds are split first (the pre-segmentation
// keeps the splits); every non-zero flag becomes 255 (region on the source side and connected to
// a foreground seed) or 1.  Progress: caption 8.
bool t_graphCutRegionLevel(int W, int H, int D, double a, std::vector<int> fore,
                           std::vector<int> back, const float* c1, const float* c2, const float* c3,
                           TGCutPrecomp& pre, unsigned char* flags, std::string* refusal = nullptr,
                           std::int64_t memoryLimit = 0);

// The voxel-level cut in the band of half-width s around the boundary of the 255 voxels.  c2 and
// c3 may be null.  On return every non-zero flag is 255 or 1; zero flags are untouched.
bool t_graphCutVoxelLevel(int W, int H, int D, int s, double a, const float* c1, const float* c2,
                          const float* c3, unsigned char* flags, std::string* refusal = nullptr,
                          std::int64_t memoryLimit = 0);

// The cut over every voxel with terminal weights from channel 1 and the seed voxels; the
// source-side part connected to a foreground seed becomes 255, every other non-zero flag 1.
bool t_graphCutWholeVolume(int W, int H, int D, double a, std::vector<int> fore,
                           std::vector<int> back, const float* c1, unsigned char* flags,
                           std::string* refusal = nullptr, std::int64_t memoryLimit = 0);
