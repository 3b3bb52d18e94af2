#include "modes/region/StateSegFulManu.h"

#include "core/MaskIdChooser.h"
#include "core/ModeRegionData.h"
#include "core/TCore.h"
#include "core/mode_helpers.h"

StateSegFulManu* StateSegFulManu::getInst() {
  static StateSegFulManu mode;
  return &mode;
}

StateSegFulManu::StateSegFulManu() {
  t_traceModeBanner("StateSegFulManu", true);
  t_traceModeBanner("StateSegFulManu", false);
}

StateSegFulManu::~StateSegFulManu() = default;

void StateSegFulManu::OnSwitched(int modeId) {
  if (modeId == 12) {
    // Refinement of one existing region: its voxels start as the extracted set.
    m_refinement = true;
    int id = -1;
    const bool ok = t_pickOneId("Select refinment target ID 修正する領域IDの選択(一つのみ)", id);
    if (!ok || id < 1 || id > 255) {
      m_targetId = 0;
      TCore::getInst().setMode(3);
      return;
    }
    m_targetId = id;
    t_flagsFromMaskId(id, 255, 0);
  } else {
    m_refinement = false;
    m_targetId = 0;
    t_fillFlags(0);
  }
  showPanel();
  t_modeRedrawAll();
}
