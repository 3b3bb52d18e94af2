#pragma once
// A service pointer that threads call through while its owner may take it away.  Every call
// counts itself in flight; replacing or clearing the pointer waits until no call on another
// thread still uses the old object, so the owner can delete it right after (a frame being
// destroyed, the application ending).  Calls nested on the thread that clears are not waited
// for (a question box may still be open on the interface thread).
//
// A call must never wait for the thread that clears the pointer: the progress sink only posts,
// and workers are stopped before the prompt service goes.
#include <atomic>
#include <condition_variable>
#include <mutex>

template <class T>
class TGuardedPointer {
 public:
  // Holds the pointer in use for the lifetime of the object.
  class Use {
   public:
    explicit Use(TGuardedPointer& g) : m_g(g) {
      m_g.m_inFlight.fetch_add(1);
      ++depth();
      m_p = m_g.m_ptr.load();
    }
    ~Use() {
      --depth();
      m_g.m_inFlight.fetch_sub(1);
      if (m_g.m_waiters.load() > 0) {
        std::lock_guard<std::mutex> l(m_g.m_lock);
        m_g.m_idle.notify_all();
      }
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    T* get() const { return m_p; }

   private:
    TGuardedPointer& m_g;
    T* m_p = nullptr;
  };

  void set(T* p) {
    m_ptr.store(p);
    // Calls that loaded the old pointer have counted themselves before loading it.
    m_waiters.fetch_add(1);
    {
      std::unique_lock<std::mutex> l(m_lock);
      m_idle.wait(l, [this] { return m_inFlight.load() <= depth(); });
    }
    m_waiters.fetch_sub(1);
  }
  T* peek() const { return m_ptr.load(); }

 private:
  static int& depth() {
    thread_local int d = 0;
    return d;
  }
  std::atomic<T*> m_ptr{nullptr};
  std::atomic<int> m_inFlight{0};
  std::atomic<int> m_waiters{0};
  std::mutex m_lock;
  std::condition_variable m_idle;
};
