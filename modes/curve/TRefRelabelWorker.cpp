#include "modes/curve/TRefRelabelWorker.h"

#include <cstdio>
#include <utility>

std::uint64_t TRefRelabelWorker::submit(std::unique_ptr<TRelabelJob> job, std::function<bool()> notify) {
  std::unique_lock<std::mutex> lock(m_mutex);
  const std::uint64_t gen = m_newest.load(std::memory_order_relaxed) + 1;
  job->generation = gen;
  m_newest.store(gen, std::memory_order_release);
  m_pending = std::move(job);
  m_pendingNotify = std::move(notify);
  m_ready.reset();
  m_stop = false;
  if (!m_thread.joinable()) m_thread = std::thread([this] { loop(); });
  lock.unlock();
  m_wake.notify_one();
  return gen;
}

void TRefRelabelWorker::cancel() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_newest.fetch_add(1, std::memory_order_acq_rel);
  m_pending.reset();
  m_pendingNotify = nullptr;
  m_ready.reset();
}

void TRefRelabelWorker::wait() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_idle.wait(lock, [this] { return !m_pending && !m_running; });
}

std::unique_ptr<TRelabelJob> TRefRelabelWorker::take() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_ready && m_ready->generation != m_newest.load(std::memory_order_acquire)) m_ready.reset();
  return std::move(m_ready);
}

void TRefRelabelWorker::stop() {
  cancel();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_one();
  if (m_thread.joinable()) m_thread.join();
}

bool TRefRelabelWorker::busy() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_pending || m_running || m_ready;
}

bool TRefRelabelWorker::handOverLost() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lost != 0 && m_lost == m_newest.load(std::memory_order_acquire);
}

void TRefRelabelWorker::loop() {
  for (;;) {
    std::unique_ptr<TRelabelJob> job;
    std::function<bool()> notify;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [this] { return m_stop || m_pending; });
      if (m_stop) {
        m_pending.reset();
        m_idle.notify_all();
        return;
      }
      job = std::move(m_pending);
      notify = std::move(m_pendingNotify);
      m_pendingNotify = nullptr;
      m_running = true;
    }
    const int run = m_runs.load(std::memory_order_relaxed) + 1;
    std::fprintf(stderr, "start and lock  %d\n", run);
    // The relabelling itself never throws for want of memory; nothing else may end the thread.
    bool done = false;
    try {
      done = t_relabelByRoiMesh(*job, &m_newest);
    } catch (...) {
      job->outcome = TRelabelOutcome::Failed;
    }
    if (done) m_runs.store(run, std::memory_order_release);
    std::fprintf(stderr, "end adn unlock %d \n", run);
    bool fresh = false;
    const std::uint64_t generation = job->generation;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      // A job that could not run is handed over too (unless overtaken): the interface tells the
      // user that the labels do not hold that edit.
      fresh = job->outcome != TRelabelOutcome::Stale && generation == m_newest.load(std::memory_order_acquire);
      if (fresh) m_ready = std::move(job);
    }
    // Still running while the notification goes out: whoever waits for the worker may then free
    // what the notification uses.
    bool posted = true;
    if (fresh && notify) {
      try {
        posted = notify();
      } catch (...) {
        posted = false;
      }
    }
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!posted) {
        // No hand-over will come for it: a result left waiting would hold the gate shut.
        if (m_ready && m_ready->generation == generation) m_ready.reset();
        m_lost = generation;
      }
      m_running = false;
      if (!m_pending) m_idle.notify_all();
    }
  }
}
