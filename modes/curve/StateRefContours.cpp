#include "modes/curve/StateRefContours.h"

#include <cstdio>

#include "core/MaskIdChooser.h"
#include "core/ModeRegionData.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"
#include "platform/Prompt.h"

StateRefContours* StateRefContours::getInst() {
  static StateRefContours mode;
  return &mode;
}

StateRefContours::StateRefContours() {
  t_traceModeBanner("StateRefContours", true);
  t_traceModeBanner("StateRefContours", false);
}

StateRefContours::~StateRefContours() = default;

void StateRefContours::OnSwitched(int) {
  std::fprintf(stderr, "\nStateRefContours::OnSwitched\n");
  m_targetId = -1;
  int id = -1;
  const bool ok = t_pickOneId("修正する対象領域のIDを選択してください", id);
  TModeRegionData* d = t_modeRegionData();
  // Only a region that exists can be refined.
  if (!ok || id < 1 || id > 255 || !d || !d->isIdUsed(id)) {
    t_info(" invalid mask id is selected. System swhich to VizMask Mode\n please select a already segmented mask id");
    m_targetId = -1;
    TCore::getInst().setMode(3);
    return;
  }
  m_targetId = id;
  t_flagsFromMaskId(id, 6, 0);
  showPanel();
  t_modeRedrawAll();
}
