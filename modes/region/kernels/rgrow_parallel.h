#pragma once
// The data-parallel loops of the region-growing kernels, on std::thread.
//
// A kernel may run on a worker thread whose results the interface thread reads afterwards; with
// plain threads that are joined before the call returns, every write of a loop happens-before
// the caller's next step in a way ThreadSanitizer can follow (an OpenMP team's hand-over is
// invisible to it).  Threads take pieces from a shared counter, so a thread that the machine
// leaves waiting holds back one piece, not a fixed share.
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "modes/region/kernels/rgrow_volume.h"

// Calls body(begin, end) over pieces of [0, n).  Runs on the calling thread alone when n is
// below `parallelMin` (in loop steps).  body must not throw.
template <class Body>
void t_rgrowParallelFor(long long n, long long parallelMin, const Body& body) {
  if (n <= 0) return;
  const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
  const int threads = n < parallelMin ? 1 : static_cast<int>(std::min<long long>(std::min(hw, 8u), n));
  if (threads == 1) {
    body(0LL, n);
    return;
  }
  const long long piece = std::max(1LL, n / (8LL * threads));
  std::atomic<long long> next{0};
  auto work = [&] {
    for (;;) {
      const long long begin = next.fetch_add(piece, std::memory_order_relaxed);
      if (begin >= n) return;
      body(begin, std::min(n, begin + piece));
    }
  };
  std::vector<std::thread> team;
  for (int t = 1; t < threads; ++t) {
    try {
      team.emplace_back(work);
    } catch (...) {
      break;  // no thread (or no room for one): the threads there are take the remaining pieces
    }
  }
  work();
  for (std::thread& t : team) t.join();
}
