#include "modes/contour/StateSegCMeshZel.h"

#include "core/ModeRegionData.h"
#include "core/mode_helpers.h"

StateSegCMeshZel* StateSegCMeshZel::getInst() {
  static StateSegCMeshZel mode;
  return &mode;
}

StateSegCMeshZel::StateSegCMeshZel() {
  t_traceModeBanner("StateSegCMeshZel", true);
  t_traceModeBanner("StateSegCMeshZel", false);
}

StateSegCMeshZel::~StateSegCMeshZel() = default;

void StateSegCMeshZel::OnSwitched(int) {
  showPanel();
  t_modeHideSlicePanes();
  // The mode is entered also when the question is cancelled.
  selectTargetRegions(0, 1);
  if (TModeRegionData* d = t_modeRegionData()) d->dropMaskTexture();
  t_modeRedrawAll();
}
