#pragma once
// An exception must not leave an OpenMP region: the program would end there.  The threads of a
// region run the work that may throw (allocations above all) through one TOmpExceptions, which
// keeps the first exception and lets every later piece of work be skipped; after the region,
// rethrow() throws it again, where the caller can handle it.
#include <atomic>
#include <exception>
#include <mutex>

class TOmpExceptions {
 public:
  // Runs f unless an earlier piece of work failed; never throws.
  template <class F>
  void run(F&& f) noexcept {
    if (failed()) return;
    try {
      f();
    } catch (...) {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_error) m_error = std::current_exception();
      m_failed.store(true, std::memory_order_relaxed);
    }
  }
  bool failed() const { return m_failed.load(std::memory_order_relaxed); }
  // After the region: throws what a thread threw, if any.
  void rethrow() const {
    if (m_error) std::rethrow_exception(m_error);
  }

 private:
  std::mutex m_mutex;
  std::exception_ptr m_error;
  std::atomic<bool> m_failed{false};
};
