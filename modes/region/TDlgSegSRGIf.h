#pragma once
// What the seeded-region-growing mode reads and writes of its panel.  The Qt panel implements it
// (TDlgSegSRG); tests fake it, so the mode's logic runs without a window system.
#include "core/TModeState.h"

class TDlgSegSRGIf : public TModePanelIf {
 public:
  // Refills the group list from the mode's groups and selects the selected group's row.
  virtual void updateGroupList() = 0;
  // "vis surf" and "vis CPs" (both checked when the panel is made).
  virtual bool isVisSurfChecked() const = 0;
  virtual bool isVisCPsChecked() const = 0;
  // While a run computes the panel starts no other command.
  virtual void setBusy(bool busy) = 0;
};
