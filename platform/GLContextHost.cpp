#include "platform/GLContextHost.h"

#include <atomic>

namespace {
std::atomic<TGLContextHost*> g_main{nullptr};
}

void t_setMainGLContext(TGLContextHost* host) { g_main = host; }
TGLContextHost* t_mainGLContext() { return g_main.load(); }
