#pragma once
// Curved cylinders along control-point curves (mode 9).
//
// On entry the user picks the target regions; their voxels become eligible (1) in the working
// flag volume.  While a new curve is being edited, Shift + left click on a shown slice plane or
// the cut surface places a control point (or grabs one to drag it), Alt + left click erases one.
// The curve orders its points (best orders, or as placed) and builds a tube of the panel's
// radius through them.  Curves are stored, taken back for editing by a double click, and
// "Finish" writes a region id into the mask on every target voxel within some tube.
//
// The mode's state is plain C++: the panel is seen through TDlgSegCurveCylIf, the view through
// TModeViewHost and the volume through TModeRegionData; OnDraw calls a hook that the Qt library
// installs at registration.
#include <functional>
#include <vector>

#include "core/PointEditInput.h"
#include "core/TModeState.h"
#include "geom/vec3.h"
#include "modes/curve/TDlgSegCurveCylIf.h"
#include "modes/curve/kernels/TCCylCurve.h"

class StateSegCurveCyl : public TPanelMode<TDlgSegCurveCylIf>, private TPointEditTarget {
 public:
  // The one object of this mode, built on first use.
  static StateSegCurveCyl* getInst();

  void OnSwitched(int modeId) override;
  void OnLBtnDown(const TPoint2i& p) override;
  void OnLBtnUp(const TPoint2i& p) override;
  void OnLBtnDclk(const TPoint2i& p) override;
  void OnMouseMove(const TPoint2i& p) override;
  void OnDraw() override;
  int OnSetCursor(const TPoint2i& p) override;

  // Panel operations.
  // "Store Curve": a copy of the new curve joins the stored curves (at least two control points,
  // else the user is told); the new curve is cleared either way.
  void storeNewCurve();
  // "cancel": asks, then leaves to mode 3 without touching the mask.
  void cancelSegmentation();
  // "Finish": the id the user picks (1-255, unused) is written on every target voxel within a
  // tube; the regions that lost voxels get their surfaces again; then mode 3.
  void finishSegmentation();
  // "New Curve 作成開始" checked: an empty new curve of this radius following the best order.
  void beginNewCurve(double radius);
  // Candidate check boxes: 0 the order as placed, 1-3 the best orders.
  void selectCandidate(int selected);
  // Width slider: the new curve's radius.
  void setNewCurveRadius(double radius);
  // "Delete New Curve" and "Delete All Curve".
  void deleteNewCurve();
  void deleteAllCurves();

  const TCCylCurve& newCurve() const { return m_newCurve; }
  const std::vector<TCCylCurve>& storedCurves() const { return m_storedCurves; }
  const TPoints& cutStroke() const { return m_input.stroke(); }
  bool isDrawingStroke() const { return m_input.drag() == TPointEditInput::Drag::Stroke; }
  bool isDraggingPoint() const { return m_input.drag() == TPointEditInput::Drag::MovePoint; }
  int pickedCtrlPoint() const { return m_pickedCP; }
  // The panel's check box "New Curve 作成開始" (false without a panel).
  bool isEditing() const { return m_panel && m_panel->isEditing(); }

  // The GL drawing of the mode (set by the Qt library at registration).
  static void setDrawHook(std::function<void(StateSegCurveCyl&)> hook);

  static const char* const kNoVoxelsMessage;
  static const char* const kTooFewPointsMessage;
  static const char* const kCancelQuestion;
  static const char* const kIdTitle;
  // The status-bar caption of "Finish".
  static constexpr int kProgressCaption = 9;

 private:
  StateSegCurveCyl();
  ~StateSegCurveCyl() override;

  // The control point of the new curve under the cursor ray; -1 when none.
  int pickNewCurvePoint(const TPoint2i& p) const;

  // The control points of the new curve as the main view's mouse edits them.
  bool pointsEditable() const override { return isEditing(); }
  int pickPoint(const TPoint2i& p) override { return pickNewCurvePoint(p); }
  void erasePoint(int index) override;
  void grabPoint(int index) override { m_pickedCP = index; }
  bool placePoint(const double pos[3]) override;
  void moveGrabbedPoint(const double* pos) override;
  void pointDragEnded() override;

  // Shift + left moves or adds a control point, Alt + left erases one, Ctrl + left cuts; the
  // right button turns the camera.
  TPointEditInput m_input{{TPointEditInput::KeyUse::MoveOrAdd, TPointEditInput::KeyUse::EraseAtPress, true},
                          {}};
  int m_pickedCP = -1;
  TCCylCurve m_newCurve;
  std::vector<TCCylCurve> m_storedCurves;
};
