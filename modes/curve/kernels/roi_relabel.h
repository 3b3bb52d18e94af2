#pragma once
// Labels of a contour refinement in the working flag volume, and their computation from the
// refined surface.  Every label keeps whether the voxel was inside the region at entry and says
// whether it is inside now:
//   0 outside at entry, outside now      2 inside at entry, outside now (removed)
//   4 outside at entry, inside now (added)  6 inside at entry, inside now
// Any other value counts as inside at entry.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
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
  // The voxels the surface built at entry put on the wrong side (t_refHeldVoxels); may be null.
  std::shared_ptr<const std::vector<size_t>> held;
};

// The voxels whose inside test by the surface built at entry (mesh) disagrees with their label
// at entry, in increasing order.  Smoothing rounds off edges and corners that are sharp on the
// voxel scale (such as the rim of a thin region): there the surface does not reproduce the region
// it was built from.
std::vector<size_t> t_refHeldVoxels(int W, int H, int D, const double extent[3], const TTriangleMesh& mesh,
                                    const std::vector<uint8_t>& labels);

// Rasterises the job's mesh and relabels job.labels in place.  A held voxel keeps whether it was
// inside at entry as long as the surface still passes next to it (some of its 26 neighbours lies
// on the other side): there the surface says nothing the entry surface did not, and following it
// would scatter changes along every sharp edge, edited or not.  Once the surface has moved away
// from it, the voxel follows the surface like every other.  Returns false, leaving the labels as
// they were, when the mesh is not a closed surface (nothing could be told inside) or when newest
// is given and holds a later generation than the job's (checked before the work and before the
// labels are written).
bool t_relabelByRoiMesh(TRelabelJob& job, const std::atomic<uint64_t>* newest = nullptr);

// Flags of the voxel-level graph cut: 1 (eligible, outside the extraction) for labels 0 and 2,
// 255 for every other label.
void t_refLabelsToCutFlags(const std::vector<uint8_t>& labels, std::vector<uint8_t>& flags);
// Relabels from the cut's result: inside where the flag is 255.
void t_refLabelsFromCutFlags(const std::vector<uint8_t>& flags, std::vector<uint8_t>& labels);

// The commit: label 2 clears the mask to 0, labels 4 and 6 give it targetId, others keep it.
// Returns the other region IDs that lost voxels to the commit (their surfaces need rebuilding).
std::vector<int> t_commitRefLabels(const std::vector<uint8_t>& labels, uint8_t* mask, int targetId);
