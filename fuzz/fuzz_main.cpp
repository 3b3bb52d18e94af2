// One libFuzzer binary per reader: the target's name comes from the build.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_targets.h"

#ifndef KESTRIN_FUZZ_TARGET
#error "KESTRIN_FUZZ_TARGET names the reader"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TFuzzEntry entry = t_fuzzEntry(KESTRIN_FUZZ_TARGET);
  if (!entry) {
    std::fprintf(stderr, "no fuzz target named %s\n", KESTRIN_FUZZ_TARGET);
    std::abort();
  }
  return entry(data, size);
}
