#pragma once
// Seeded region growing: all seed groups grow at once over the whole volume, one voxel at a time,
// always taking the waiting voxel whose intensity is nearest to the mean of the group that put it
// into the front, until every voxel belongs to a group.
//
// Growth rule.  Labels start 0 (unvisited); -2 marks a voxel waiting in the front; g + 1 marks a
// member of group g.  Seeding, group by group and seed by seed: the seed's voxel joins the group
// when it is unvisited, and then every unvisited 26-neighbour (order dz, dy, dx = -1, 0, 1, x
// fastest) enters the front with key |I(u) - mean of the group|.  Growing: the entry with the
// smallest key leaves the front (equal keys in the order they came); it joins the labelled
// neighbour group whose mean is nearest to its intensity (the smallest label on a tie), that
// group's sum, count and mean are updated, and its unvisited neighbours enter the front with keys
// from the updated mean.  A key is fixed when its entry is inserted.  A voxel that leaves the front
// with no labelled neighbour (possible only next to a seed that was itself waiting) becomes
// unvisited again, so that every voxel ends in a group.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "modes/region/kernels/TSrgGroup.h"
#include "modes/region/kernels/voxel_box.h"

enum class TSrgStatus {
  Done,
  TooFewGroups,   // fewer than two groups have a seed inside the volume
  TooManyGroups,  // more than kSrgMaxGroups groups: labels would not fit in a byte
  NoVolume,       // no values or an empty grid
  Stopped,        // the stop flag was raised
};

// The most voxels a run takes: the front keeps voxel indices in 32 bits.
constexpr std::int64_t kSrgMaxVoxels = 0xffffffffLL;

// The message to show for a status (empty for Done and Stopped).
const char* t_srgStatusMessage(TSrgStatus status);

struct TSrgControl {
  // Called now and then from the running thread with the fraction of voxels labelled so far.
  std::function<void(double)> progress;
  // Checked as often as progress is reported; when raised the run stops and changes nothing.
  const std::atomic<bool>* stop = nullptr;
};

// Runs the growth over values (W * H * D floats, index x + W (y + H z)) from the seeds of
// `groups` (world points; seeds outside the box are ignored).  On Done, labels holds W * H * D
// bytes with the label of every voxel (g + 1 for group g; 0 only for voxels no seed can reach,
// which a non-empty grid does not have) and each group's sum, mean and count are those of its
// voxels.  Any other status leaves labels and groups as they were.
TSrgStatus t_seededRegionGrowing(const float* values, const TVoxelBox& box,
                                 std::vector<TSrgGroup>& groups, std::vector<std::uint8_t>& labels,
                                 const TSrgControl& control = TSrgControl());

// The window-levelled display byte of a group mean: integer part of 255 * clamp((v - lo) /
// (hi - lo), 0, 1); 0 when hi equals lo (or either is not a number).  Not the volume textures'
// t_windowLevelByte, which maps a window of no width to 0 and 255: the two must keep apart names.
std::uint8_t t_srgDisplayByte(double value, double lo, double hi);

// The display of a run's result: every voxel shows the mean of its group through the window
// level [lo, hi]; label 0 shows 0.  out is resized to labels.size().
void t_srgMeanDisplay(const std::vector<std::uint8_t>& labels, const std::vector<TSrgGroup>& groups,
                      double lo, double hi, std::vector<std::uint8_t>& out);
