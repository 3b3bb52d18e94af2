#pragma once
// Refinement of one region by fibers on its surface (mode 13).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.

#include "core/TModeState.h"

class StateRefContours : public TPanelMode<> {
 public:
  // The one object of this mode, built on first use.
  static StateRefContours* getInst();

  void OnSwitched(int modeId) override;
  int targetId() const { return m_targetId; }

 private:
  StateRefContours();
  ~StateRefContours() override;

  int m_targetId = -1;
};
