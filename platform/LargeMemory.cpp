#include "platform/LargeMemory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__unix__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
// Read by workers too.
std::atomic<std::int64_t> g_testAvailable{0};
}  // namespace

void t_setAvailableMemoryForTests(std::int64_t bytes) { g_testAvailable.store(bytes, std::memory_order_release); }

std::int64_t t_availableMemoryBytes() {
  if (const std::int64_t t = g_testAvailable.load(std::memory_order_acquire)) return t;
#if defined(__unix__)
  // Read into a buffer of its own: asking how much memory is left must not need any.
  const int fd = open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char buf[8192];
    std::size_t len = 0;
    for (ssize_t r; len + 1 < sizeof buf && (r = read(fd, buf + len, sizeof buf - 1 - len)) > 0;) len += std::size_t(r);
    close(fd);
    buf[len] = '\0';
    if (const char* p = std::strstr(buf, "MemAvailable:")) {
      const long long kb = std::strtoll(p + std::strlen("MemAvailable:"), nullptr, 10);
      if (kb > 0) return static_cast<std::int64_t>(kb) * 1024;
    }
  }
#endif
#if defined(__unix__) && defined(_SC_AVPHYS_PAGES)
  const long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGESIZE);
  return pages > 0 && page > 0 ? std::int64_t(pages) * page : 0;
#else
  return 0;
#endif
}
