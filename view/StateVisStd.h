#pragma once
// The standard visualisation mode, shared by mode ids 0-3: intensity (0), intensity with gradient
// (1), two-dimensional transfer function (2) and mask regions (3).  The ids differ only in the
// volume program used to draw.
#include "app/TModeState.h"

class StateVisStd : public TModeState {
 public:
  static StateVisStd& getInst();

  void OnSwitched(int modeId) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override;
  void OnKeyDown(int key, int repeatCount, unsigned flags) override;
  void OnKeyUp(int key, int repeatCount, unsigned flags) override;
  void OnDraw() override;
  int OnSetCursor(const TPoint2i& p) override;

  // Volume mode of the rendering panel for a mode id: 1, 2, 3 for ids 0, 1, 2; 0 for id 3.
  static int volumeModeFor(int modeId);

  StateVisStd(const StateVisStd&) = delete;
  StateVisStd& operator=(const StateVisStd&) = delete;

 private:
  StateVisStd();
  ~StateVisStd() override;
};
