#include "view/CKestrinView.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/TCore.h"
#include "core/TModeState.h"
#include "platform/Prompt.h"
#include "view/TDlgVisParam.h"
#include "view/ViewModeHost.h"
#include "view/VolRendManager.h"
#include "view/drop_dispatch.h"
#include "view/key_state.h"
#include "view/frame_gl.h"

CKestrinView* CKestrinView::s_theView = nullptr;
int CKestrinView::s_resizeFrameHolds = 0;

namespace {

TModeState* currentMode() { return TCore::getInst().state; }

TPoint2i toPoint(const QPointF& p) { return TPoint2i(int(std::floor(p.x())), int(std::floor(p.y()))); }

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

// Cursor shapes by the zone the mode reports: 0 crosshair, 1 roll band (horizontal arrows),
// 2 dolly band (vertical arrows), 3-5 pen, 6-9 hand; the pens and hands with a word beside them.
QCursor drawnCursor(bool pen, const char* word) {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 2));
  if (pen) {
    p.setBrush(Qt::white);
    const QPointF body[4] = {{2, 2}, {6, 14}, {20, 28}, {14, 6}};
    p.drawPolygon(body, 4);
  } else {
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4, 10, 14, 14), 3, 3);
    p.drawRect(QRectF(8, 1, 4, 11));
  }
  if (word && *word) {
    QFont f = p.font();
    f.setPixelSize(9);
    p.setFont(f);
    p.drawText(QRectF(12, 20, 20, 12), Qt::AlignLeft | Qt::AlignVCenter, word);
  }
  p.end();
  return pen ? QCursor(pm, 2, 2) : QCursor(pm, 10, 1);
}

const QCursor& cursorForZone(int zone) {
  static const QCursor cursors[10] = {
      QCursor(Qt::CrossCursor),    QCursor(Qt::SizeHorCursor), QCursor(Qt::SizeVerCursor),
      drawnCursor(true, ""),       drawnCursor(true, "cut"),   drawnCursor(true, "paint"),
      drawnCursor(false, ""),      drawnCursor(false, "add"),  drawnCursor(false, "move"),
      drawnCursor(false, "del")};
  return cursors[zone];
}

}  // namespace

CKestrinView::CKestrinView(QWidget* parent) : QOpenGLWidget(parent) {
  fprintf(stderr, "MFC MFC MFC MFC MFC CKestrinView Constractor!↓\n");
  const double e[3] = {0, 0, 10}, c[3] = {0, 0, 0}, u[3] = {0, 1, 0};
  for (int i = 0; i < 3; ++i) {
    togl.defaultEye[i] = e[i];
    togl.defaultCenter[i] = c[i];
    togl.defaultUp[i] = u[i];
    togl.eye[i] = e[i];
    togl.center[i] = c[i];
    togl.up[i] = u[i];
  }
  const float cc[4] = {0.2f, 0.2f, 0.2f, 0.5f};
  for (int i = 0; i < 4; ++i) togl.clearColor[i] = cc[i];
  togl.wnd = this;
  s_theView = this;
  t_setMainTOGL(&togl);
  t_setMainGLContext(&togl);
  t_installViewHooks();

  // Every mouse move the window system reports reaches the modes (here and in the panes): Qt's
  // merging of the moves that arrive while a frame is drawn would take points out of strokes,
  // lassos and brush lines.  The moves themselves cost little: a frame is only requested.
  QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
  setAcceptDrops(true);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  m_animTimer.setInterval(100);
  connect(&m_animTimer, &QTimer::timeout, this, [this] { stepRotation(); });
  fprintf(stderr, "MFC MFC MFC MFC MFC CKestrinView Constractor!↑\n");
}

CKestrinView::~CKestrinView() {
  m_animTimer.stop();
  if (m_glReady) {
    makeCurrent();
    togl.destroyContext();
  }
  m_glReady = false;
  if (t_mainGLContext() == &togl) t_setMainGLContext(nullptr);
  if (t_mainTOGL() == &togl) t_setMainTOGL(nullptr);
  if (s_theView == this) {
    s_theView = nullptr;
    t_uninstallViewHooks();
  }
}

void CKestrinView::initializeGL() {
  fprintf(stderr, "\nMFC MFC MFC MFC MFC CKestrinView OnCreate ↓↓↓↓\n");
  m_glReady = togl.createContext(this);
  if (!m_glReady) reportContextFailure();
  togl.fitToWindow();
  fprintf(stderr, "MFC MFC MFC MFC MFC CKestrinView OnCreate ↑↑↑↑\n");
}

void CKestrinView::showEvent(QShowEvent* e) {
  QOpenGLWidget::showEvent(e);
  // Qt creates the context when the widget is first shown; when it could not, initializeGL is
  // never called.  Check once the show has been processed.
  QTimer::singleShot(0, this, [this] {
    // An empty widget is not initialised yet (Qt waits for a real size): that is no failure.
    if (!m_glReady && isVisible() && width() > 0 && height() > 0 &&
        (!context() || !context()->isValid()))
      reportContextFailure();
  });
}

