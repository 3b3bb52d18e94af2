#pragma once
// A progress sink that delivers the progress calls of any thread to handlers on the thread of a
// context object (the main frame).  Calls made on that thread run the handler at once; calls from
// other threads are queued and never wait.  Queued calls to a context that has been destroyed are
// dropped.
#include <QObject>
#include <QPointer>

#include <functional>

#include "platform/Progress.h"

class TQtProgressSink : public TProgressSink {
 public:
  TQtProgressSink(QObject* context, std::function<void(int index, int percent)> onStart,
                  std::function<void(int percent)> onStep, std::function<void()> onEnd);

  void progressStart(int captionIndex, int percent) override;
  void progressStep(int percent) override;
  void progressEnd() override;

 private:
  void deliver(std::function<void()> fn);

  QPointer<QObject> m_context;
  std::function<void(int, int)> m_start;
  std::function<void(int)> m_step;
  std::function<void()> m_end;
};
