#pragma once
// What the slice-by-slice mode reads and writes of its panel.  The Qt panel implements it
// (TDlgSegFulManu); tests fake it, so the mode's logic runs without a window system.
#include "core/TModeState.h"

class TDlgSegFulManuIf : public TModePanelIf {
 public:
  // On every entry into the mode: "Paint" checked, "Lasso" unchecked, "Fix Other Region" checked
  // and shown, the title for segmentation or for refining targetId; the panel is shown.
  virtual void resetControls(bool refinement, int targetId) = 0;
  // "Paint" is checked (else "Lasso" is).
  virtual bool isPaintChecked() const = 0;
  // "Fix Other Region": painting leaves voxels that carry a region ID alone.
  virtual bool isFixOtherChecked() const = 0;
};
