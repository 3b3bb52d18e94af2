#pragma once
// Slice-by-slice painting and lasso (mode 5), also used to refine one region (mode 12).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.

#include "app/TModeState.h"
#include "modes/region/TDlgSegFulManu.h"

class StateSegFulManu : public TPanelMode<TDlgSegFulManu> {
 public:
  // The one object of this mode, built on first use.
  static StateSegFulManu* getInst();

  void OnSwitched(int modeId) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override {}
  void OnKeyDown(int key, int repeatCount, unsigned flags) override {}
  void OnKeyUp(int key, int repeatCount, unsigned flags) override {}
  void OnDraw() override {}
  bool isRefinement() const { return m_refinement; }
  int targetId() const { return m_targetId; }

 private:
  StateSegFulManu();
  ~StateSegFulManu() override;

  bool m_refinement = false;
  int m_targetId = 0;
};
