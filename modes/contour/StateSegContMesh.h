#pragma once
// Contour-mesh segmentation with Hermite-RBF surfaces (mode 10).
// The mode is not built out yet: entering it prepares the working flag volume and shows its
// (still empty) panel; its input handling and computation are still to come.

#include "core/TModeState.h"

class StateSegContMesh : public TPanelMode<> {
 public:
  // The one object of this mode, built on first use.
  static StateSegContMesh* getInst();

  void OnSwitched(int modeId) override;
  int channelCount() const { return m_channels; }

 private:
  StateSegContMesh();
  ~StateSegContMesh() override;

  int m_channels = 1;
};
