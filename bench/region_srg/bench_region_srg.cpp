// Seeded region growing of a noisy 256^3 volume (background, a ball and a slab of different
// intensities) from three seed groups.  Prints the wall and CPU time of each run, voxels per
// second of the fastest and a hash of the labels.
//   bench_region_srg [size] [repeats]
#include <omp.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "modes/region/kernels/seeded_growing.h"

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 256;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
  if (n < 8 || repeats < 1) {
    std::fprintf(stderr, "usage: bench_region_srg [size >= 8] [repeats >= 1]\n");
    return 1;
  }
  const double extent[3] = {1.0, 1.0, 1.0};
  const TVoxelBox box(n, n, n, extent);
  const std::int64_t N = box.voxelCount();

  std::vector<float> values(static_cast<std::size_t>(N));
  std::mt19937 rng(12345);
  std::normal_distribution<float> noise(0.0f, 12.0f);
  const double c = n * 0.5, r = n * 0.3;
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const double dx = x - c, dy = y - c, dz = z - c;
        float v = 100.0f + 0.1f * x;                               // background with a ramp
        if (dx * dx + dy * dy + dz * dz < r * r) v = 180.0f;       // ball
        else if (z < n / 6) v = 40.0f;                             // slab at the bottom
        values[box.index(x, y, z)] = v + noise(rng);
      }

  std::vector<TSrgGroup> groups(3);
  groups[0].seeds = {TVec3(0.05, 0.05, 0.5), TVec3(0.95, 0.95, 0.5)};  // background
  groups[1].seeds = {TVec3(0.5, 0.5, 0.5), TVec3(0.55, 0.5, 0.5)};     // ball
  groups[2].seeds = {TVec3(0.5, 0.5, 0.05)};                           // slab

  std::printf("seeded region growing: %d^3 = %lld voxels, 3 groups, %d threads available\n", n,
              static_cast<long long>(N), omp_get_max_threads());
  double best = 1e30;
  std::vector<std::uint8_t> labels;
  for (int k = 0; k < repeats; ++k) {
    std::vector<TSrgGroup> g = groups;
    timespec c0, c1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
    const auto t0 = std::chrono::steady_clock::now();
    const TSrgStatus st = t_seededRegionGrowing(values.data(), box, g, labels);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
    // CPU time of the growing thread: on a shared machine the wall time includes waiting for a core.
    const double cpu = (c1.tv_sec - c0.tv_sec) + 1e-9 * (c1.tv_nsec - c0.tv_nsec);
    if (st != TSrgStatus::Done) {
      std::fprintf(stderr, "run failed\n");
      return 1;
    }
    std::printf("run %d: %.3f s wall, %.3f s cpu, group voxels %lld %lld %lld\n", k + 1, s, cpu,
                 static_cast<long long>(g[0].count), static_cast<long long>(g[1].count),
                 static_cast<long long>(g[2].count));
    if (s < best) best = s;
  }
  std::int64_t unlabelled = 0;
  // FNV-1a of the labels: equal figures before and after a change of the kernel mean equal labels.
  std::uint64_t hash = 14695981039346656037ull;
  for (std::uint8_t l : labels) {
    unlabelled += l == 0;
    hash = (hash ^ l) * 1099511628211ull;
  }
  std::printf("best of %d: %.3f s, %.1f M voxels/s, unlabelled voxels %lld, labels hash %016llx\n",
              repeats, best, N / best / 1e6, static_cast<long long>(unlabelled),
              static_cast<unsigned long long>(hash));
  return 0;
}
