#pragma once
// What the region-growing mode reads and writes of its panel.  The Qt panel implements it
// (TDlgSegRGrow); tests fake it, so the mode's logic runs without a window system.
#include <string>

#include "core/TModeState.h"

class TDlgSegRGrowIf : public TModePanelIf {
 public:
  // The panel's spins, in the order of its edit-and-spin pairs.
  enum Spin {
    kCh1Min, kCh2Min, kCh3Min, kGradMin, kCh1Max, kCh2Max, kCh3Max, kGradMax, kRadius, kShapeCoef,
    kSpinCount
  };

  // On every entry into the mode: shows the panel and resets its ranges, positions, radios,
  // labels and read-out from the volume's channel count and each channel's data range.
  virtual void updateControls(int channels, const double rangeLo[3], const double rangeHi[3]) = 0;
  // The integer position of a spin.
  virtual int spinPosition(Spin spin) const = 0;
  // The "RGB" radio (raw channel values rather than HSV).
  virtual bool isRgbChecked() const = 0;
  // The read-out field of the control point's value.
  virtual void setReadout(const std::string& text) = 0;
  // While a computation runs the panel starts no other command.
  virtual void setBusy(bool busy) = 0;
};
