#include "platform/Progress.h"

#include "platform/guarded_pointer.h"

namespace {
TGuardedPointer<TProgressSink> g_sink;
using Use = TGuardedPointer<TProgressSink>::Use;
}  // namespace

void t_setProgressSink(TProgressSink* sink) { g_sink.set(sink); }

void t_progressStart(int captionIndex, int percent) {
  Use use(g_sink);
  if (TProgressSink* s = use.get()) s->progressStart(captionIndex, percent);
}

void t_progressStep(int percent) {
  Use use(g_sink);
  if (TProgressSink* s = use.get()) s->progressStep(percent);
}

void t_progressEnd() {
  Use use(g_sink);
  if (TProgressSink* s = use.get()) s->progressEnd();
}

bool t_progressToMainFrame(double fraction) {
  Use use(g_sink);
  TProgressSink* s = use.get();
  if (!s) return false;
  s->progressStep(static_cast<int>(fraction * 100));
  return true;
}

TProgressScope::TProgressScope(int captionIndex) { t_progressStart(captionIndex, 0); }

TProgressScope::~TProgressScope() { end(); }

void TProgressScope::end() {
  if (m_ended) return;
  m_ended = true;
  t_progressEnd();
}

void TProgressScope::part(int from, int to) {
  m_from = from;
  m_to = to;
}

void TProgressScope::step(long long done, long long total) {
  if (total <= 0) return;
  if (done > total) done = total;
  if (done < 0) done = 0;
  const int percent = m_from + static_cast<int>((m_to - m_from) * done / total);
  if (percent == m_last) return;
  m_last = percent;
  t_progressStep(percent);
}
