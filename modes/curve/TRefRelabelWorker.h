#pragma once
// The relabelling worker of the contour refinement: one thread that turns the refined surface
// into labels of the working flag volume, one job at a time, on the job's own copies.
//
// Every submitted job gets the next generation; only the newest counts.  A job waiting to run
// is replaced by a newer one, a running job that is overtaken stops at its next check, and a
// finished result is kept only while it is still the newest.  The interface thread takes the
// result (take) when the job's notification reaches it; the worker never touches the working
// volume, widgets or GL, and never waits for the interface thread, so the interface thread may
// wait for it (wait) without a deadlock.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "modes/curve/kernels/roi_relabel.h"

class TRefRelabelWorker {
 public:
  TRefRelabelWorker() = default;
  ~TRefRelabelWorker() { stop(); }
  TRefRelabelWorker(const TRefRelabelWorker&) = delete;
  TRefRelabelWorker& operator=(const TRefRelabelWorker&) = delete;

  // Queues job as the newest relabelling and returns its generation.  notify runs on the worker
  // thread once the job's result is ready, also when the job could not run (its outcome says
  // why), but not for a dropped or overtaken job; it must not wait for the interface thread
  // (post a call to it instead) and returns whether the hand-over was posted.  A result whose
  // hand-over could not be posted (notify returned false or threw) is dropped, so that nothing
  // waits for a hand-over that never comes (see handOverLost).
  std::uint64_t submit(std::unique_ptr<TRelabelJob> job, std::function<bool()> notify);
  // Makes every queued, running and finished job stale (nothing of them will be taken).
  void cancel();
  // Blocks until no job waits or runs.
  void wait();
  // The finished result of the newest job (see its outcome); null when there is none (or it was
  // taken).
  std::unique_ptr<TRelabelJob> take();
  // Cancels, waits and ends the thread (exit; a later submit starts it again).
  void stop();

  // A job waits or runs, or its result waits to be taken.
  bool busy() const;
  // The newest job ran, but its result was dropped because its hand-over could not be posted.
  bool handOverLost() const;
  std::uint64_t newestGeneration() const { return m_newest.load(std::memory_order_acquire); }
  // Relabellings run to the end so far (console counter of the runs).
  int completedRuns() const { return m_runs.load(std::memory_order_acquire); }

 private:
  void loop();

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;  // a job or the stop request arrived
  std::condition_variable m_idle;  // nothing waits or runs any more
  std::unique_ptr<TRelabelJob> m_pending;
  std::function<bool()> m_pendingNotify;
  std::unique_ptr<TRelabelJob> m_ready;
  std::uint64_t m_lost = 0;  // the generation of the last result dropped for want of a hand-over
  bool m_running = false;
  bool m_stop = false;
  std::atomic<std::uint64_t> m_newest{0};
  std::atomic<int> m_runs{0};
  std::thread m_thread;  // started by the first submit
};
