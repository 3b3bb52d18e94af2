#include "platform/LargeMemory.h"

#include <atomic>
#include <fstream>
#include <string>

#if defined(__unix__)
#include <unistd.h>
#endif

namespace {
// Read by workers too.
std::atomic<std::int64_t> g_testAvailable{0};
}  // namespace

void t_setAvailableMemoryForTests(std::int64_t bytes) { g_testAvailable.store(bytes, std::memory_order_release); }

std::int64_t t_availableMemoryBytes() {
  if (const std::int64_t t = g_testAvailable.load(std::memory_order_acquire)) return t;
  std::ifstream f("/proc/meminfo");
  std::string key;
  long long kb = 0;
  std::string unit;
  while (f >> key >> kb >> unit)
    if (key == "MemAvailable:") return static_cast<std::int64_t>(kb) * 1024;
#if defined(__unix__) && defined(_SC_AVPHYS_PAGES)
  const long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGESIZE);
  return pages > 0 && page > 0 ? std::int64_t(pages) * page : 0;
#else
  return 0;
#endif
}
