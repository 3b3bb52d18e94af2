#pragma once
// Contour-mesh segmentation with Hermite-RBF surfaces (mode 10).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.

#include "app/TModeState.h"
#include "modes/contour/TDlgSegContMesh.h"

class StateSegContMesh : public TModeState {
 public:
  // The one object of this mode, built on first use.
  static StateSegContMesh* getInst();

  void OnSwitched(int modeId) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override {}
  void OnKeyDown(int key, int repeatCount, unsigned flags) override {}
  void OnKeyUp(int key, int repeatCount, unsigned flags) override {}
  void OnDraw() override {}
  void hidePanels() override { m_dlg.hide(); }
  void placePanels(int x, int y) override { m_dlg.place(x, y); }
  void destroyPanels() override { m_dlg.destroy(); }
  TDlgSegContMesh* panel() const { return m_dlg.get(); }
  int channelCount() const { return m_channels; }

 private:
  StateSegContMesh();
  ~StateSegContMesh() override;

  TModePanelHolder<TDlgSegContMesh> m_dlg;
  int m_channels = 1;
};
