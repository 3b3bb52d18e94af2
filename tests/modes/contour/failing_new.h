#pragma once
// Memory that runs out on request: while a FailAllocations object lives, every request of at
// least its size to the global operator new throws std::bad_alloc, as on a machine out of memory.
// It replaces the global operator new: include it in one source file of a test binary only.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

inline std::atomic<std::size_t> g_failAllocationsFrom{0};

void* operator new(std::size_t n) {
  const std::size_t from = g_failAllocationsFrom.load(std::memory_order_relaxed);
  if (from != 0 && n >= from) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
// The replacement pair is malloc and free; the compiler's check pairs new with delete only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

struct FailAllocations {
  explicit FailAllocations(std::size_t from) { g_failAllocationsFrom.store(from); }
  ~FailAllocations() { g_failAllocationsFrom.store(0); }
  FailAllocations(const FailAllocations&) = delete;
  FailAllocations& operator=(const FailAllocations&) = delete;
};
