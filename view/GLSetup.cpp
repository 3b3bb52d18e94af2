#include "view/GLSetup.h"

#include <QCoreApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

void t_setupGLDefaults() {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat fmt;
  fmt.setRenderableType(QSurfaceFormat::OpenGL);
  fmt.setProfile(QSurfaceFormat::CompatibilityProfile);
  fmt.setOption(QSurfaceFormat::DeprecatedFunctions);
  fmt.setDepthBufferSize(24);
  fmt.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  QSurfaceFormat::setDefaultFormat(fmt);
}

bool t_probeOpenGL(std::string* why) {
  auto fail = [why](const char* reason) {
    if (why) *why = reason;
    return false;
  };
  QOpenGLContext context;
  context.setFormat(QSurfaceFormat::defaultFormat());
  if (!context.create()) return fail("no OpenGL context can be created on this display");
  QOffscreenSurface surface;
  surface.setFormat(context.format());
  surface.create();
  if (!surface.isValid()) return fail("no OpenGL surface can be created on this display");
  if (!context.makeCurrent(&surface)) return fail("the OpenGL context cannot be made current");
  context.doneCurrent();
  return true;
}