void CKestrinView::reportContextFailure() {
  m_glReady = false;
  if (m_glFailureReported) return;
  m_glFailureReported = true;
  fprintf(stderr, "CKestrinView: no usable OpenGL context\n");
  t_warn("OpenGL could not be started: the 3-D view stays empty.\n"
         "An OpenGL 2.1 (or newer) compatibility context is needed.");
}

// Qt passes the client size; the viewport is the framebuffer's, in device pixels.
void CKestrinView::resizeGL(int, int) { togl.fitToWindow(); }

void CKestrinView::holdResizeFrames(bool hold) {
  s_resizeFrameHolds = std::max(0, s_resizeFrameHolds + (hold ? 1 : -1));
}

void CKestrinView::resizeEvent(QResizeEvent* e) {
  // Qt's resize of a shown view makes the framebuffer anew and draws into it at once.
  m_inResize = true;
  QOpenGLWidget::resizeEvent(e);
  m_inResize = false;
}

void CKestrinView::paintGL() {
  // Never draw with a dead context; before the rendering panel is ready nothing is drawn.
  if (!m_glReady) return;
  if (!TDlgVisParam::exists() || !TDlgVisParam::getInst().isCreated()) return;
  // A resize within a held change only asks for the frame: the event loop draws it once for all
  // the change's resizes and requests, at the size the view then has (a modal loop that the
  // change runs draws it too).  The window shows the framebuffer only after that frame.
  if (m_inResize && s_resizeFrameHolds > 0) {
    update();
    return;
  }
  renderFrame();
}

void CKestrinView::renderFrame() {
  if (!m_glReady) return;
  // The pixel ratio changes without a resize when the window moves to another screen.
  togl.fitToWindow();
  const bool parallel = TDlgVisParam::exists() && TDlgVisParam::getInst().isParallelProj();
  if (parallel)
    togl.setOrtho(-30, 100);
  else
    togl.setPerspective(0.02, 300);
  t_setMainViewLights();
  if (TModeState* m = currentMode()) m->OnDraw();
  t_finishGL();
  togl.endFrame();
  ++m_framesDrawn;
}

void CKestrinView::requestRedraw() { update(); }

// ---- input ----------------------------------------------------------------------------------

void CKestrinView::mousePressEvent(QMouseEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  togl.setCapture();
  TModeState* m = currentMode();
  if (!m) return;
  const TPoint2i p = toPoint(e->position());
  switch (e->button()) {
    case Qt::LeftButton: m->OnLBtnDown(p); break;
    case Qt::RightButton: m->OnRBtnDown(p); break;
    case Qt::MiddleButton: m->OnMBtnDown(p); break;
    default: break;
  }
}

void CKestrinView::mouseReleaseEvent(QMouseEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  togl.releaseCapture();
  TModeState* m = currentMode();
  if (!m) return;
  const TPoint2i p = toPoint(e->position());
  switch (e->button()) {
    case Qt::LeftButton: m->OnLBtnUp(p); break;
    case Qt::RightButton: m->OnRBtnUp(p); break;
    case Qt::MiddleButton: m->OnMBtnUp(p); break;
    default: break;
  }
}

void CKestrinView::mouseDoubleClickEvent(QMouseEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  TModeState* m = currentMode();
  if (!m) return;
  const TPoint2i p = toPoint(e->position());
  switch (e->button()) {
    case Qt::LeftButton: m->OnLBtnDclk(p); break;
    case Qt::RightButton: m->OnRBtnDclk(p); break;
    case Qt::MiddleButton: m->OnMBtnDclk(p); break;
    default: break;
  }
}

void CKestrinView::mouseMoveEvent(QMouseEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  const TPoint2i p = toPoint(e->position());
  if (TModeState* m = currentMode()) m->OnMouseMove(p);
  lastMouse = QPoint(p.x, p.y);
  updateCursor();
}

void CKestrinView::updateCursor() {
  TModeState* m = currentMode();
  if (!m) return;
  const int zone = m->OnSetCursor(TPoint2i(lastMouse.x(), lastMouse.y()));
  if (zone >= 0 && zone <= 9)
    setCursor(cursorForZone(zone));
  else
    unsetCursor();
}

void CKestrinView::wheelEvent(QWheelEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  // The point is relative to the view's outer rectangle (for this child widget its client area).
  const QPointF global = e->globalPosition();
  const QPoint topLeft = mapToGlobal(QPoint(0, 0));
  const TPoint2i p = toPoint(global - QPointF(topLeft));
  if (TModeState* m = currentMode())
    m->OnMouseWheel(flagsOf(e->buttons(), e->modifiers()), e->angleDelta().y(), p);
  e->accept();
}

