#include "modes/curve/StateSegCurveCyl.h"

#include "core/TCore.h"
#include "core/mode_helpers.h"

StateSegCurveCyl* StateSegCurveCyl::getInst() {
  static StateSegCurveCyl mode;
  return &mode;
}

StateSegCurveCyl::StateSegCurveCyl() {
  t_traceModeBanner("StateSegCurveCyl", true);
  t_traceModeBanner("StateSegCurveCyl", false);
}

StateSegCurveCyl::~StateSegCurveCyl() = default;

void StateSegCurveCyl::OnSwitched(int) {
  if (!selectTargetRegions(0, 1)) {
    TCore::getInst().setMode(3);
    return;
  }
  lBtnHeld = rBtnHeld = mBtnHeld = false;
  m_curves.clear();
  m_newCurve.clear();
  t_modeHideSlicePanes();
  showPanel();
  t_modeRedrawAll();
}
