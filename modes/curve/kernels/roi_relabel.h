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

// The record of the entry, one byte per voxel: whether the voxel is inside the surface built at
// entry and whether it was inside the region.
constexpr uint8_t kRefEntrySurface = 1;
constexpr uint8_t kRefEntryRegion = 2;

// How a relabelling ended.
enum class TRelabelOutcome {
  Done,
  Stale,      // a newer request overtook it
  NoSurface,  // no closed surface: nothing could be told inside
  Mismatch,   // the job does not fit the volume (its size or its record of the entry)
  NoMemory,   // not enough memory for its raster
  Failed,     // anything else went wrong
};

// One erase of a fiber: the region surface just before it and just after it (the same
// vertices, then those of the patches that closed the cut).  Where the two disagree about a
// voxel's inside, the erase took it out of the region (or a patch took it in).
struct TRefErase {
  std::vector<TVec3> before, after, atEntry;  // vertex positions: before and after the erase, and at entry
  std::vector<TPolyIdx> polysBefore, polysAfter;
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};  // the box of what the erase changed (world)
};

// What erases took out of the region surface since entry.  The relabelling cannot see it in the
// surface now, so it is kept beside it: the labels there follow the surface like those where the
// surface moved.
struct TRefDropped {
  // Every triangle an erase took out (the strip along the erased fiber and every triangle of a
  // part it dropped) and every triangle of the patches that closed the cut: six points each,
  // its corners at entry and then at the erase (a patch's corners are new: twice their place).
  std::vector<TVec3> triangles;
  // Each a copy of the whole surface twice over: shared, not copied, by every later record.
  std::vector<std::shared_ptr<const TRefErase>> erases;
};

// One relabelling, with its own copies of what it reads: a worker runs it while the interface
// thread goes on editing.  generation orders the requests; only the newest result is applied.
struct TRelabelJob {
  uint64_t generation = 0;
  int W = 0, H = 0, D = 0;
  double extent[3] = {0, 0, 0};
  TTriangleMesh mesh;           // a copy of the region surface after the edit
  // The result.  Without an entry record it must come in as a copy of the working labels, which
  // are relabelled in place; with one it may come in empty.
  std::vector<uint8_t> labels;
  // The record of the entry (t_refEntryRaster), W*H*D bytes; may be null, and then every voxel
  // follows the surface.
  std::shared_ptr<const std::vector<uint8_t>> entry;
  // Where the surface moved by half a voxel or more since entry: every triangle with a corner
  // that did, six points each, its corners at entry and then now (t_refMovedPoints).
  std::vector<TVec3> moved;
  // What erases took out of the surface (may be null: nothing).
  std::shared_ptr<const TRefDropped> dropped;
  TRelabelOutcome outcome = TRelabelOutcome::Stale;
};

// The record of the entry (kRefEntrySurface, kRefEntryRegion) into out (resized to W*H*D): the
// inside test of the surface built at entry and, from the working labels at entry (W*H*D bytes),
// the region.
// That surface does not reproduce everything of the region it was built from (thin parts,
// cavities and sharp edges are smoothed away); the relabelling compares every later surface with
// it rather than with the region.
void t_refEntryRaster(int W, int H, int D, const double extent[3], const TTriangleMesh& mesh,
                      const uint8_t* entryLabels, std::vector<uint8_t>& out);

// Every triangle of the surface with a corner that moved by half a voxel or more (measured in
// voxels of each axis) from its position at entry: its three corners at entry, then the same
// three now.
std::vector<TVec3> t_refMovedPoints(const TTriangleMesh& mesh, const TPoints& initialPositions,
                                    const double voxelSize[3]);

// Rasterises the job's mesh into job.labels.  Without an entry record every voxel follows the
// surface.  With one, the labels are those of the entry, the surface of the entry, the surface
// now and what erases took out of it alone, whatever edits led there.  A voxel keeps its entry
// label unless it lies in the zone of an edit:
// - within a voxel of the path, from its place at entry to its place now, of a point of the
//   surface that moved by half a voxel or more (a corner of job.moved's triangles or a point
//   between them, which moves as the corners' weights say);
// - the zone of an erase: within two voxels of the path, from entry to the erase, of a point of
//   a triangle it took out or of a patch that closed the cut (job.dropped's triangles), and
//   wherever the surfaces just before and just after it disagree, with their corners where they
//   stood then or at entry (the volume of a dropped part, of the strip between the patches, and
//   what a patch took in).
// Where points moved, a voxel the surface crossed (the surfaces now and at entry disagree)
// follows the surface; so does a voxel there next to such a crossed one (one of its 26
// neighbours) and on the same side of the surface now, where the entry surface contradicted the
// region: what the region had beyond the entry surface on the side the surface left, which would
// otherwise be left behind.  In the zone of an erase every voxel follows the surface, whatever
// the entry surface said: nothing of a dropped part stays, even where the entry surface had
// smoothed it off the region.  A thin part or a groove just beyond the surface's new place stays,
// as do thin parts, cavities and edges the entry surface smoothed away elsewhere and wherever the
// surface only shifted by a fraction of a voxel.
// The walk of a path costs in proportion to its length.
// Returns whether it ran to the end (job.outcome says why not), leaving the labels as they were
// otherwise: when the mesh is not a closed surface, when the job does not fit its volume, when
// the memory for the raster is not there (also when the system reports less available than the
// raster takes), or when newest is given and holds a later generation than the job's (checked
// before the work, during the walk and before the labels are written).  Never throws.
bool t_relabelByRoiMesh(TRelabelJob& job, const std::atomic<uint64_t>* newest = nullptr);

// Flags of the voxel-level graph cut from n labels: 1 (eligible, outside the extraction) for
// labels 0 and 2, 255 for every other label.
void t_refLabelsToCutFlags(const uint8_t* labels, size_t n, uint8_t* flags);
// Relabels n labels from the cut's result: inside where the flag is 255.
void t_refLabelsFromCutFlags(const uint8_t* flags, size_t n, uint8_t* labels);

// The commit of n labels: label 2 clears the mask to 0, labels 4 and 6 give it targetId, others
// keep it.  Sets touched[id] for every other region ID that lost voxels to the commit (their
// surfaces need rebuilding).  Allocates nothing.
void t_commitRefLabels(const uint8_t* labels, size_t n, uint8_t* mask, int targetId, bool touched[256]);
