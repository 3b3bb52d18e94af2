#include "view/ViewModeHost.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QMetaObject>
#include <utility>

#include "core/TModeState.h"
#include "view/CKestrinView.h"
#include "view/SubPaneManager.h"
#include "view/TDlgVisParam.h"
#include "view/TSubPane.h"
#include "view/key_state.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

namespace {
TOGL* mainOgl() { return CKestrinView::s_theView ? &CKestrinView::s_theView->togl : nullptr; }
QPoint qp(const TPoint2i& p) { return QPoint(p.x, p.y); }
}  // namespace

void TViewModeHost::camBtnDownTranslate(const TPoint2i& p) {
  if (TOGL* o = mainOgl()) o->btnDownTranslate(qp(p));
}
void TViewModeHost::camBtnDownRotate(const TPoint2i& p) {
  if (TOGL* o = mainOgl()) o->btnDownRotate(qp(p));
}
void TViewModeHost::camBtnDownZoom(const TPoint2i& p) {
  if (TOGL* o = mainOgl()) {
    o->lastMouse = qp(p);
    o->dragMode = TOGL::DragDolly;
    o->setCapture();
  }
}
void TViewModeHost::camMouseMove(const TPoint2i& p) {
  if (TOGL* o = mainOgl()) o->mouseMove(qp(p));
}
void TViewModeHost::camBtnUp() {
  if (TOGL* o = mainOgl()) {
    o->dragMode = TOGL::DragNone;
    o->releaseCapture();
  }
}
void TViewModeHost::setButtonHeld(bool held) { VolRendManager::getInst().buttonHeld = held; }
void TViewModeHost::mainViewSize(int& width, int& height) {
  width = height = 0;
  if (CKestrinView* v = CKestrinView::s_theView) {
    width = v->width();
    height = v->height();
  }
}
void TViewModeHost::redrawMainView() {
  if (CKestrinView* v = CKestrinView::s_theView) v->requestRedraw();
}
void TViewModeHost::redrawAll() { t_redrawAll(); }

int TViewModeHost::panePlaneId(TSubPane* pane) { return pane ? int(pane->planeId) : -1; }
TModeRay TViewModeHost::paneCursorRay(TSubPane* pane, const TPoint2i& p) {
  TModeRay ray;
  if (pane) pane->togl.getCursorRay(p.x, p.y, ray.org, ray.dir);
  return ray;
}
int TViewModeHost::pickSliceLineInPane(int planeId, const TModeRay& ray, double tolerance) {
  return VolRendManager::getInst().pickSliceLineInPane(planeId, ray.org, tolerance);
}
void TViewModeHost::panePanByMouse(TSubPane* pane, const TPoint2i& prev, const TPoint2i& p) {
  if (pane) pane->panByMouse(prev, p);
}
void TViewModeHost::zoomAllPanes(double factor) { SubPaneManager::getInst().zoomAllPanes(factor); }
void TViewModeHost::redrawAllPanes() { SubPaneManager::getInst().redrawAllPanes(); }
void TViewModeHost::hideSlicePanes() { SubPaneManager::getInst().hidePanes(); }
void TViewModeHost::showSlicePanes() { SubPaneManager::getInst().showHiddenPanes(); }
bool TViewModeHost::spaceKeyHeld() { return t_spaceHeld(); }

void TViewModeHost::volumeExtent(double extent[3]) {
  const VolRendManager& vr = VolRendManager::getInst();
  for (int i = 0; i < 3; ++i) extent[i] = vr.extent[i];
}
void TViewModeHost::getSlicePositions(double s[3]) {
  const VolRendManager& vr = VolRendManager::getInst();
  for (int i = 0; i < 3; ++i) s[i] = vr.slicePos[i];
}
void TViewModeHost::setSlicePositions(const double s[3]) {
  VolRendManager& vr = VolRendManager::getInst();
  for (int i = 0; i < 3; ++i) vr.slicePos[i] = s[i];
}
void TViewModeHost::updateSlices() { VolRendManager::getInst().updateSlices(); }
void TViewModeHost::volumeSize(int& W, int& H, int& D) { TextureManager::getInst().getSize(W, H, D); }

