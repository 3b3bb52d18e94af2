#pragma once
// What the contour-refinement mode reads and writes of its panel.  The Qt panel implements it
// (TDlgRefContours); tests fake it, so the mode's logic runs without a window system.
#include "core/TModeState.h"

class TDlgRefContoursIf : public TModePanelIf {
 public:
  // The panel's check boxes.
  enum Check {
    Normal,     // "Normal(1)": region surface, lit and blended
    Image,      // "Image(2)": region surface textured by the volume
    Def,        // "Def(3)": region surface coloured by the last deformation
    Edges,      // "Edges(4)": ROI mesh edges
    VolInit,    // "Vol Init(5)"
    VolRef,     // "Vol Ref(6)"
    Fibers,     // "Fibers(7)"
    ForeHL,     // "ForeHL(8)"
    GrabDrag,   // "Grab&&Drag"
    OverDraw,   // "Over Drawing"
    RubSmooth,  // "Rub Smoothing"
    RubSnakes,  // "Rub Snakes"
    RoiSmall,   // "small"
    RoiMiddle,  // "middle"
    RoiLarge,   // "large"
    EraseMode,  // "Erase Trgt Fiber Mode"
    kCheckCount
  };

  // On every entry into the mode: shows the panel with the default checks and the slider at 8.
  virtual void updateControls() = 0;
  virtual bool isChecked(Check c) const = 0;
  virtual void setChecked(Check c, bool on) = 0;
  // "Smoothing Rate": rub passes per mouse move (1..20).
  virtual int smoothingRate() const = 0;
};
