#include "view/TSubPane.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QWheelEvent>
#include <cmath>
#include <cstdio>

#include "core/TCore.h"
#include "view/SubPaneManager.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "view/frame_gl.h"
#include "view/key_state.h"
#include "view/redraw.h"

namespace {

TModeState* currentMode() { return TCore::getInst().state; }

TPoint2i toPoint(const QPointF& p) {
  return TPoint2i(int(std::floor(p.x())), int(std::floor(p.y())));
}

unsigned flagsOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  unsigned f = 0;
  if (buttons & Qt::LeftButton) f |= TModeState::MK_LBUTTON;
  if (buttons & Qt::RightButton) f |= TModeState::MK_RBUTTON;
  if (buttons & Qt::MiddleButton) f |= TModeState::MK_MBUTTON;
  if (mods & Qt::ShiftModifier) f |= TModeState::MK_SHIFT;
  if (mods & Qt::ControlModifier) f |= TModeState::MK_CONTROL;
  if (mods & Qt::AltModifier) f |= TModeState::MK_ALT;
  return f;
}

// World axes shown along the pane's horizontal and vertical directions (the look-at frame of
// each plane's camera): XY x, y; YZ y, z; ZX x, z.
constexpr int kFrameAxes[3][2] = {{0, 1}, {1, 2}, {0, 2}};

// Per-plane camera: eye, centre, up.
constexpr double kEye[3][3] = {{0, 0, 30}, {30, 0, 0}, {0, -30, 0}};
constexpr double kUp[3][3] = {{0, 1, 0}, {0, 0, 1}, {0, 0, 1}};

}  // namespace

// ---- the GL view ------------------------------------------------------------------------------

TSubPaneView::TSubPaneView(TSubPane* pane) : QOpenGLWidget(pane), m_pane(pane) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(40, 40);
}

TSubPaneView::~TSubPaneView() {
  // The base class destroys the context after this object is gone: no call back into it.
  if (m_watchedContext) QObject::disconnect(m_watchedContext.data(), nullptr, this, nullptr);
  if (m_glReady) {
    makeCurrent();
    releaseContext();
  }
}

void TSubPaneView::releaseContext() {
  if (!m_glReady) return;
  m_glReady = false;
  m_pane->togl.destroyContext();
}

void TSubPaneView::initializeGL() {
  // Called again with a new context when the pane is floated or docked back (the share group
  // keeps the volume textures).
  m_glReady = m_pane->togl.createContext(this);
  if (!m_glReady) fprintf(stderr, "TSubPane %s: no usable OpenGL context\n", TSubPane::captionOf(m_pane->planeId));
  QOpenGLContext* ctx = context();
  if (ctx && ctx != m_watchedContext) {
    m_watchedContext = ctx;
    connect(ctx, &QOpenGLContext::aboutToBeDestroyed, this, [this] {
      if (!m_glReady) return;
      makeCurrent();
      releaseContext();
      doneCurrent();
    });
  }
  m_pane->togl.fitToWindow();
}

void TSubPaneView::resizeGL(int w, int h) {
  if (w < 1 || h < 1) return;
  m_pane->width = w;
  m_pane->height = h;
  m_pane->togl.fitToWindow();
  m_pane->fitCameraToVolume();
}

void TSubPaneView::paintGL() {
  if (!m_glReady) return;
  TOGL& o = m_pane->togl;
  // The pixel ratio changes without a resize when the window moves to another screen.
  o.fitToWindow();
  // Zoom and pan are in client pixels, so that the slice has the same size on every screen;
  // the projection counts device pixels.
  const double r = o.pixelRatio();
  const double z = m_pane->zoom * r;
  const double offset[3] = {m_pane->panOffset[0] * r, m_pane->panOffset[1] * r, m_pane->panOffset[2] * r};
  // The projection clears to the pane's colour; before the rendering panel is ready that clear
  // is all there is (a QOpenGLWidget keeps whatever its buffer held otherwise).
  o.setOrtho2D(offset, z, -15 * z, 15 * z);
  const bool ready = TDlgVisParam::exists() && TDlgVisParam::getInst().isCreated();
  if (ready)
    if (TModeState* m = currentMode()) m->OnDraw2D(m_pane);
  t_finishGL();
  o.endFrame();
}

