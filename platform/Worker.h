#pragma once
// Worker threads and critical sections for the modes' background work.
//
// A TWorker owns its thread: its destructor asks the work to stop and joins, so a worker never
// outlives the object (and the data) that owns it.  Long work polls stopRequested().
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class TCriticalSection {
 public:
  void lock() { m_mutex.lock(); }
  void unlock() { m_mutex.unlock(); }
  bool tryLock() { return m_mutex.try_lock(); }
  // std::lock_guard / std::unique_lock compatibility
  bool try_lock() { return m_mutex.try_lock(); }

 private:
  std::mutex m_mutex;
};

class TWorker {
 public:
  TWorker() = default;
  ~TWorker() { stopAndJoin(); }
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  // Starts fn on a new thread; false when the previous run is still going.
  bool start(std::function<void()> fn);
  bool isRunning() const { return m_running.load(); }
  bool stopRequested() const { return m_stop.load(); }
  void requestStop() { m_stop = true; }
  // Waits for the current run to end (no-op when none).
  void join();
  void stopAndJoin() {
    requestStop();
    join();
  }

 private:
  std::thread m_thread;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_stop{false};
};
