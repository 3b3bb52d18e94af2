#include "platform/Progress.h"

#include <atomic>

namespace {
std::atomic<TProgressSink*> g_sink{nullptr};
}

void t_setProgressSink(TProgressSink* sink) { g_sink = sink; }

void t_progressStart(int captionIndex, int percent) {
  if (TProgressSink* s = g_sink.load()) s->progressStart(captionIndex, percent);
}

void t_progressStep(int percent) {
  if (TProgressSink* s = g_sink.load()) s->progressStep(percent);
}

void t_progressEnd() {
  if (TProgressSink* s = g_sink.load()) s->progressEnd();
}

bool t_progressToMainFrame(double fraction) {
  TProgressSink* s = g_sink.load();
  if (!s) return false;
  s->progressStep(static_cast<int>(fraction * 100));
  return true;
}