void t_installViewHooks() {
  static TViewModeHost host;
  t_setModeViewHost(&host);

  TDlgVisParam::ViewHooks hooks;
  hooks.redrawAll = [] { t_redrawAll(); };
  hooks.redrawMainView = [] {
    if (CKestrinView* v = CKestrinView::s_theView) v->requestRedraw();
  };
  hooks.applyVolumeExtent = [](const double pitch[3], int W, int H, int D) {
    VolRendManager& vr = VolRendManager::getInst();
    vr.setVolumeExtent(pitch, W, H, D);
    vr.resetCamera();
    SubPaneManager::getInst().fitAllPanes();
  };
  hooks.setBackGrey = [](float g) {
    if (CKestrinView* v = CKestrinView::s_theView) {
      const float c[4] = {g, g, g, 0.5f};
      for (int i = 0; i < 4; ++i) v->togl.clearColor[i] = c[i];
    }
    SubPaneManager::getInst().setBackGrey(g);
  };
  hooks.setButtonHeld = [](bool held) { VolRendManager::getInst().buttonHeld = held; };
  TDlgVisParam::setViewHooks(hooks);
}

void t_uninstallViewHooks() {
  t_setModeViewHost(nullptr);
  TDlgVisParam::setViewHooks(TDlgVisParam::ViewHooks());
}

// ---- segmentation modes: picking, cut surface, rendering panel, hand-over ----------------------

unsigned TViewModeHost::keyState() {
  const Qt::KeyboardModifiers m = t_keyModifiers();
  unsigned k = 0;
  if (m & Qt::ShiftModifier) k |= TModeState::MK_SHIFT;
  if (m & Qt::ControlModifier) k |= TModeState::MK_CONTROL;
  if (m & Qt::AltModifier) k |= TModeState::MK_ALT;
  return k;
}

bool TViewModeHost::mainCursorRay(const TPoint2i& p, TModeRay& ray) {
  TOGL* o = mainOgl();
  if (!o) return false;
  o->getCursorRay(p.x, p.y, ray.org, ray.dir);
  return true;
}

bool TViewModeHost::mainUnProject(const TPoint2i& p, double depth, double out[3]) {
  TOGL* o = mainOgl();
  if (!o) return false;
  o->unProject(p.x, p.y, static_cast<float>(depth), out);
  return true;
}

bool TViewModeHost::pickPointOnSlices(const TPoint2i& p, double pos[3]) {
  unsigned hit = 4;
  return VolRendManager::getInst().pickPointOnSlices(p, hit, pos);
}

bool TViewModeHost::pickSlicePlane(const TPoint2i& p, int& plane) {
  unsigned id = 0;
  if (!VolRendManager::getInst().pickSlicePlane(p, id)) return false;
  plane = static_cast<int>(id);
  return true;
}

bool TViewModeHost::isSlicePlaneShown(int plane) {
  return plane >= 0 && plane < 3 && VolRendManager::getInst().isPlaneShown(plane);
}

void TViewModeHost::dragSlicePlane(const TPoint2i& p, int plane) {
  VolRendManager::getInst().dragSlicePlane(p, static_cast<unsigned>(plane));
}

bool TViewModeHost::stepSliceByWheel(const TPoint2i& p, int delta) {
  return VolRendManager::getInst().stepSliceByWheel(p, delta);
}

void TViewModeHost::genCutSurfaceFromStroke(std::vector<std::array<double, 3>>& stroke) {
  TPoints pts;
  pts.reserve(stroke.size());
  for (const auto& q : stroke) pts.emplace_back(q[0], q[1], q[2]);
  VolRendManager::getInst().genCutSurfaceFromStroke(pts);
  stroke.clear();
  for (const TVec3& q : pts) stroke.push_back({q[0], q[1], q[2]});
}

void TViewModeHost::clearCutSurface() { VolRendManager::getInst().cutSurface.clear(); }

void TViewModeHost::showStatusText(const std::string& text) {
  CKestrinView* v = CKestrinView::s_theView;
  auto* frame = v ? qobject_cast<QMainWindow*>(v->window()) : nullptr;
  if (frame) frame->statusBar()->showMessage(QString::fromStdString(text), 10000);
}

void TViewModeHost::setRenderingPanelMode(int volumeMode, bool planes, bool xy, bool yz, bool zx,
                                          bool exclusive) {
  if (TDlgVisParam::exists())
    TDlgVisParam::getInst().updateModeControls(volumeMode, planes, xy, yz, zx, exclusive);
}

bool TViewModeHost::postToInterface(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
  return true;
}
