#include "modes/region/register_modes.h"

#include "modes/region/StateSegFulManu.h"
#include "modes/region/StateSegFulManu_gl.h"
#include "modes/region/StateSegGCut.h"
#include "modes/region/StateSegGCut_gl.h"
#include "modes/region/TDlgSegGCut.h"
#include "modes/region/StateSegRGrow.h"
#include "modes/region/StateSegRGrow_gl.h"
#include "modes/region/StateSegSRG.h"
#include "modes/region/StateSegSRG_gl.h"
#include "modes/region/TDlgSegSRG.h"
#include "modes/region/TDlgSegFulManu.h"
#include "modes/region/TDlgSegRGrow.h"
#include "ui/TModePanel.h"

void t_registerRegionModes(TModeRegistry& r) {
  t_installStateSegSRGHooks();
  r.add(t_panelModeEntry("StateSegSRG", {7}, 1, &StateSegSRG::getInst, [] { return new TDlgSegSRG(); }));
  StateSegRGrow::setDrawHook(&t_drawStateSegRGrow);
  r.add(t_panelModeEntry("StateSegRGrow", {6}, 2, &StateSegRGrow::getInst, [] { return new TDlgSegRGrow(); }));
  StateSegFulManu::setDrawHooks(&t_drawStateSegFulManu, &t_drawStateSegFulManu2D);
  r.add(t_panelModeEntry("StateSegFulManu", {5, 12}, 3, &StateSegFulManu::getInst, [] { return new TDlgSegFulManu(); }));
  t_installStateSegGCutHooks();
  r.add(t_panelModeEntry("StateSegGCut", {8}, 8, &t_buildStateSegGCut, [] { return new TDlgSegGCut(); }));
}