void TSubPaneView::mousePressEvent(QMouseEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  setFocus(Qt::MouseFocusReason);
  m_pane->togl.setCapture();
  TModeState* m = currentMode();
  if (!m) return;
  const TPoint2i p = toPoint(e->position());
  switch (e->button()) {
    case Qt::LeftButton: m->OnLBtnDown2D(m_pane, p); break;
    case Qt::RightButton: m->OnRBtnDown2D(m_pane, p); break;
    case Qt::MiddleButton: m->OnMBtnDown2D(m_pane, p); break;
    default: break;
  }
}

void TSubPaneView::mouseReleaseEvent(QMouseEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  TModeState* m = currentMode();
  const TPoint2i p = toPoint(e->position());
  if (m) {
    switch (e->button()) {
      case Qt::LeftButton: m->OnLBtnUp2D(m_pane, p); break;
      case Qt::RightButton: m->OnRBtnUp2D(m_pane, p); break;
      case Qt::MiddleButton: m->OnMBtnUp2D(m_pane, p); break;
      default: break;
    }
  }
  m_pane->togl.releaseCapture();
}

void TSubPaneView::mouseDoubleClickEvent(QMouseEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  setFocus(Qt::MouseFocusReason);
  TModeState* m = currentMode();
  if (!m) return;
  const TPoint2i p = toPoint(e->position());
  switch (e->button()) {
    case Qt::LeftButton: m->OnLBtnDclk2D(m_pane, p); break;
    case Qt::RightButton: m->OnRBtnDclk2D(m_pane, p); break;
    case Qt::MiddleButton: m->OnMBtnDclk2D(m_pane, p); break;
    default: break;
  }
}

void TSubPaneView::mouseMoveEvent(QMouseEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  if (TModeState* m = currentMode()) m->OnMouseMove2D(m_pane, toPoint(e->position()));
}

void TSubPaneView::wheelEvent(QWheelEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  setFocus(Qt::MouseFocusReason);
  // Relative to the view's own rectangle.
  const TPoint2i p = toPoint(e->globalPosition() - QPointF(mapToGlobal(QPoint(0, 0))));
  if (TModeState* m = currentMode())
    m->OnMouseWheel2D(m_pane, flagsOf(e->buttons(), e->modifiers()), e->angleDelta().y(), p);
  e->accept();
}

void TSubPaneView::keyPressEvent(QKeyEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  const bool spaceChange = e->key() == Qt::Key_Space && !e->isAutoRepeat() && !t_spaceHeld();
  if (spaceChange) t_setSpaceHeld(true);
  if (TModeState* m = currentMode())
    m->OnKeyDown2D(m_pane, e->key(), e->count() > 0 ? e->count() : 1,
                   flagsOf(Qt::NoButton, e->modifiers()));
  if (spaceChange) t_redrawAll();
}

void TSubPaneView::keyReleaseEvent(QKeyEvent* e) {
  // X11 sends a release before every repeated press; the key is still down then.
  if (e->isAutoRepeat()) return;
  t_noteKeyModifiers(e->modifiers());
  const bool spaceChange = e->key() == Qt::Key_Space && t_spaceHeld();
  if (spaceChange) t_setSpaceHeld(false);
  if (TModeState* m = currentMode())
    m->OnKeyUp2D(m_pane, e->key(), 1, flagsOf(Qt::NoButton, e->modifiers()));
  if (spaceChange) t_redrawAll();
}

void TSubPaneView::focusOutEvent(QFocusEvent* e) {
  QOpenGLWidget::focusOutEvent(e);
  const bool wasSpace = t_spaceHeld();
  t_clearHeldKeys();
  if (wasSpace) t_redrawAll();
}

// ---- the pane ---------------------------------------------------------------------------------

const char* TSubPane::captionOf(unsigned planeId) {
  static const char* const kCaptions[3] = {"XY", "YZ", "ZX"};
  return planeId < 3 ? kCaptions[planeId] : "";
}

