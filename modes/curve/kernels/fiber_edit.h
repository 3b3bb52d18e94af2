#pragma once
// Fiber editing helpers: the rub-snakes step, and erasing a new fiber by cutting the region
// surface along it, closing the cut and dropping the part that no other fiber holds.
#include <string>
#include <vector>

#include "geom/TTriangleMesh.h"
#include "modes/curve/kernels/TFiberStroke.h"
#include "modes/curve/kernels/TRoiMesh.h"
#include "modes/curve/kernels/roi_relabel.h"

// What the rub-snakes step reads of the loaded volume: voxel counts (1, 1, 1 when nothing is
// loaded), the world extent and the normalised gradient magnitude (may be null: no pull).
struct TFiberVolume {
  int W = 1, H = 1, D = 1;
  double extent[3] = {10, 10, 10};
  const float* gradient = nullptr;
};

// One snake step of point k of fibers[fiberIndex]: a small smoothing pull plus a pull along the
// cut plane towards the strongest gradient within three steps.  End points of an open fiber and
// pinned points stay.
void t_rubSnakes(std::vector<TFiberStroke>& fibers, const TTriangleMesh& regionMesh, const double eye[3],
                 const TPoints& stroke, int fiberIndex, int k, const TFiberVolume& vol);

// Edge joining two mesh vertices (ends in increasing order), or -1.
int t_findMeshEdge(const TTriangleMesh& mesh, int v0, int v1);

// Refusals of the erase, in order; false with the message the user is shown.
bool t_checkFiberErasable(const std::vector<TCrossPoint>& crossPoints, const std::vector<TFiberStroke>& newFibers,
                          int fiberIndex, std::string* message);

// Removes the triangles on both sides of every edge the fiber crosses and closes the holes this
// leaves.  False with a message when an edge is missing or on a border, or when a hole cannot
// be closed (the result must be closed for the relabelling).
bool t_cutMeshAlongFiber(const TTriangleMesh& mesh, const TFiberStroke& fiber, TTriangleMesh& out,
                         std::string* message);

// Keeps the vertices whose component label is neither compA nor compB (-1: none), with their
// initial positions, and the triangles among them.
void t_removeIsolatedMeshPart(const TTriangleMesh& mesh, const std::vector<int>& labels, int compA, int compB,
                              std::vector<int>& oldToNew, TTriangleMesh& out, TPoints& initialPositions);

// Erases new fiber fiberIndex: checks, cuts the region mesh along it, drops the part it alone
// enclosed, renumbers every constraint and cross point, and rebuilds the ROI mesh from the
// remaining new fibers.  False with a message when refused (nothing changed), or without one in
// the console-only case of a cross point naming the erased fiber (the mesh is already cut).
// Once the mesh is cut, what it lost and the patches that closed it are added to dropped (when
// given; see TRefDropped).
bool t_eraseFiberAndCutMesh(TTriangleMesh& regionMesh, TRoiMesh& roi, std::vector<int>& regionToRoi,
                            std::vector<int>& roiToRegion, std::vector<TCrossPoint>& crossPoints,
                            std::vector<TFiberStroke>& newFibers, std::vector<TFiberStroke>& storedFibers,
                            TPoints& initialPositions, int ringCount, int fiberIndex, std::string* message,
                            TRefDropped* dropped = nullptr);

// Seeds of the ROI: both mesh vertices of every active constraint of the new fibers.
void t_roiSeeds(const std::vector<TFiberStroke>& newFibers, std::vector<int>& seeds);

// The ROI patch of the region mesh: the seeds grown by ringCount rings (extractSubmesh), widened
// where the patch would pinch.  Where two growth fronts meet, as they do around the rim of a thin
// region, a border vertex can keep two separate fans of triangles; such a patch is no manifold
// and the ROI mesh cannot be built on it.  Every such vertex takes its whole fan into the patch
// (repeated until none is left).
void t_extractRoiPatch(TTriangleMesh& regionMesh, const std::vector<int>& seeds, int ringCount,
                       std::vector<TVec3>& verts, std::vector<TPolyIdx>& polys, std::vector<int>& roiToRegion,
                       std::vector<int>& regionToRoi);
