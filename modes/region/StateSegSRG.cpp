#include "modes/region/StateSegSRG.h"

#include "core/TCore.h"
#include "core/mode_helpers.h"

StateSegSRG* StateSegSRG::getInst() {
  static StateSegSRG mode;
  return &mode;
}

StateSegSRG::StateSegSRG() {
  t_traceModeBanner("StateSegSRG", true);
  t_traceModeBanner("StateSegSRG", false);
}

StateSegSRG::~StateSegSRG() = default;

void StateSegSRG::OnSwitched(int) {
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  // Seeds are placed on the stack in file order.
  TCore::getInst().releaseZFlipTemporarily();
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  m_stroke.clear();
  m_groups.clear();
  t_modeHideSlicePanes();
  showPanel();
  t_modeRedrawAll();
}
