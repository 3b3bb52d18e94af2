#pragma once
// Two-step contour-mesh segmentation: an axis, then contours on planes along it (mode 11).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.

#include "core/TModeState.h"

class StateSegCMeshZel : public TPanelMode<> {
 public:
  // The one object of this mode, built on first use.
  static StateSegCMeshZel* getInst();

  void OnSwitched(int modeId) override;

 private:
  StateSegCMeshZel();
  ~StateSegCMeshZel() override;
};
