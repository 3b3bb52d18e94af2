#include "platform/LargeMemory.h"

#include <fstream>
#include <string>

#if defined(__unix__)
#include <unistd.h>
#endif

std::int64_t t_availableMemoryBytes() {
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
