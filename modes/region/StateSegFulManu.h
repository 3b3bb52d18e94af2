#pragma once
// Slice-by-slice painting and lasso (mode 5), also used to refine one region (mode 12).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.

#include "app/TModeState.h"
#include "modes/region/TDlgSegFulManu.h"

class StateSegFulManu : public TModeState {
 public:
  // The one object of this mode, built on first use.
  static StateSegFulManu* getInst();

  void OnSwitched(int modeId) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override {}
  void OnKeyDown(int key, int repeatCount, unsigned flags) override {}
  void OnKeyUp(int key, int repeatCount, unsigned flags) override {}
  void OnDraw() override {}
  void hidePanels() override { m_dlg.hide(); }
  void placePanels(int x, int y) override { m_dlg.place(x, y); }
  void destroyPanels() override { m_dlg.destroy(); }
  TDlgSegFulManu* panel() const { return m_dlg.get(); }
  bool isRefinement() const { return m_refinement; }
  int targetId() const { return m_targetId; }

 private:
  StateSegFulManu();
  ~StateSegFulManu() override;

  TModePanelHolder<TDlgSegFulManu> m_dlg;
  bool m_refinement = false;
  int m_targetId = 0;
};
