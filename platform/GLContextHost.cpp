#include "platform/GLContextHost.h"

#include <atomic>

namespace {
std::atomic<TGLContextHost*> g_main{nullptr};
// Frames are drawn on the interface thread only.
double g_frameRatio = 1.0;
}  // namespace

void t_setMainGLContext(TGLContextHost* host) { g_main = host; }
TGLContextHost* t_mainGLContext() { return g_main.load(); }

void t_setFramePixelRatio(double ratio) { g_frameRatio = ratio > 0 ? ratio : 1.0; }
double t_framePixelRatio() { return g_frameRatio; }
