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
// below `parallelMin` (in loop steps).  body must not throw.  With a progress callback, the
// calling thread reports the share of [0, n) handed out after each piece it finishes, and 1 at
// the end.
template <class Body>
void t_rgrowParallelFor(long long n, long long parallelMin, const Body& body, const TRgrowProgress& progress = {}) {
  if (n <= 0) return;
  const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
  const int threads = n < parallelMin ? 1 : static_cast<int>(std::min<long long>(std::min(hw, 8u), n));
  const long long piece = std::max(1LL, n / (8LL * threads));
  std::atomic<long long> next{0};
  auto work = [&](bool reports) {
    for (;;) {
      const long long begin = next.fetch_add(piece, std::memory_order_relaxed);
      if (begin >= n) return;
      body(begin, std::min(n, begin + piece));
      if (reports) t_rgrowReport(progress, static_cast<double>(std::min(n, next.load())) / n);
    }
  };
  std::vector<std::thread> team;
  for (int t = 1; t < threads; ++t) {
    try {
      team.emplace_back(work, false);
    } catch (...) {
      break;  // no thread (or no room for one): the threads there are take the remaining pieces
    }
  }
  work(static_cast<bool>(progress));
  for (std::thread& t : team) t.join();
  if (threads > 1) t_rgrowReport(progress, 1.0);  // the last pieces may have been another thread's
}
