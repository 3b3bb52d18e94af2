#pragma once
// TFiberScene: the plain state of a contour refinement and every operation on it that needs no
// window: the region surface and its initial vertex positions, the new fibers of the last cut,
// the stored fibers, the cross points, the ROI mesh with its two vertex maps and the last cut's
// stroke surface.  The mode owns one, fills a TFiberView from its main view and the volume facts
// from the loaded volume, shows the returned messages and starts the relabelling after the
// edits that report a deformation.
#include <memory>
#include <string>
#include <vector>

#include "geom/TTriangleMesh.h"
#include "modes/curve/kernels/TFiberStroke.h"
#include "modes/curve/kernels/TFiberView.h"
#include "modes/curve/kernels/TRoiMesh.h"
#include "modes/curve/kernels/cntrs_file.h"
#include "modes/curve/kernels/fiber_cut.h"
#include "modes/curve/kernels/fiber_edit.h"

class TFiberScene {
 public:
  int targetId = -1;
  TTriangleMesh regionMesh;
  TPoints initialPositions;  // one per region-mesh vertex: where it was when the mesh was built
  std::vector<TFiberStroke> newFibers;
  std::vector<TFiberStroke> storedFibers;
  std::vector<TCrossPoint> crossPoints;
  TRoiMesh roiMesh;
  std::vector<int> roiToRegion;
  std::vector<int> regionToRoi;
  double lastCutEye[3] = {0, 0, 0};
  TPoints lastCutStroke;       // the 3-D stroke of the last cut
  int selectedCrossPoint = -1; // the cross point a drag started on
  // What erases took out of the region surface since it was built (null: nothing).
  std::shared_ptr<const TRefDropped> dropped;

  // Takes a new region surface; its positions become the initial positions.
  void setRegionMesh(const TTriangleMesh& mesh);
  // Drops every fiber and cross point (entry of the mode, erase of all fibers).
  void clearAllFibers();

  // ---- fibers from a cut ----
  void clearNewFibers();
  void remesh(double ratio);
  // The cut pipeline on the window points of a stroke (x, y from the top): fibers, cross points,
  // the ROI mesh with ringCount rings and its constraints, the tree.  False on any failure (no
  // new fiber is left; the progress shows "Failed generation").
  bool createFibersAndRoiMesh(const TPoints& windowStroke, const TFiberView& view, int ringCount);

  // ---- fibers and the ROI mesh ----
  bool createRoiMesh(int ringCount);
  void addFiberConstraintsForRoiMesh();
  // Mode 1 fiber deformation, 2 Laplacian preserving, other: FiberMesh.  voxelSize is
  // extent / voxel count per axis.  False when the ROI solve failed (the surface is unchanged).
  bool updateRoiMeshByNewFiberShape(int mode, const double voxelSize[3]);

  // ---- editing; each true result means the surface was deformed and wants a relabelling ----
  // Drag of a new-fiber point: start (false: nothing picked), move, end.
  bool startDrag(const TFiberView& view, double x, double y, double cursorCircleSize);
  void moveDrag(const TFiberView& view, double x, double y, const TTriangleMesh* cutSurface);
  bool endDrag(const double voxelSize[3]);
  bool dragging() const { return m_drag.fiber >= 0; }
  // The last drag took its point along the surface (by more than a voxel) but not across it (by
  // less than half a voxel): the fiber slid on the surface, as a fiber on the flat face of a thin
  // region does when dragged along the face.  Such a drag is undone: the fibers go back to where
  // they were, the surface is not deformed, and endDrag returns false.
  bool lastDragAlongSurface() const { return m_dragAlongSurface; }

  // Replaces a stretch of the nearest new fiber by the stroke (picked on the cut surface).
  // False without a message when nothing changes, with one when the stroke is too far.
  bool overDrawFiber(TPoints stroke, const double voxelSize[3], std::string* message);
  // One rub at the cursor: passes of smoothing or of the snake step.  False when no point is
  // under the cursor.
  bool rubFiber(const TFiberView& view, double x, double y, int passes, bool snakes, const TFiberVolume& vol);
  // The release of a rub: constraint positions follow the fibers, then the deformation.
  bool endRub(const double voxelSize[3]);

  // Erase of new fiber i, cutting the surface along it.  False with the refusal's message (the
  // surface may be cut all the same: dropped then says so).
  bool eraseNewFiber(int fiberIndex, int ringCount, std::string* message);
  // Erase of stored fiber s; the surface is not cut.
  void eraseStoredFiber(int s, int ringCount);

  // Moves the new fibers and their first cross-point pairs into the stored lists and writes the
  // contour file at path.
  TContoursWrite storeFiber(const std::string& path);
  TContoursWrite writeContours(const std::string& path);

 private:
  TFiberPick m_drag;
  double m_dragNormal[3] = {0, 0, 0};  // the surface normal at the picked point (0 when unknown)
  bool m_dragAlongSurface = false;
  // The fibers as the drag found them.
  std::vector<TFiberStroke> m_dragNewFibers, m_dragStoredFibers;
};
