#include "tests/modes/failing_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_armed{false};
std::atomic<std::size_t> g_minBytes{0};
std::atomic<long long> g_skip{0};
std::atomic<long long> g_seen{0};

void* allocate(std::size_t n, std::size_t align) {
  if (g_armed.load(std::memory_order_acquire) && n >= g_minBytes.load(std::memory_order_relaxed) &&
      g_seen.fetch_add(1, std::memory_order_relaxed) == g_skip.load(std::memory_order_relaxed))
    throw std::bad_alloc();
  if (n == 0) n = 1;
  void* p = align > alignof(std::max_align_t) ? std::aligned_alloc(align, (n + align - 1) / align * align) : std::malloc(n);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

void t_failLargeAllocations(std::size_t minBytes, long long skip) {
  g_minBytes.store(minBytes, std::memory_order_relaxed);
  g_skip.store(skip, std::memory_order_relaxed);
  g_seen.store(0, std::memory_order_relaxed);
  g_armed.store(true, std::memory_order_release);
}

long long t_allowAllocations() {
  g_armed.store(false, std::memory_order_release);
  return g_seen.load(std::memory_order_relaxed);
}

void* operator new(std::size_t n) { return allocate(n, 0); }
void* operator new[](std::size_t n) { return allocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a)); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return allocate(n, 0);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return allocate(n, 0);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
