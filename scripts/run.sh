#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts Kestrin with the given arguments.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-release" --target kestrin
exec "$root/build-release/bin/kestrin" "$@"
