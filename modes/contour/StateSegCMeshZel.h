#pragma once
// Two-step contour-mesh segmentation: an axis, then contours on planes along it (mode 11).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.

#include "app/TModeState.h"
#include "modes/contour/TDlgSegCMeshZel.h"

class StateSegCMeshZel : public TModeState {
 public:
  // The one object of this mode, built on first use.
  static StateSegCMeshZel* getInst();

  void OnSwitched(int modeId) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override {}
  void OnKeyDown(int key, int repeatCount, unsigned flags) override {}
  void OnKeyUp(int key, int repeatCount, unsigned flags) override {}
  void OnDraw() override {}
  void hidePanels() override { m_dlg.hide(); }
  void placePanels(int x, int y) override { m_dlg.place(x, y); }
  void destroyPanels() override { m_dlg.destroy(); }
  TDlgSegCMeshZel* panel() const { return m_dlg.get(); }

 private:
  StateSegCMeshZel();
  ~StateSegCMeshZel() override;

  TModePanelHolder<TDlgSegCMeshZel> m_dlg;
};
