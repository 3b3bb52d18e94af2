#include "modes/region/StateSegRGrow.h"

#include "core/TCore.h"
#include "core/mode_helpers.h"

StateSegRGrow* StateSegRGrow::getInst() {
  static StateSegRGrow mode;
  return &mode;
}

StateSegRGrow::StateSegRGrow() {
  t_traceModeBanner("StateSegRGrow", true);
  t_traceModeBanner("StateSegRGrow", false);
}

StateSegRGrow::~StateSegRGrow() = default;

void StateSegRGrow::OnSwitched(int) {
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  m_dragSlice = m_dragStroke = m_addPoints = m_movePoint = false;
  m_ctrlPoints.clear();
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  t_modeHideSlicePanes();
  showPanel();
  m_ctrlPointRadius = 0.666666 * t_modeVoxelSizeSum();
  t_modeRedrawAll();
}
