#pragma once
// Labels of a contour refinement in the working flag volume, and their computation from the
// refined surface.  Every label keeps whether the voxel was inside the region at entry and says
// whether it is inside now:
//   0 outside at entry, outside now      2 inside at entry, outside now (removed)
//   4 outside at entry, inside now (added)  6 inside at entry, inside now
// Any other value counts as inside at entry.
#include <atomic>
#include <cstdint>
#include <vector>

#include "geom/TTriangleMesh.h"

inline bool t_refWasInside(uint8_t label) { return label != 0 && label != 4; }
inline uint8_t t_refLabel(uint8_t old, bool insideNow) {
  return t_refWasInside(old) ? (insideNow ? 6 : 2) : (insideNow ? 4 : 0);
}

// One relabelling, with its own copies of what it reads: a worker runs it while the interface
// thread goes on editing.  generation orders the requests; only the newest result is applied.
struct TRelabelJob {
  uint64_t generation = 0;
  int W = 0, H = 0, D = 0;
  double extent[3] = {0, 0, 0};
  TTriangleMesh mesh;           // a copy of the region surface after the edit
  std::vector<uint8_t> labels;  // a copy of the working labels; replaced by the result
};

// Rasterises the job's mesh and relabels job.labels in place.  Returns false, leaving the
// labels as they were, when the mesh is not a closed surface (nothing could be told inside) or
// when newest is given and holds a later generation than the job's (checked before the work and
// before the labels are written).
bool t_relabelByRoiMesh(TRelabelJob& job, const std::atomic<uint64_t>* newest = nullptr);

// Flags of the voxel-level graph cut: 1 (eligible, outside the extraction) for labels 0 and 2,
// 255 for every other label.
void t_refLabelsToCutFlags(const std::vector<uint8_t>& labels, std::vector<uint8_t>& flags);
// Relabels from the cut's result: inside where the flag is 255.
void t_refLabelsFromCutFlags(const std::vector<uint8_t>& flags, std::vector<uint8_t>& labels);

// The commit: label 2 clears the mask to 0, labels 4 and 6 give it targetId, others keep it.
// Returns the other region IDs that lost voxels to the commit (their surfaces need rebuilding).
std::vector<int> t_commitRefLabels(const std::vector<uint8_t>& labels, uint8_t* mask, int targetId);
