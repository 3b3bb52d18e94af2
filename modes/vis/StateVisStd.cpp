#include "modes/vis/StateVisStd.h"

#include <cstdio>

#include "core/TCore.h"
#include "ui/TDlgMaskManip.h"
#include "ui/panel_window.h"
#include "core/WinLvModel.h"
#include "core/mode_helpers.h"
#include "platform/GLContextHost.h"
#include "platform/Prompt.h"
#include "view/mode_gl.h"
#include "view/TDlgVisParam.h"
#include "modes/vis/TDlgVisStd.h"
#include "view/SubPaneManager.h"
#include "view/TOGL.h"
#include "view/TSubPane.h"
#include "view/VolRendManager.h"
#include "view/key_state.h"
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
    t_setPanelColumn(m_rulerPanel, TPanelColumn::Standard);
    // Ruler lengths are shown in millimetres: the list follows the pitch.
    VolRendManager::getInst().onExtentChanged = [] {
      if (TDlgVisStd* rulers = StateVisStd::getInst().rulerPanel()) rulers->updateRulerList();
    };
  }
  if (!m_regionPanel) {
    m_regionPanel = new TDlgMaskManip("Region Id Manipulation");
    t_makeToolPanel(m_regionPanel);
    m_regionPanel->setModal(false);
    m_regionPanel->setPanelMode();
    t_setPanelColumn(m_regionPanel, TPanelColumn::Standard);
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

std::vector<const QWidget*> StateVisStd::panelsOnEntry(int modeId) {
  std::vector<const QWidget*> out;
  if (TDlgVisParam::exists()) {
    TDlgVisParam& vp = TDlgVisParam::getInst();
    vp.updateModeControls(volumeModeFor(modeId), true, true, true, true, false);
    out.push_back(&vp);
  }
  const QWidget* own = modeId == 3 ? static_cast<const QWidget*>(m_regionPanel.data()) : m_rulerPanel.data();
  if (own) out.push_back(own);
  return out;
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

  // The panes are arranged the first time; a mode that works in the main view only may have
  // hidden them since, so they are shown again.
  static bool s_firstTime = true;
  SubPaneManager& panes = SubPaneManager::getInst();
  if (s_firstTime) {
    s_firstTime = false;
    panes.arrangePanes1();
  }
  panes.showHiddenPanes();

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
  panes.fitAllPanes();
  t_redrawAll();
}

void StateVisStd::OnLBtnDown(const TPoint2i& p) {
  lBtnHeld = true;
  VolRendManager& vr = VolRendManager::getInst();
  vr.buttonHeld = true;
  TOGL* ogl = t_mainTOGL();
  unsigned hit = 4;
  double pos[3];
  unsigned plane = 0;
  if (t_ctrlHeld()) {
    m_strokeFlag = true;
    m_cutStroke.clear();
    if (ogl) {
      double w[3];
      ogl->unProject(p.x, p.y, 0.01f, w);
      m_cutStroke.emplace_back(w[0], w[1], w[2]);
    }
  } else if (t_shiftHeld() && vr.pickPointOnSlices(p, hit, pos)) {
    for (int i = 0; i < 3; ++i) pos[i] /= vr.extent[i];
    m_rulerDragFlag = true;
    selectedRuler = 0;
    rulers.insert(rulers.begin(), {pos[0], pos[1], pos[2], pos[0], pos[1], pos[2]});
    if (m_rulerPanel) m_rulerPanel->updateRulerList();
  } else if (vr.pickSlicePlane(p, plane)) {
    m_sliceDragFlag = true;
    m_pickedPlane = int(plane);
  } else if (ogl) {
    ogl->btnDownTranslate(QPoint(p.x, p.y));
  }
}

void StateVisStd::OnLBtnUp(const TPoint2i&) {
  VolRendManager& vr = VolRendManager::getInst();
  vr.buttonHeld = false;
  if (m_strokeFlag) {
    if (m_cutStroke.size() <= 3)
      vr.cutSurface.clear();
    else
      vr.genCutSurfaceFromStroke(m_cutStroke);
    if (static_cast<int>(m_cutStroke.size()) < TModeViewHost::kCutStrokeMinPoints)
      t_modeNoteShortCutStroke(static_cast<int>(m_cutStroke.size()));
  }
  if (TOGL* ogl = t_mainTOGL()) {
    ogl->dragMode = TOGL::DragNone;
    ogl->releaseCapture();
  }
  lBtnHeld = false;
  m_strokeFlag = m_sliceDragFlag = m_rulerDragFlag = false;
  m_cutStroke.clear();
  t_redrawAll();
}

void StateVisStd::OnMouseMove(const TPoint2i& p) {
  VolRendManager& vr = VolRendManager::getInst();
  TOGL* ogl = t_mainTOGL();
  unsigned hit = 4;
  double pos[3];
  bool panesToo = false;
  if (lBtnHeld && m_strokeFlag) {
    if (ogl) {
      double w[3];
      ogl->unProject(p.x, p.y, 0.01f, w);
      m_cutStroke.emplace_back(w[0], w[1], w[2]);
    }
  } else if (lBtnHeld && m_sliceDragFlag) {
    vr.dragSlicePlane(p, unsigned(m_pickedPlane));
    // The panes show the plane that moves.
    panesToo = true;
  } else if (m_rulerDragFlag && vr.pickPointOnSlices(p, hit, pos)) {
    if (!rulers.empty())
      for (int i = 0; i < 3; ++i) rulers[0][3 + i] = pos[i] / vr.extent[i];
    if (m_rulerPanel) m_rulerPanel->updateRulerList();
  } else if ((lBtnHeld || rBtnHeld || mBtnHeld) && ogl) {
    ogl->mouseMove(QPoint(p.x, p.y));
  }
  if (lBtnHeld || rBtnHeld || mBtnHeld) {
    if (panesToo)
      t_redrawAll();
    else if (ogl)
      t_redrawWindow(*ogl);
  }
}

void StateVisStd::OnMouseWheel(unsigned, int delta, const TPoint2i& p) {
  if (VolRendManager::getInst().stepSliceByWheel(p, delta)) t_redrawAll();
}

void StateVisStd::OnDraw2D(TSubPane* pane) {
  if (!pane) return;
  const int clip = TCore::getInst().modeId == 3 ? 2 : 0;
  VolRendManager& vr = VolRendManager::getInst();
  vr.drawSliceInPane(int(pane->planeId), clip);
  vr.drawSliceCrossLines(int(pane->planeId));
}

void StateVisStd::OnKeyDown(int key, int repeatCount, unsigned flags) {
  fprintf(stderr, "key%d %d %d\n", key, repeatCount, flags);
  if (key != '3') return;
  // The smoothing rewrites the voxels in place: not while a worker may read them.
  if (TCore::getInst().refuseWhileBusy()) return;
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

void StateVisStd::OnKeyUp(int, int, unsigned) {}

int StateVisStd::OnSetCursor(const TPoint2i& p) {
  // Ctrl held: the pen of the cut stroke; over a plane handle: the hand that moves it.
  if (t_ctrlHeld()) return 4;
  unsigned plane = 0;
  if (VolRendManager::getInst().pickSlicePlane(p, plane)) return 8;
  return TModeState::OnSetCursor(p);
}
