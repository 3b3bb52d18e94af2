#include "platform/qt/QtProgressSink.h"

#include <QMetaObject>
#include <QThread>

TQtProgressSink::TQtProgressSink(QObject* context, std::function<void(int, int)> onStart,
                                 std::function<void(int)> onStep, std::function<void()> onEnd)
    : m_context(context), m_start(std::move(onStart)), m_step(std::move(onStep)), m_end(std::move(onEnd)) {}

void TQtProgressSink::deliver(std::function<void()> fn, bool startsOrEnds) {
  QObject* ctx = m_context.data();
  if (!ctx) return;
  if (QThread::currentThread() == ctx->thread()) {
    if (startsOrEnds) m_generation->fetch_add(1, std::memory_order_acq_rel);
    fn();
    return;
  }
  const unsigned posted = m_generation->load(std::memory_order_acquire);
  QMetaObject::invokeMethod(
      ctx,
      [fn = std::move(fn), posted, generation = m_generation] {
        if (generation->load(std::memory_order_acquire) == posted) fn();
      },
      Qt::QueuedConnection);
}

void TQtProgressSink::progressStart(int captionIndex, int percent) {
  auto f = m_start;
  if (f) deliver([f, captionIndex, percent] { f(captionIndex, percent); }, true);
}

void TQtProgressSink::progressStep(int percent) {
  auto f = m_step;
  if (f) deliver([f, percent] { f(percent); }, false);
}

void TQtProgressSink::progressEnd() {
  auto f = m_end;
  if (f) deliver([f] { f(); }, true);
}
