#pragma once
// Large arrays that are filled once and then read out of address order: transparent huge pages
// asked for (with 4 kB pages such reads nearly all miss the address translation cache, and every
// fresh 4 kB page costs a fault when first written).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Memory the system reports available (bytes; 0 when it does not say), or what a test set below.
std::int64_t t_availableMemoryBytes();
// Tests: t_availableMemoryBytes reports `bytes` from now on (0: the system's figure again).
void t_setAvailableMemoryForTests(std::int64_t bytes);

constexpr std::size_t kHugePageBytes = std::size_t(2) << 20;

// Asks for huge pages over the whole 2 MB pages inside [p, p + bytes).
inline void t_adviseHugePages(void* p, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const std::uintptr_t a = (reinterpret_cast<std::uintptr_t>(p) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  const std::uintptr_t z = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHugePageBytes - 1);
  if (z > a) madvise(reinterpret_cast<void*>(a), std::size_t(z - a), MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

// The alignment t_allocLines gives a block: `align` (a power of two) but at least a cache line,
// and 2 MB for blocks of several megabytes.
inline std::size_t t_lineAlignment(std::size_t bytes, std::size_t align = 64) {
  return bytes >= 2 * kHugePageBytes ? std::max(kHugePageBytes, align) : std::max<std::size_t>(64, align);
}

// An uninitialised block aligned as t_lineAlignment says, huge pages asked for when it is large;
// freed by t_freeLines with the same size and alignment request.
inline void* t_allocLines(std::size_t bytes, std::size_t align = 64) {
  const std::size_t a = t_lineAlignment(bytes, align);
  void* p = ::operator new(bytes, std::align_val_t(a));
  if (a >= kHugePageBytes) t_adviseHugePages(p, (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes);
  return p;
}

inline void t_freeLines(void* p, std::size_t bytes, std::size_t align = 64) {
  ::operator delete(p, std::align_val_t(t_lineAlignment(bytes, align)));
}
