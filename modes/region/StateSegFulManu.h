#pragma once
// Slice-by-slice painting and lasso (mode 5), also used to refine one existing region (mode 12).
//
// With Shift held, the left button paints and the right button erases: one voxel at a time with
// the brush ("Paint" checked in the panel), or a closed lasso filled on one slice plane ("Lasso"
// checked), in the main view (on the shown slice planes) or in a slice pane (on that pane's
// slice).  Without Shift the buttons drag the slice planes, the camera and the panes as usual.
// Only the working flag volume changes (255 extracted; in refinement 1 marks a voxel of the
// refined region that the user erased); "Finish" writes it into the mask.
//
// The mode's state is plain C++: the panel is seen through TDlgSegFulManuIf, the view through
// TModeViewHost and the volume through TModeRegionData; the drawing is a hook that the Qt library
// installs at registration.
#include <functional>

#include "core/TModeState.h"
#include "geom/vec3.h"
#include "modes/region/TDlgSegFulManuIf.h"
#include "modes/region/kernels/brush_paint.h"
#include "modes/region/kernels/voxel_box.h"

class StateSegFulManu : public TPanelMode<TDlgSegFulManuIf> {
 public:
  // The one object of this mode, built on first use.
  static StateSegFulManu* getInst();

  void OnSwitched(int modeId) override;

  void OnLBtnDown(const TPoint2i& p) override;
  void OnRBtnDown(const TPoint2i& p) override;
  void OnLBtnUp(const TPoint2i& p) override;
  void OnRBtnUp(const TPoint2i& p) override;
  void OnMouseMove(const TPoint2i& p) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override;
  void OnDraw() override;
  int OnSetCursor(const TPoint2i& p) override;

  void OnLBtnDown2D(TSubPane* pane, const TPoint2i& p) override;
  void OnRBtnDown2D(TSubPane* pane, const TPoint2i& p) override;
  void OnLBtnUp2D(TSubPane* pane, const TPoint2i& p) override;
  void OnRBtnUp2D(TSubPane* pane, const TPoint2i& p) override;
  void OnMouseMove2D(TSubPane* pane, const TPoint2i& p) override;
  void OnDraw2D(TSubPane* pane) override;

  // One brush event at a main-view point (the point under it on the shown slice planes) or at a
  // pane point (the cursor ray cut with that pane's slice).  Paint or erase by the panel's rules;
  // true when the voxel was newly added to the painted set.
  bool paintVoxel3D(const TPoint2i& p, bool paint);
  bool paintVoxel2D(TSubPane* pane, const TPoint2i& p, bool paint);
  // Fills the closed stroke on one slice plane (0 XY, 1 YZ, 2 ZX) at its current slice.
  void applyLassoStroke(int plane, bool paint);
  // "Finish": refinement writes the erased voxels as background and the painted ones as the
  // refined region; segmentation stores the painted voxels under an id the user picks.  Regions
  // that gained or lost voxels get their surface again, and a region left without voxels is
  // released.  Then mode 3.  A question answered with Cancel (or no id) leaves everything.
  void finishSegmentation();
  // "Cancel ": asks, then mode 3 with the mask untouched.
  void cancel();

  bool isRefinement() const { return m_refinement; }
  int targetId() const { return m_targetId; }
  const TVoxelBox& voxelBox() const { return m_box; }
  const TPaintedSet& paintedSet() const { return m_painted; }
  const TPoints& stroke() const { return m_stroke; }
  // A stroke in the main view (brush or lasso) or in the pane of plane strokePane().
  bool isBrush3D() const { return m_brush3D; }
  bool isLasso3D() const { return m_lasso3D; }
  bool isPaneBrush() const { return m_paneBrush; }
  bool isPaneLasso() const { return m_paneLasso; }
  int strokePane() const { return m_strokePane; }
  // The current stroke paints (left button) rather than erases.
  bool strokePaints() const { return m_strokePaint; }

  // The GL drawing of the main view and of a pane (set by the Qt library at registration).
  static void setDrawHooks(std::function<void(StateSegFulManu&)> main,
                           std::function<void(StateSegFulManu&, TSubPane*)> pane);

  static const char* const kCancelQuestion;
  static const char* const kFinishRefinementQuestion;
  static const char* const kFinishSegmentationQuestion;

 private:
  StateSegFulManu();
  ~StateSegFulManu() override;

  TPaintRules rules() const;
  bool brushAt(const double pos[3], bool paint);
  // The point of the pane's slice under a pane point; false when it lies outside the volume box.
  bool paneSlicePoint(TSubPane* pane, const TPoint2i& p, double pos[3]);
  void buttonDown(const TPoint2i& p, bool left);
  void buttonUp(bool left);
  void paneButtonDown(TSubPane* pane, const TPoint2i& p, bool left);
  void paneButtonUp(TSubPane* pane, const TPoint2i& p, bool left);
  void clearStrokes();

  TVoxelBox m_box;         // the brush: one voxel of the loaded volume in its box
  TPoints m_stroke;        // the lasso being drawn
  TPaintedSet m_painted;   // voxels changed by the current brush stroke
  bool m_refinement = false;
  int m_targetId = 0;
  int m_pickedPlane = 0;   // slice-plane handle dragged in the main view
  bool m_dragSlice = false;
  bool m_brush3D = false;
  bool m_lasso3D = false;
  int m_strokePane = 0;    // plane id of the pane where the pane stroke began
  bool m_paneBrush = false;
  bool m_paneLasso = false;
  bool m_strokePaint = true;
};
