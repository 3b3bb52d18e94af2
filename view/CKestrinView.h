#pragma once
// The main 3-D view: owns the main TOGL, draws each frame (projection, lights, the current mode's
// OnDraw), forwards every mouse, wheel and key event to the current mode, loads dropped files and
// runs the timed camera animations.
#include <QOpenGLWidget>
#include <QTimer>

#include "view/TOGL.h"

class CKestrinView : public QOpenGLWidget {
  Q_OBJECT
 public:
  explicit CKestrinView(QWidget* parent = nullptr);
  ~CKestrinView() override;

  // The one main view (null before it is built and after it is gone).
  static CKestrinView* s_theView;

  // Starts the camera animation: 1 orbit about x, 2 about y, 3 about z, 4 sweep of the z slice.
  // A second start while running only resets the counter and the kind.
  void startAnimation(int kind);
  // One animation tick (timer 1).
  void stepRotation();
  // Asks for a frame: repeated requests before the next paint give one frame, and the caller
  // (an input handler, often) returns at once.
  void requestRedraw();
  // The whole frame as paintGL draws it (benchmarks call it with the context current).
  void renderFrame();
  // True when the GL context could be created and is usable.
  bool glReady() const { return m_glReady; }
  // The frames drawn so far (each costs a full volume rendering).
  int framesDrawn() const { return m_framesDrawn; }
  // Taken (true) and let go (false) around a change that resizes the view more than once and asks
  // for a frame itself (a mode switch): while held, a resize asks for a frame instead of drawing
  // one at once, so the view draws once, at the size it ends with.  Holds nest.
  static void holdResizeFrames(bool hold);

  int animCounter = 0;
  int animKind = 0;
  QPoint lastMouse{0, 0};
  TOGL togl;

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;

  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void reportContextFailure();
  void updateCursor();

  QTimer m_animTimer;
  bool m_glReady = false;
  bool m_glFailureReported = false;
  int m_framesDrawn = 0;
  bool m_inResize = false;
  static int s_resizeFrameHolds;
};
