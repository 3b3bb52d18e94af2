#pragma once
// What the curved-cylinder mode reads and writes of its panel.  The Qt panel implements it
// (TDlgSegCurveCyl); tests fake it, so the mode's logic runs without a window system.
#include "core/TModeState.h"

class TDlgSegCurveCylIf : public TModePanelIf {
 public:
  // On every entry into the mode: keeps the two radii of the width slider, shows the panel,
  // slider at 0, editing off, candidate "1" checked.
  virtual void updateControls(double minRadius, double maxRadius) = 0;
  // Enables the controls that need a curve being edited only while one is.
  virtual void enableControls() = 0;
  // A stored curve taken back for editing: editing on, its candidate checked and the slider at
  // its radius.
  virtual void startStoredCurveEditing(double radius, int selected) = 0;
  // The check box "New Curve 作成開始": a new curve is being edited.
  virtual bool isEditing() const = 0;
};
