#include "shader_test_context.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

namespace {
QOpenGLContext* s_context = nullptr;
QOffscreenSurface* s_surface = nullptr;
}  // namespace

bool t_testMakeContext() {
  if (!s_context) {
    QSurfaceFormat fmt;
    fmt.setVersion(3, 3);
    fmt.setProfile(QSurfaceFormat::CompatibilityProfile);
    fmt.setOption(QSurfaceFormat::DeprecatedFunctions);
    s_surface = new QOffscreenSurface();
    s_surface->setFormat(fmt);
    s_surface->create();
    s_context = new QOpenGLContext();
    s_context->setFormat(fmt);
    if (!s_context->create()) return false;
  }
  return s_context->makeCurrent(s_surface);
}

void t_testReleaseContext() {
  if (s_context) s_context->doneCurrent();
  delete s_context;
  delete s_surface;
  s_context = nullptr;
  s_surface = nullptr;
}

void t_testDoneCurrent() {
  if (s_context) s_context->doneCurrent();
}
