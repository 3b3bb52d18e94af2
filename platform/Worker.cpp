#include "platform/Worker.h"

bool TWorker::start(std::function<void()> fn) {
  if (m_running.load()) return false;
  if (m_thread.joinable()) m_thread.join();
  m_stop = false;
  m_running = true;
  m_thread = std::thread([this, fn = std::move(fn)]() {
    fn();
    m_running = false;
  });
  return true;
}

void TWorker::join() {
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}
