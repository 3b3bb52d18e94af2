#include "curves_gl_context.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>

namespace {
int s_argc = 1;
char s_arg0[] = "test_geom_draw";
char* s_argv[] = {s_arg0, nullptr};
QGuiApplication* s_app = nullptr;
QOffscreenSurface* s_surface = nullptr;
QOpenGLContext* s_context = nullptr;
QOpenGLFramebufferObject* s_fbo = nullptr;
}  // namespace

bool t_curvesMakeGLContext() {
  if (!s_app) s_app = new QGuiApplication(s_argc, s_argv);
  if (!s_context) {
    QSurfaceFormat fmt;
    fmt.setVersion(2, 1);
    fmt.setProfile(QSurfaceFormat::CompatibilityProfile);
    fmt.setOption(QSurfaceFormat::DeprecatedFunctions);
    fmt.setDepthBufferSize(24);
    s_surface = new QOffscreenSurface();
    s_surface->setFormat(fmt);
    s_surface->create();
    s_context = new QOpenGLContext();
    s_context->setFormat(fmt);
    if (!s_context->create()) return false;
    if (!s_context->makeCurrent(s_surface)) return false;
    s_fbo = new QOpenGLFramebufferObject(64, 64, QOpenGLFramebufferObject::Depth);
  }
  if (!s_context->makeCurrent(s_surface)) return false;
  return s_fbo->bind();
}

void t_curvesReleaseGLContext() {
  if (s_context) s_context->makeCurrent(s_surface);
  delete s_fbo;
  s_fbo = nullptr;
  if (s_context) s_context->doneCurrent();
  delete s_context;
  delete s_surface;
  s_context = nullptr;
  s_surface = nullptr;
}
