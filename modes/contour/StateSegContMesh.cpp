#include "modes/contour/StateSegContMesh.h"

#include "core/TCore.h"
#include "core/mode_helpers.h"

StateSegContMesh* StateSegContMesh::getInst() {
  static StateSegContMesh mode;
  return &mode;
}

StateSegContMesh::StateSegContMesh() {
  t_traceModeBanner("StateSegContMesh", true);
  t_traceModeBanner("StateSegContMesh", false);
}

StateSegContMesh::~StateSegContMesh() = default;

void StateSegContMesh::OnSwitched(int) {
  // The mode is entered also when the question is cancelled; the flag volume then keeps what it
  // held.
  selectTargetRegions(0, 1);
  const TCoreWiring& w = TCore::wiring();
  m_channels = w.channelCount ? w.channelCount() : 1;
  t_modeHideSlicePanes();
  showPanel();
  t_modeRedrawAll();
}
