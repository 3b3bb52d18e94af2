#pragma once
// Slice-by-slice painting and lasso (mode 5), also used to refine one region (mode 12).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.

#include "core/TModeState.h"

class StateSegFulManu : public TPanelMode<> {
 public:
  // The one object of this mode, built on first use.
  static StateSegFulManu* getInst();

  void OnSwitched(int modeId) override;
  bool isRefinement() const { return m_refinement; }
  int targetId() const { return m_targetId; }

 private:
  StateSegFulManu();
  ~StateSegFulManu() override;

  bool m_refinement = false;
  int m_targetId = 0;
};
