#include "modes/vis/StateVisOrgCrs.h"

#include "modes/vis/TDlgVisOrgCrs.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

StateVisOrgCrs& StateVisOrgCrs::getInst() {
  static StateVisOrgCrs inst;
  return inst;
}

StateVisOrgCrs::StateVisOrgCrs() = default;
StateVisOrgCrs::~StateVisOrgCrs() = default;

void StateVisOrgCrs::createPanels() {
  if (m_panel) return;
  m_panel = new TDlgVisOrgCrs();
  m_panel->hide();
}

void StateVisOrgCrs::destroyPanels() { delete m_panel.data(); }

void StateVisOrgCrs::hidePanels() {
  if (m_panel) m_panel->hide();
}

void StateVisOrgCrs::OnSwitched(int) {
  VolRendManager& vr = VolRendManager::getInst();
  for (double& s : vr.slicePos) s = 0.2;
  if (TDlgVisParam::exists())
    TDlgVisParam::getInst().updateModeControls(3, true, true, true, false, false);
  t_redrawAll();
}

void StateVisOrgCrs::OnDraw() {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  vr.drawFrame();
  vr.drawVolumeVisIG2D();
}