TSubPane::TSubPane(unsigned plane, QWidget* parent) : QDockWidget(parent), planeId(plane < 3 ? plane : 0) {
  setWindowTitle(QString::fromLatin1(captionOf(planeId)));
  setObjectName(QString::fromLatin1(captionOf(planeId)));
  // Float and move only: no close button.
  setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  setAllowedAreas(Qt::AllDockWidgetAreas);
  setMouseTracking(true);
  for (int i = 0; i < 3; ++i) {
    togl.defaultEye[i] = togl.eye[i] = kEye[planeId][i];
    togl.defaultCenter[i] = togl.center[i] = 0;
    togl.defaultUp[i] = togl.up[i] = kUp[planeId][i];
  }
  const float cc[4] = {0.2f, 0.2f, 0.2f, 0.5f};
  for (int i = 0; i < 4; ++i) togl.clearColor[i] = cc[i];
  m_view = new TSubPaneView(this);
  togl.wnd = m_view;
  setWidget(m_view);
  resize(300, 300);
  fitCameraToVolume();
}

TSubPane::~TSubPane() {
  if (togl.hasCapture()) togl.releaseCapture();
  // The view releases its context through togl: it goes while togl still exists (child widgets
  // are otherwise deleted after this object's members).
  delete m_view;
  m_view = nullptr;
  SubPaneManager::getInst().forgetPane(this);
}

bool TSubPane::event(QEvent* e) {
  // Events on the caption strip belong to the docking behaviour; a press there still gives the
  // view the focus, and mouse moves reach the mode with the view's (negative) client y.
  if (!m_view) return QDockWidget::event(e);
  if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
    m_view->setFocus(Qt::MouseFocusReason);
  } else if (e->type() == QEvent::MouseMove) {
    auto* me = static_cast<QMouseEvent*>(e);
    t_noteKeyModifiers(me->modifiers());
    const QPointF local = me->position() - QPointF(m_view->pos());
    if (TModeState* m = currentMode()) m->OnMouseMove2D(this, toPoint(local));
  }
  return QDockWidget::event(e);
}

void TSubPane::requestRedraw() {
  if (m_view) m_view->update();
}

void TSubPane::panByMouse(const TPoint2i& from, const TPoint2i& to) {
  if (planeId > 2 || width < 1 || height < 1) return;
  // World units per pixel of the pixel-exact projection (integer half sizes, as TOGL sets it up),
  // times the zoom: the pixel motion in offset units.
  const double sx = 2.0 * (width / 2) / width, sy = 2.0 * (height / 2) / height;
  panOffset[kFrameAxes[planeId][0]] += (to.x - from.x) * sx;
  panOffset[kFrameAxes[planeId][1]] -= (to.y - from.y) * sy;
}

void TSubPane::zoomBy(double f) {
  if (std::isnan(f) || planeId > 2) return;
  if (f < kMinZoomStep) f = kMinZoomStep;
  if (f > kMaxZoomStep) f = kMaxZoomStep;
  const double z = zoom, z2 = zoom * f;
  // The world point under the pane's centre pixel (width / 2, height / 2).
  const int hw = width / 2, hh = height / 2;
  const double fx = -hw + (width / 2) * (2.0 * hw / std::max(width, 1));
  const double fy = -hh + (height - height / 2) * (2.0 * hh / std::max(height, 1));
  const double frame[2] = {fx, fy};
  for (int k = 0; k < 2; ++k) {
    const int a = kFrameAxes[planeId][k];
    const double c = (frame[k] - panOffset[a]) / z;
    panOffset[a] -= (z2 - z) * c;
  }
  zoom = z2;
}

void TSubPane::fitCameraToVolume() {
  const double* e = VolRendManager::getInst().extent;
  panOffset[0] = panOffset[1] = panOffset[2] = 0;
  if (planeId > 2) return;
  for (int k = 0; k < 2; ++k) {
    const int a = kFrameAxes[planeId][k];
    panOffset[a] = -zoom * e[a] / 2;
  }
}
