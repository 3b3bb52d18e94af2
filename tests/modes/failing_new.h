#pragma once
// Out of memory on demand, for the tests of what a program does when an allocation fails: the
// binary that links failing_new.cpp has its operator new replaced, and while armed, the skip-th
// allocation of at least minBytes (counted from 0, in every thread) throws std::bad_alloc, as a
// large request does when the system cannot meet it.
#include <cstddef>

void t_failLargeAllocations(std::size_t minBytes, long long skip = 0);
// Allocations succeed again; returns how many of at least minBytes were asked for while armed.
long long t_allowAllocations();

// Arms for its lifetime.
struct TFailLargeAllocations {
  TFailLargeAllocations(std::size_t minBytes, long long skip = 0) { t_failLargeAllocations(minBytes, skip); }
  ~TFailLargeAllocations() { t_allowAllocations(); }
  TFailLargeAllocations(const TFailLargeAllocations&) = delete;
  TFailLargeAllocations& operator=(const TFailLargeAllocations&) = delete;
};
