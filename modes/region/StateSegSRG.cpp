#include "modes/region/StateSegSRG.h"

#include "app/TCore.h"
#include "app/mode_helpers.h"

StateSegSRG* StateSegSRG::getInst() {
  static StateSegSRG mode;
  return &mode;
}

StateSegSRG::StateSegSRG() {
  t_traceModeBanner("StateSegSRG", true);
  m_dlg.create();
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
  m_dlg.show();
  t_modeRedrawAll();
}
