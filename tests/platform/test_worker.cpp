#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/Worker.h"

TEST(Worker, RefusesSecondStartWhileRunningAndJoinsOnDestruction) {
  std::atomic<int> iterations{0};
  auto data = std::make_unique<std::vector<int>>(1000, 1);
  {
    TWorker w;
    std::atomic<bool> release{false};
    ASSERT_TRUE(w.start([&] {
      while (!release.load()) std::this_thread::yield();
      // Reads the owner's data until asked to stop.
      while (!w.stopRequested()) iterations += (*data)[iterations % 1000];
    }));
    EXPECT_TRUE(w.isRunning());
    EXPECT_FALSE(w.start([] {}));
    release = true;
    while (iterations.load() == 0) std::this_thread::yield();
  }  // destructor stops and joins before data goes
  data.reset();
  EXPECT_GT(iterations.load(), 0);
}

TEST(CriticalSection, TryLockFailsWhileHeld) {
  TCriticalSection cs;
  cs.lock();
  std::atomic<bool> got{true};
  std::thread t([&] { got = cs.tryLock(); });
  t.join();
  EXPECT_FALSE(got.load());
  cs.unlock();
  EXPECT_TRUE(cs.tryLock());
  cs.unlock();
}
