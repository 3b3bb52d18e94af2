#!/usr/bin/env bash
# Installs what Kestrin needs to build, run and test on Debian 12 (--tests: also the tests;
# --bench: also the benchmarks' references).  Safe to run again.
set -euo pipefail
PKGS=(cmake ninja-build g++ pkg-config
      qt6-base-dev libqt6opengl6-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dri
      libsuitesparse-dev medcon
      fonts-ipafont-gothic)  # the program's Japanese captions and messages
TEST_PKGS=(libgtest-dev xvfb xauth openbox libtiff-tools python3-numpy python3-tifffile python3-scipy
           python3-pydicom python3-vtk9 gfortran python3-skimage
           libboost-graph-dev libmaxflow-dev libopenblas0-pthread
           clang libclang-rt-dev libomp-dev)  # the fuzz build (-DKESTRIN_FUZZ=ON): libFuzzer, OpenMP
# The references the benchmarks measure against (bench/, built with -DKESTRIN_BUILD_BENCH=ON):
# the test packages (OpenBLAS, VTK, tifffile, scikit-image, maxflow, Boost.Graph) and what the
# benchmarks use to name the library they measured.
BENCH_PKGS=(python3-threadpoolctl)
want=("${PKGS[@]}")
if [ "${1:-}" = "--tests" ]; then want+=("${TEST_PKGS[@]}"); fi
if [ "${1:-}" = "--bench" ]; then want+=("${TEST_PKGS[@]}" "${BENCH_PKGS[@]}"); fi
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
