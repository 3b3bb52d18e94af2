#pragma once
// The volume renderer: the volume box in world units (longest side 10), the slice-plane positions,
// the curved cut surface and the six shader programs.  Draws the box outline and the volume as
// view-aligned slices through one of five volume programs, back to front and blended.
// Besides the volume it shows three slice planes (0 XY, 1 YZ, 2 ZX; red, green, blue handles in the
// main view, one textured quad and two cross lines in each pane) and the cut surface.  A plane
// shows the voxel layer its position lies in: image, flags and labels all come from that layer.
// Every drawing operation runs inside a frame of the main view or of a pane (its context current,
// camera loaded).
#include <functional>

#include "core/TModeState.h"
#include "geom/ClipSurface.h"
#include "geom/vec3.h"
#include "view/TSheder.h"
#include "view/redraw.h"

class VolRendManager {
 public:
  static VolRendManager& getInst();

  double extent[3] = {10, 10, 10};
  double corners[8][3];
  ClipSurface cutSurface;
  double slicePos[3] = {0, 0, 0};  // fractions of the extent along x, y, z
  bool buttonHeld = false;         // a drag is in progress: fewer slices

  TSheder shaderVisCutSurf;
  TSheder shaderSegGCut;
  TSheder shaderVisI;
  TSheder shaderVisIG;
  TSheder shaderVisIG2D;
  TSheder shaderVisMask;

  // Box from voxel counts and pitch.  A zero (or negative, or non-finite) count or pitch leaves
  // the box as it was and returns false.
  bool setVolumeExtent(const double pitch[3], int W, int H, int D);
  // Called after every change of the box (the ruler list shows lengths in millimetres).
  std::function<void()> onExtentChanged;
  // Main view camera in front of the box.
  void resetCamera();
  // Keeps each slice position a quarter voxel off the voxel boundary below it and inside (0, 1).
  void updateSlices();

  // Slice planes (slice_planes.h holds the arithmetic).  A plane is shown, and pickable, while
  // the rendering panel is ready and its check box for the plane is on.
  bool isPlaneShown(int plane) const;
  void drawSlicePlanes();
  void drawSlicePlanesTextured(int clipSel, bool backPass);
  void drawSliceInPane(int plane, int clipSel);
  void drawSliceCrossLines(int plane);
  void drawCutSurface(ClipSurface& surf, bool front, int clipSel);
  // Handle under a main-view client point.
  bool pickSlicePlane(const TPoint2i& p, unsigned& plane);
  void dragSlicePlane(const TPoint2i& p, unsigned plane);
  bool intersectSlicePlane(const double origin[3], const double dir[3], int plane, double hit[3]);
  int pickSliceLineInPane(int plane, const double point[3], double tol);
  // Nearest point along the cursor ray on the shown planes or the cut surface (hitId 0-2 a plane,
  // 3 the cut surface, 4 none).
  bool pickPointOnSlices(const TPoint2i& p, unsigned& hitId, double pos[3]);
  bool stepSliceByWheel(const TPoint2i& p, int wheelDelta);
  // Builds the cut surface from a stroke of world points drawn in the main view and replaces the
  // stroke by the processed polyline.  Fewer than 6 points do nothing.
  void genCutSurfaceFromStroke(TPoints& stroke);

  void drawFrame();
  void drawSlices();
  void drawVolumeSegGCut();
  void drawVolumeVisI();
  void drawVolumeVisIG();
  void drawVolumeVisIG2D();
  void drawVolumeVisMask();

  VolRendManager(const VolRendManager&) = delete;
  VolRendManager& operator=(const VolRendManager&) = delete;

 private:
  VolRendManager();
  ~VolRendManager();
  void drawVolume(TSheder& shader);
  void shownPlanes(bool shown[3]) const;
  // The clip selector of the textured draws: none while the space bar is held.
  static int effectiveClip(int clipSel);
};
