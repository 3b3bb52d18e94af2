#pragma once
// A slice pane: a dock widget (movable and floatable, never closed) holding its own GL view with
// a TOGL and a 2-D camera (zoom and pan offset).  The pane draws nothing by itself: it sets up a
// pixel-exact parallel projection and hands the frame to the current mode's OnDraw2D, and it
// forwards every mouse, wheel and key event of its view, with its own identity, to the mode's
// pane operations.
//
// The caption strip is the dock widget's title bar above the view: clicks there move and float
// the pane; mouse moves over it still reach the mode (client y negative).
#include <QDockWidget>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPointer>

#include "core/TModeState.h"
#include "view/TOGL.h"

class TSubPane;

// The GL view inside a pane.
class TSubPaneView : public QOpenGLWidget {
  Q_OBJECT
 public:
  explicit TSubPaneView(TSubPane* pane);
  ~TSubPaneView() override;
  bool glReady() const { return m_glReady; }

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void releaseContext();
  TSubPane* m_pane;
  bool m_glReady = false;
  QPointer<QOpenGLContext> m_watchedContext;
};

class TSubPane : public QDockWidget {
  Q_OBJECT
 public:
  // planeId 0 XY, 1 YZ, 2 ZX; the caption is "XY", "YZ" or "ZX".
  explicit TSubPane(unsigned planeId, QWidget* parent = nullptr);
  ~TSubPane() override;

  static const char* captionOf(unsigned planeId);

  // Pans so that the scene follows the mouse from `from` to `to` (client points of the view).
  void panByMouse(const TPoint2i& from, const TPoint2i& to);
  // Multiplies the zoom by f keeping the world point at the pane centre where it is.  f is held
  // within [kMinZoomStep, kMaxZoomStep], so a long drag never reaches a zero or negative zoom.
  void zoomBy(double f);
  // Puts the centre of the volume box at the pane centre; the zoom stays.
  void fitCameraToVolume();

  TSubPaneView* view() const { return m_view; }
  // Asks for a frame of the pane (coalesced with other requests before it is drawn).
  void requestRedraw();

  static constexpr double kMinZoomStep = 0.1;
  static constexpr double kMaxZoomStep = 10.0;

  // The 2-D camera counts client pixels (device pixels over the pixel ratio).
  double zoom = 20;                   // pixels per world unit
  double panOffset[3] = {0, 0, 0};    // world translation applied before the zoom, in pixels
  int width = 1, height = 1;          // view client size
  unsigned planeId = 0;
  TOGL togl;

 protected:
  bool event(QEvent* e) override;

 private:
  TSubPaneView* m_view = nullptr;
};
