#pragma once
// Painting of the working flag volume by a one-voxel brush and by filled lassos, and the commit
// of the painted flags into the region mask.
//
// Flag values: 255 extracted, 0 not extracted, and in refinement 1 for a voxel of the refined
// region that the user erased.  The mask holds region IDs (0 background).
#include <array>
#include <cstdint>
#include <map>

#include "modes/region/kernels/voxel_box.h"

// What a paint or erase is allowed to change.
struct TPaintRules {
  bool refinement = false;  // refining one region (targetId) instead of segmenting a new one
  bool fixOther = true;     // voxels that already carry a region ID are protected
  int targetId = 0;         // the refined region ID; 0 in segmentation
};

// Voxels changed by the current brush stroke, ordered by voxel index, each held once with its
// centre (world coordinates): the mode draws the brush box at each of them.
using TPaintedSet = std::map<std::int64_t, std::array<double, 3>>;

// One brush event on voxel `index`.  Paint: refused when fixOther and the voxel has a region ID
// (the refined region too), else flag = 255.  Erase: only a flag of 255 changes, to 1 for a voxel
// of the refined region and to 0 otherwise.  Returns whether the rule changed the flag.
bool t_brushVoxel(std::uint8_t* flags, const std::uint8_t* mask, std::int64_t index, bool paint,
                  const TPaintRules& rules);

// One lasso cell on voxel `index`.  Paint: refused when fixOther and the voxel carries an ID
// other than 0 (and, in refinement, other than the target), else flag = 255.  Erase: flag = 1 for
// a voxel of the refined region, else 0.  Returns whether the flag changed.
bool t_lassoVoxel(std::uint8_t* flags, const std::uint8_t* mask, std::int64_t index, bool paint,
                  const TPaintRules& rules);

// A brush event at a world point: the voxel under the point (none outside the box) gets
// t_brushVoxel; a voxel that changed enters the painted set.  Returns whether the voxel was newly
// added to the set, so painting the same voxel twice in one stroke changes it once.
bool t_paintVoxelAt(const TVoxelBox& box, const double point[3], std::uint8_t* flags,
                    const std::uint8_t* mask, bool paint, const TPaintRules& rules,
                    TPaintedSet& painted);

// The outline of the brush for a cursor at `point`: the world cell [lo, hi] of exactly the voxel
// that t_paintVoxelAt would change there.  False (lo, hi untouched) when the point has no voxel.
bool t_brushOutline(const TVoxelBox& box, const double point[3], double lo[3], double hi[3]);

// What a commit changed in the mask, per region ID.
struct TMaskCommit {
  std::array<std::int64_t, 256> voxels{};  // voxels of each ID after the commit
  std::array<bool, 256> changed{};         // the ID gained or lost voxels
  std::int64_t written = 0;                // voxels that took newId
};

// Writes the flags into the mask: flag 255 -> newId, and with eraseOnes flag 1 -> 0; other flags
// leave the mask.  The report lets the caller rebuild the surfaces of the IDs that changed and
// release the IDs left without voxels.
TMaskCommit t_commitFlagsToMask(const std::uint8_t* flags, std::uint8_t* mask, std::int64_t n,
                                std::uint8_t newId, bool eraseOnes);
