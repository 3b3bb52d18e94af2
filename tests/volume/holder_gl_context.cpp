#include "holder_gl_context.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

namespace {
int g_argc = 1;
char g_arg0[] = "volume_holder_gl_test";
char* g_argv[] = {g_arg0, nullptr};
}  // namespace

struct HolderGLContext::Impl {
  QGuiApplication app{g_argc, g_argv};  // must exist before the surface
  QOffscreenSurface surface;
  QOpenGLContext context;
  bool ok = false;
};

HolderGLContext::HolderGLContext() : m(new Impl) {
  QSurfaceFormat fmt;
  fmt.setProfile(QSurfaceFormat::CompatibilityProfile);
  fmt.setOption(QSurfaceFormat::DeprecatedFunctions);
  m->surface.setFormat(fmt);
  m->surface.create();
  m->context.setFormat(fmt);
  m->ok = m->surface.isValid() && m->context.create() && m->context.makeCurrent(&m->surface);
}

HolderGLContext::~HolderGLContext() {
  if (m->ok) m->context.doneCurrent();
}

bool HolderGLContext::ok() const { return m->ok; }
