#pragma once
// Contour-mesh segmentation with Hermite-RBF surfaces (mode 10).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.

#include "app/TModeState.h"
#include "modes/contour/TDlgSegContMesh.h"

class StateSegContMesh : public TPanelMode<TDlgSegContMesh> {
 public:
  // The one object of this mode, built on first use.
  static StateSegContMesh* getInst();

  void OnSwitched(int modeId) override;
  void OnMouseWheel(unsigned flags, int delta, const TPoint2i& p) override {}
  void OnKeyDown(int key, int repeatCount, unsigned flags) override {}
  void OnKeyUp(int key, int repeatCount, unsigned flags) override {}
  void OnDraw() override {}
  int channelCount() const { return m_channels; }

 private:
  StateSegContMesh();
  ~StateSegContMesh() override;

  int m_channels = 1;
};
