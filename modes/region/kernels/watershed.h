#pragma once
// Watershed pre-segmentation of the graph cut: an immersion watershed of the gradient magnitude
// in slabs of slices, removal of one-voxel basins, absorption of the watershed lines into the
// neighbouring basins, and the region records and region adjacency that the region-level cut
// works on.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// One voxel of the slab being flooded.  label: -3 queue marker, -2 MASK, -1 INIT, 0 watershed
// line, >= 1 basin.
struct TWatershedNode {
  std::int32_t label;
  std::int32_t dist;
  std::uint16_t level;
  std::uint8_t border;  // on the slab's border: some of the 26 neighbours are missing
};
constexpr int kWsMarker = -3;
constexpr int kWsMask = -2;
constexpr int kWsInit = -1;
constexpr int kWsLine = 0;
constexpr int kWsMaxLevel = 1024;

// One region of the pre-segmentation.
struct TGCutRegion {
  std::vector<int> voxels;  // voxel indices, ascending
  float sum[3] = {0.0f, 0.0f, 0.0f};
  float mean[3] = {0.0f, 0.0f, 0.0f};
  unsigned char sourceSide = 0;
  unsigned char inTarget = 1;
};
// adjacency[r]: the neighbours s > r of region r, ascending, each once.
using TGCutAdjacency = std::vector<std::vector<int>>;

enum class TWatershedStatus { Ok, TooBig, NoBasin, Stopped };
// The text the interface shows for a refusal (empty for Ok and Stopped).
const char* t_watershedStatusText(TWatershedStatus status);

// Slices per slab for a volume of W x H voxels per slice (about 2^21 voxels a slab, at least one
// slice); 0 when a slice is too big to flood (floor(log2 W) + floor(log2 H) > 23).
int t_watershedSlabDepth(int W, int H);

// Quantised flooding level of a value: scale * value truncated, clamped to 0 ... 1024.
std::uint16_t t_watershedLevel(float value, float scale);

// Whole-volume labels (0 line, >= 1 basin), slab by slab; basins never cross a slab boundary
// and slab k's labels follow those of the slabs before it.  Slabs run in parallel.  Progress:
// caption 6 from start to end.  Labels are resized to W*H*D only on success.
TWatershedStatus t_calcWatershedBySlabs(int W, int H, int D, const float* values, float scale,
                                        std::vector<int>& labels,
                                        const std::atomic<bool>* stop = nullptr);

// Immersion watershed of one slab of `depth` slices (26-connected within the slab); labels
// numbered from 1.  Returns the largest label, or -1 when stopped.
int t_watershed3D(int W, int H, int depth, const float* values, float scale, int* labels,
                  const std::atomic<bool>* stop = nullptr);

// Removes one-voxel basins (they become line voxels) and renumbers the surviving basins 1 ... K
// in ascending order.  Returns K.
int t_compactLabels(std::vector<int>& labels);

// Gives every line voxel (label < 1) the label of its nearest-valued face neighbour, pass after
// pass, until a pass changes nothing.  c2 and c3 may be null.
void t_absorbWatershedLines(int W, int H, int D, const float* c1, const float* c2, const float* c3,
                            std::vector<int>& labels);

// Region records and adjacency from 0-based labels (regions 0 ... largest label).  c1 ... c3 may
// be null (counted as 0).
void t_buildRegionsAndAdjacency(int W, int H, int D, const float* c1, const float* c2,
                                const float* c3, const std::vector<int>& labels,
                                std::vector<TGCutRegion>& regions, TGCutAdjacency& adjacency);

// In-target flag of every region: 1 when any of its voxels is non-zero in flags.
void t_markTargetRegions(const unsigned char* flags, std::vector<TGCutRegion>& regions);
