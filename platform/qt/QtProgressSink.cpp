#include "platform/qt/QtProgressSink.h"

#include <QMetaObject>
#include <QThread>

TQtProgressSink::TQtProgressSink(QObject* context, std::function<void(int, int)> onStart,
                                 std::function<void(int)> onStep, std::function<void()> onEnd)
    : m_context(context), m_start(std::move(onStart)), m_step(std::move(onStep)), m_end(std::move(onEnd)) {}

void TQtProgressSink::deliver(std::function<void()> fn) {
  QObject* ctx = m_context.data();
  if (!ctx) return;
  if (QThread::currentThread() == ctx->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(ctx, std::move(fn), Qt::QueuedConnection);
}

void TQtProgressSink::progressStart(int captionIndex, int percent) {
  auto f = m_start;
  if (f) deliver([f, captionIndex, percent] { f(captionIndex, percent); });
}

void TQtProgressSink::progressStep(int percent) {
  auto f = m_step;
  if (f) deliver([f, percent] { f(percent); });
}

void TQtProgressSink::progressEnd() {
  auto f = m_end;
  if (f) deliver([f] { f(); });
}
