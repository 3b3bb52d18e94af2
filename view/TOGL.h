#pragma once
// One OpenGL context with its look-at camera: projections, camera drags and cursor-ray picking.
// The main view and each slice pane embed one.  The context itself belongs to the owner's
// QOpenGLWidget; TOGL makes it current and releases it, and owns the GL state set on it.
#include <QPoint>
#include <array>
#include <vector>

#include "platform/GLContextHost.h"

class QWidget;

class TOGL : public TGLContextHost {
 public:
  enum DragMode { DragNone = 0, DragDolly = 1, DragRotate = 2, DragRoll = 3, DragPan = 4 };
  using Vec3 = std::array<double, 3>;

  TOGL();
  ~TOGL() override = default;

  // Called by the owner with its QOpenGLWidget's context current (initializeGL).  Checks that the
  // widget has a valid compatibility context, loads the extension entry points and sets the default
  // GL state.  False when there is no usable context; the owner must then not draw.
  virtual bool createContext(QWidget* w);
  virtual void destroyContext();
  // The framebuffer size in device pixels.  Keeps the last size when either side is below 1 (a
  // minimised window).
  virtual void resize(int cx, int cy);
  // Takes the size of the window's framebuffer: its client size times its device pixel ratio,
  // rounded as Qt sizes the framebuffer.
  void fitToWindow();
  // Device pixels per client (logical) pixel of the window; 1 without a window.
  double pixelRatio() const;
  void makeCurrent() override;
  void doneCurrent() override;
  bool inFrame() const override { return m_inFrame; }
  // The owner calls this when the frame is finished.
  void endFrame() {
    m_inFrame = false;
    t_setFramePixelRatio(1.0);
  }
  bool hasContext() const { return m_hasContext; }

  void setDefaultGLState();
  void setPerspective(double zNear, double zFar);
  void setOrtho(double zNear, double zFar);
  // Pixel-exact parallel projection over the framebuffer: offset in device pixels, scale in
  // device pixels per world unit.
  void setOrtho2D(const double offset[3], double scale, double zNear, double zFar);
  // Half extents (left, right, bottom, top) of the parallel projection for the current camera.
  void orthoBounds(double out[4]) const;

  // Camera drags.  The zone of the press decides the kind: within 30 pixels of the left or right
  // edge dolly, else of the top or bottom edge roll, else pan / orbit.
  void btnDownTranslate(QPoint p);
  void btnDownRotate(QPoint p);
  bool mouseMove(QPoint p);
  void rotateCamera(double a, double b);

  // Mouse capture: the view whose TOGL holds it gets the drag steps.
  void setCapture();
  void releaseCapture();  // only when this window holds the capture
  bool hasCapture() const;
  static QWidget* captureWindow();

  // Picking with the matrices of the current frame, or of the last frame drawn in this context
  // when called outside a frame (the context is made current for the call and released after).
  // Points are client points, as the mouse gives them; they are scaled by pixelRatio() into the
  // device pixels of the viewport.
  void getCursorRay(int x, int y, double origin[3], double dir[3]);
  void unProject(double x, double y, float depth, double out[3]);
  double unProjectIdentity();
  // Client points (x, y from the top) and window depths of world points.
  static void projectPoint(const std::vector<Vec3>& in, std::vector<Vec3>& out, TOGL& ogl);
  static void projectPoints(int n, const double (*pts)[3], std::vector<Vec3>& out, TOGL& ogl);
  // Brush circle of radius r around a client point, in whatever context is current (the
  // point scaled by the pixel ratio of the frame being drawn).
  static void drawScreenOverlay(QPoint p, double r);

  QWidget* wnd = nullptr;
  QPoint lastMouse;
  int width = 1, height = 1;  // framebuffer size, device pixels
  int dragMode = DragNone;
  double eye[3] = {0, 0, 0}, center[3] = {0, 0, 0}, up[3] = {0, 0, 0};
  double defaultEye[3] = {0, 20, 50}, defaultCenter[3] = {0, 20, 0}, defaultUp[3] = {0, 1, 0};
  float clearColor[4] = {1, 1, 1, 0.5f};

 private:
  // GL side (TOGL_gl.cpp).
  bool initGLFunctions();
  void beginFrame(int kind, const double* offset, double scale, double zNear, double zFar);
  void readMatrices(double mv[16], double proj[16], int vp[4]);
  void startDrag(QPoint p, int centreKind);

  bool m_inFrame = false;
  bool m_hasContext = false;
};

// The main view's TOGL (null before the view exists).  Other code reads the main camera here.
void t_setMainTOGL(TOGL* ogl);
TOGL* t_mainTOGL();

// Intersects the line p + t d with the plane through q of normal n.  When the line is parallel to
// the plane it prints a console line and returns (0, 0, 0).
void t_projectStrokeToPlane(const double p[3], const double d[3], const double q[3],
                            const double n[3], double out[3]);
