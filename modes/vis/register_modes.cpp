#include "modes/vis/register_modes.h"

#include "core/ModeRegistry.h"
#include "modes/vis/StateVisOrgCrs.h"
#include "modes/vis/StateVisStd.h"

void t_registerVisModes(TModeRegistry& r) {
  TModeEntry std;
  std.name = "StateVisStd";
  std.ids = {0, 1, 2, 3};
  std.mode = [] { return &StateVisStd::getInst(); };
  std.createPanels = [] { StateVisStd::getInst().createPanels(); };
  std.destroyPanels = [] { StateVisStd::getInst().destroyPanels(); };
  r.add(std);

  TModeEntry org;
  org.name = "StateVisOrgCrs";
  org.ids = {4};
  org.mode = [] { return &StateVisOrgCrs::getInst(); };
  org.createPanels = [] { StateVisOrgCrs::getInst().createPanels(); };
  org.destroyPanels = [] { StateVisOrgCrs::getInst().destroyPanels(); };
  org.order = 9;
  r.add(org);
}
