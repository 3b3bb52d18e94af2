#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# the whole suite under Xvfb; then builds the tests that run threads of their own with
# ThreadSanitizer and runs them again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRIN_TEST_BUILD:-$root/build-asan}"
tsan="${KESTRIN_TSAN_BUILD:-$root/build-tsan}"
bash "$root/scripts/install-deps.sh" --tests
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=ON -DKESTRIN_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_TSAN=ON -DKESTRIN_BUILD_TESTS=ON >/dev/null
cmake --build "$tsan" -j "$(nproc)" --target kestrin_thread_tests
xvfb-run -a -s '-screen 0 1280x1024x24' \
  ctest --test-dir "$tsan" --output-on-failure -j "$(nproc)" "$@"
xvfb-run -a -s '-screen 0 1280x1024x24' \
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
