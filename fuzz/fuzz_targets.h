#pragma once
// Entry points for fuzzing the file readers: each takes the bytes of one file, hands them to a
// reader the way the program does and aborts when a refused input changed what the reader was
// given (or an accepted one left it inconsistent).  The libFuzzer targets and the corpus replay of
// the test suite call the same functions.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using TFuzzEntry = int (*)(const uint8_t* data, size_t size);

struct TFuzzTarget {
  const char* name;  // also the corpus folder: fuzz/corpus/<name>/
  TFuzzEntry entry;
};

// Every target, in a fixed order.
const std::vector<TFuzzTarget>& t_fuzzTargets();
// The target of that name, or nullptr.
TFuzzEntry t_fuzzEntry(const std::string& name);
