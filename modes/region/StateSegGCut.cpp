#include "modes/region/StateSegGCut.h"

#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "platform/Prompt.h"

const char* const StateSegGCut::kBusyMessage =
    "The system is computing Watershed segmentation. wait a moment...";

StateSegGCut::StateSegGCut() {
  t_traceModeBanner("StateSegGCut", true);
  t_traceModeBanner("StateSegGCut", false);
}

StateSegGCut::~StateSegGCut() { m_worker.stopAndJoin(); }

void StateSegGCut::OnSwitched(int) {
  if (m_worker.isRunning()) {
    t_info(kBusyMessage);
    TCore::getInst().setMode(3);
    return;
  }
  // The watershed and the graph work on the stack in file order.
  TCore::getInst().releaseZFlipTemporarily();
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  m_lHeld = m_rHeld = m_mHeld = false;
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  m_stroke.clear();
  m_ctrlPoints.clear();
  t_modeHideSlicePanes();
  showPanel();
  t_modeRedrawAll();
}

void StateSegGCut::resetForNewVolume() {
  if (m_worker.isRunning()) {
    t_info(kBusyMessage);
    return;
  }
  m_precompReady = false;
  m_wsdLabels.clear();
  m_wsdLabels.shrink_to_fit();
  m_wsdAdjacency.clear();
  m_wsdAdjacency.shrink_to_fit();
}
