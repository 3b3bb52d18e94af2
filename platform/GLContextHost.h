#pragma once
// What code outside the views needs of a GL context: whether a frame is being drawn (the context is
// current already) and how to make it current for GL work outside a frame.  The views' context
// class derives from this; plain libraries hold only pointers to it and include no GL header.
class TGLContextHost {
 public:
  virtual ~TGLContextHost() = default;
  virtual bool inFrame() const = 0;
  virtual void makeCurrent() = 0;
  virtual void doneCurrent() = 0;
};

// Makes the context current for the guard's lifetime unless a frame is being drawn in it.
class TGLCurrentGuard {
 public:
  explicit TGLCurrentGuard(TGLContextHost* host) : m_host(host) {
    if (m_host && !m_host->inFrame()) {
      m_host->makeCurrent();
      m_made = true;
    }
  }
  ~TGLCurrentGuard() {
    if (m_made) m_host->doneCurrent();
  }
  TGLCurrentGuard(const TGLCurrentGuard&) = delete;
  TGLCurrentGuard& operator=(const TGLCurrentGuard&) = delete;

 private:
  TGLContextHost* m_host;
  bool m_made = false;
};

// The main view's context, registered by the main view when it is created (null before, and in
// programs without a window).
void t_setMainGLContext(TGLContextHost* host);
TGLContextHost* t_mainGLContext();

// Device pixels per logical pixel of the window whose frame is being drawn (1 outside a frame),
// set by the view that draws it.  Sizes handed to GL in pixels (line widths, point sizes) are
// logical and go through t_glPixels, so that a line keeps its width on a high-DPI screen.
void t_setFramePixelRatio(double ratio);
double t_framePixelRatio();
inline float t_glPixels(double logicalPixels) { return static_cast<float>(logicalPixels * t_framePixelRatio()); }
