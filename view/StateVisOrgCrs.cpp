#include "view/StateVisOrgCrs.h"

#include <QApplication>

#include "view/TDlgVisOrgCrs.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

StateVisOrgCrs& StateVisOrgCrs::getInst() {
  static StateVisOrgCrs inst;
  return inst;
}

StateVisOrgCrs::StateVisOrgCrs() {
  // The panel needs the application object; a program without one gets the mode only.
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
    m_panel = new TDlgVisOrgCrs();
    // A window must go while the application still exists, not with this exit-time singleton.
    qAddPostRoutine([] { delete StateVisOrgCrs::getInst().m_panel.data(); });
  }
}

StateVisOrgCrs::~StateVisOrgCrs() { delete m_panel.data(); }

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