void CKestrinView::keyPressEvent(QKeyEvent* e) {
  t_noteKeyModifiers(e->modifiers());
  const bool spaceChange = e->key() == Qt::Key_Space && !e->isAutoRepeat() && !t_spaceHeld();
  if (spaceChange) t_setSpaceHeld(true);
  TModeState* m = currentMode();
  if (m) m->OnKeyDown(e->key(), e->count() > 0 ? e->count() : 1, flagsOf(Qt::NoButton, e->modifiers()));
  // A held key repeats; only the first press redraws.
  if (spaceChange)
    t_redrawAll();
  else if (!e->isAutoRepeat())
    requestRedraw();
  updateCursor();
}

void CKestrinView::keyReleaseEvent(QKeyEvent* e) {
  // X11 sends a release before every repeated press; the key is still down then.
  if (e->isAutoRepeat()) return;
  t_noteKeyModifiers(e->modifiers());
  const bool spaceChange = e->key() == Qt::Key_Space && t_spaceHeld();
  if (spaceChange) t_setSpaceHeld(false);
  if (TModeState* m = currentMode()) m->OnKeyUp(e->key(), 1, flagsOf(Qt::NoButton, e->modifiers()));
  if (spaceChange)
    t_redrawAll();
  else
    requestRedraw();
  updateCursor();
}

void CKestrinView::focusOutEvent(QFocusEvent* e) {
  QOpenGLWidget::focusOutEvent(e);
  // A key released while another window has the focus never reaches us.
  const bool wasSpace = t_spaceHeld();
  t_clearHeldKeys();
  if (wasSpace) t_redrawAll();
}

void CKestrinView::contextMenuEvent(QContextMenuEvent* e) {
  // The right button drives the camera; only the keyboard's menu key opens the edit menu.
  if (e->reason() != QContextMenuEvent::Keyboard) return;
  // The "Edit" popup itself: its three items at the point, not a menu holding it.
  QMenu edit("Edit", this);
  edit.addAction("Cut");
  edit.addAction("Copy");
  edit.addAction("Paste");
  edit.exec(e->globalPos());
}

void CKestrinView::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void CKestrinView::dropEvent(QDropEvent* e) {
  std::vector<std::string> paths;
  for (const QUrl& u : e->mimeData()->urls())
    paths.push_back((u.isLocalFile() ? u.toLocalFile() : u.toString()).toStdString());
  e->acceptProposedAction();
  // Loaded (or refused with a message box) once the drop is over: the program the files came
  // from waits for the end of the drop and must not wait for a load or a modal box.
  QTimer::singleShot(0, this, [paths] {
    if (t_dispatchDroppedFiles(paths)) t_redrawAll();
  });
}

// ---- camera animation -----------------------------------------------------------------------

void CKestrinView::startAnimation(int kind) {
  animCounter = 360;
  animKind = kind;
  m_animTimer.start();
}

void CKestrinView::stepRotation() {
  animCounter -= 1;
  if (animCounter < 0) {
    m_animTimer.stop();
    return;
  }
  VolRendManager& vr = VolRendManager::getInst();
  const double* ext = vr.extent;
  const double c[3] = {0.5 * ext[0], 0.5 * ext[1], 0.5 * ext[2]};
  if (animKind >= 1 && animKind <= 3) {
    const double a = animCounter * M_PI / 180.0;
    const double r = 0.8 * (ext[0] + ext[1] + ext[2]);
    double off[3];
    if (animKind == 1) off[0] = 2 * ext[0], off[1] = r * std::cos(a), off[2] = r * std::sin(a);
    else if (animKind == 2) off[0] = r * std::cos(a), off[1] = 2 * ext[1], off[2] = r * std::sin(a);
    else off[0] = r * std::cos(a), off[1] = r * std::sin(a), off[2] = 2 * ext[2];
    double d[3] = {off[0], off[1], off[2]};
    const double dl = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (dl > 0) d[0] /= dl, d[1] /= dl, d[2] /= dl;
    else d[0] = 1, d[1] = 0, d[2] = 0;
    double u[3] = {0, 0, 0};
    u[animKind - 1] = 1;
    const double du = d[0] * u[0] + d[1] * u[1] + d[2] * u[2];
    double up[3] = {u[0] - du * d[0], u[1] - du * d[1], u[2] - du * d[2]};
    const double ul = std::sqrt(up[0] * up[0] + up[1] * up[1] + up[2] * up[2]);
    if (ul > 0) up[0] /= ul, up[1] /= ul, up[2] /= ul;
    for (int i = 0; i < 3; ++i) {
      togl.eye[i] = c[i] + off[i];
      togl.center[i] = c[i];
      togl.up[i] = up[i];
    }
  } else if (animKind == 4) {
    vr.slicePos[2] += 1.0 / 360.0;
    vr.updateSlices();
  }
  requestRedraw();
}
