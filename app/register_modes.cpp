// The mode libraries this program is made of: one line per library.
#include "app/core_wiring.h"
#include "core/ModeRegistry.h"
#include "modes/contour/register_modes.h"
#include "modes/curve/register_modes.h"
#include "modes/region/register_modes.h"
#include "modes/vis/register_modes.h"

void t_registerModeLibraries() {
  TModeRegistry& r = TModeRegistry::getInst();
  t_registerVisModes(r);
  t_registerRegionModes(r);
  t_registerContourModes(r);
  t_registerCurveModes(r);
}
