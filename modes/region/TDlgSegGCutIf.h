#pragma once
// What the graph-cut mode reads and writes of its panel.  The Qt panel implements it
// (TDlgSegGCut); tests fake it, so the mode's logic runs without a window system.
#include "core/TModeState.h"

class TDlgSegGCutIf : public TModePanelIf {
 public:
  // On every entry into the mode: shows the panel; slider at 1000 with its value, seam width 1,
  // "Show All CPs" checked.
  virtual void updateControls() = 0;
  // The parameter slider "parameter (E = E1 + a * E2)" (0 ... 10000).
  virtual int sliderPosition() const = 0;
  // The "seam width" radio that is checked: 1, 2 or 3.
  virtual int seamWidth() const = 0;
  virtual bool isShowAllChecked() const = 0;
};
