#include "modes/curve/register_modes.h"

#include "modes/curve/StateRefContours.h"
#include "modes/curve/StateSegCurveCyl.h"
#include "ui/TModePanel.h"

void t_registerCurveModes(TModeRegistry& r) {
  r.add(t_panelModeEntry("StateSegCurveCyl", {9}, 4, &StateSegCurveCyl::getInst,
                         [] { return new TPlainModePanel("Curved Cylinder", "TDlgSegCurveCyl"); }));
  r.add(t_panelModeEntry("StateRefContours", {13}, 7, &StateRefContours::getInst,
                         [] { return new TPlainModePanel("Refinement Contours", "TDlgRefContours"); }));
}
