#pragma once
// A progress sink that delivers the progress calls of any thread to handlers on the thread of a
// context object (the main frame).  Calls made on that thread run the handler at once; calls from
// other threads are queued and never wait.  Queued calls to a context that has been destroyed are
// dropped, and so are queued calls that a start or an end made on the context's thread has
// overtaken: synchronous work (a load whose parallel loop steps from other threads) ends the
// display, and a step queued before that end must not fill the bar again after it.
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>

#include "platform/Progress.h"

class TQtProgressSink : public TProgressSink {
 public:
  TQtProgressSink(QObject* context, std::function<void(int index, int percent)> onStart,
                  std::function<void(int percent)> onStep, std::function<void()> onEnd);

  void progressStart(int captionIndex, int percent) override;
  void progressStep(int percent) override;
  void progressEnd() override;

 private:
  void deliver(std::function<void()> fn, bool startsOrEnds);

  QPointer<QObject> m_context;
  std::function<void(int, int)> m_start;
  std::function<void(int)> m_step;
  std::function<void()> m_end;
  // Counts the starts and ends made on the context's thread; shared with the queued calls, which
  // may outlive the sink.
  std::shared_ptr<std::atomic<unsigned>> m_generation = std::make_shared<std::atomic<unsigned>>(0u);
};
