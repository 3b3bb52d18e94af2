#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# the whole suite under Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRIN_TEST_BUILD:-$root/build-asan}"
bash "$root/scripts/install-deps.sh" --tests
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=ON -DKESTRIN_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
xvfb-run -a -s '-screen 0 1280x1024x24' \
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
