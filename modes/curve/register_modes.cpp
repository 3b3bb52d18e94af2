#include "modes/curve/register_modes.h"

#include "modes/curve/StateRefContours.h"
#include "modes/curve/StateRefContours_gl.h"
#include "modes/curve/StateSegCurveCyl.h"
#include "modes/curve/StateSegCurveCyl_gl.h"
#include "modes/curve/TDlgRefContours.h"
#include "modes/curve/TDlgSegCurveCyl.h"
#include "ui/TModePanel.h"

void t_registerCurveModes(TModeRegistry& r) {
  StateSegCurveCyl::setDrawHook(&t_drawStateSegCurveCyl);
  t_installStateRefContoursHooks();
  r.add(t_panelModeEntry("StateSegCurveCyl", {9}, 4, &StateSegCurveCyl::getInst, [] { return new TDlgSegCurveCyl(); }));
  r.add(t_panelModeEntry("StateRefContours", {13}, 7, &StateRefContours::getInst, [] { return new TDlgRefContours(); }));
}
