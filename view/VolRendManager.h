#pragma once
// The volume renderer: the volume box in world units (longest side 10), the slice-plane positions,
// the curved cut surface and the six shader programs.  Draws the box outline and the volume as
// view-aligned slices through one of five volume programs, back to front and blended.
// Every drawing operation runs inside a frame of the main view (its context current, camera loaded).
#include <functional>

#include "geom/ClipSurface.h"
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
  // Keeps the slice positions inside the box (just below 1).
  void updateSlices();

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
};
