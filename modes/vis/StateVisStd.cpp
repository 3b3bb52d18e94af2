#include "modes/vis/StateVisStd.h"

#include <QGuiApplication>
#include <cstdio>

#include "core/TCore.h"
#include "ui/TDlgMaskManip.h"
#include "core/WinLvModel.h"
#include "platform/GLContextHost.h"
#include "platform/Prompt.h"
#include "view/TDlgVisParam.h"
#include "modes/vis/TDlgVisStd.h"
#include "view/VolRendManager.h"
#include "view/smooth_right_half.h"
#include "volume/TextureManager.h"

StateVisStd& StateVisStd::getInst() {
  static StateVisStd inst;
  return inst;
}

StateVisStd::StateVisStd() {
  fprintf(stderr, "\nTState TState TState StateVisStd↓↓↓↓↓↓↓\n");
  fprintf(stderr, "TState TState TState StateVisStd↑↑↑↑↑↑↑\n");
}

StateVisStd::~StateVisStd() = default;

void StateVisStd::createPanels() {
  if (!m_rulerPanel) {
    m_rulerPanel = new TDlgVisStd();
    m_rulerPanel->hide();
    // Ruler lengths are shown in millimetres: the list follows the pitch.
    VolRendManager::getInst().onExtentChanged = [] {
      if (TDlgVisStd* rulers = StateVisStd::getInst().rulerPanel()) rulers->updateRulerList();
    };
  }
  if (!m_regionPanel) {
    m_regionPanel = new TDlgMaskManip("Region Id Manipulation");
    m_regionPanel->setModal(false);
    m_regionPanel->setPanelMode();
    m_regionPanel->hide();
  }
}

void StateVisStd::destroyPanels() {
  VolRendManager::getInst().onExtentChanged = nullptr;
  delete m_rulerPanel.data();
  delete m_regionPanel.data();
}

int StateVisStd::volumeModeFor(int modeId) {
  switch (modeId) {
    case 0: return 1;
    case 1: return 2;
    case 2: return 3;
    default: return 0;
  }
}

void StateVisStd::hidePanels() {
  if (m_rulerPanel) m_rulerPanel->hide();
  if (m_regionPanel) m_regionPanel->hide();
}

void StateVisStd::placePanels(int x, int y) {
  for (QDialog* d : {static_cast<QDialog*>(m_rulerPanel.data()),
                     static_cast<QDialog*>(m_regionPanel.data())})
    if (d && d->isVisible()) d->move(x, y);
}

void StateVisStd::OnSwitched(int modeId) {
  // The channel and mask textures are made again at the next draw (another mode may have
  // changed their voxels or filtering).
  TextureManager& tm = TextureManager::getInst();
  TGLContextHost* ctx = t_mainGLContext();
  tm.vol1.unbind(ctx);
  tm.vol2.unbind(ctx);
  tm.vol3.unbind(ctx);
  tm.volMask.unbind(ctx);

  VolRendManager& vr = VolRendManager::getInst();
  for (double& s : vr.slicePos) s = 0.2;

  if (TDlgVisParam::exists())
    TDlgVisParam::getInst().updateModeControls(volumeModeFor(modeId), true, true, true, true, false);

  if (modeId == 3) {
    if (m_regionPanel) {
      // Already shown when a mask was loaded in this view: the cells still need the new table.
      m_regionPanel->refreshCells();
      m_regionPanel->show();
    }
  } else if (m_rulerPanel) {
    m_rulerPanel->show();
    m_rulerPanel->updateRulerList();
  }

  vr.resetCamera();
  t_redrawAll();
}

void StateVisStd::OnMouseWheel(unsigned, int, const TPoint2i&) {}

void StateVisStd::OnKeyDown(int key, int repeatCount, unsigned flags) {
  fprintf(stderr, "key%d %d %d\n", key, repeatCount, flags);
  if (key == Qt::Key_Space) spaceHeld = true;
  if (key != '3') return;
  if (t_askYesNoCancel("画像の右半分をスムージングしてもいいですか？") != PromptAnswer::Yes) return;
  TextureManager& tm = TextureManager::getInst();
  if (!tm.val1 || tm.vol1.empty()) return;
  const int W = tm.vol1.W, H = tm.vol1.H, D = tm.vol1.D;
  t_smoothVolRightHalf(W, H, D, W / 2 + 6, W, H, D, tm.val1);
  double mn[3], mx[3];
  TWinLvModel::getInst().getMinValues(mn);
  TWinLvModel::getInst().getMaxValues(mx);
  tm.applyWindowLevel(mn, mx);
  tm.vol1.unbind(t_mainGLContext());
}

void StateVisStd::OnKeyUp(int key, int, unsigned) {
  if (key == Qt::Key_Space) spaceHeld = false;
}

int StateVisStd::OnSetCursor(const TPoint2i& p) {
  // Ctrl held: the pen of the cut stroke.
  if (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) return 4;
  return TModeState::OnSetCursor(p);
}
