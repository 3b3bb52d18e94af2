// Times "Region Grow 26" from one seed over a 512^3 one-channel volume whose grown region holds
// most voxels, and scipy.ndimage.label (26-structure) on the same mask (the voxels that pass the
// distance test, plus the seed) in the same run, through Debian's /usr/bin/python3.  Checks that
// the seed's component has the same size in both.
//
// Usage: bench_region_grow [N] [repeats]   (default 512 and 3)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "modes/region/kernels/rgrow_flood.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The flood's "%d/%d" console line goes to /dev/null while it is timed.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    m_saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(m_saved, 1);
    close(m_saved);
  }

 private:
  int m_saved;
};

}  // namespace

int main(int argc, char** argv) {
  const int N = argc > 1 ? std::atoi(argv[1]) : 512;
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const size_t n = size_t(N) * N * N;
  const unsigned threads = std::min(8u, std::max(1u, std::thread::hardware_concurrency()));
  std::printf("Region Grow 26 over %d^3 (%zu voxels), loops on %u threads\n", N, n, threads);
  // Other work on the machine slows every figure; say how much there was.
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    double load = 0;
    if (std::fscanf(f, "%lf", &load) == 1) std::printf("machine load average (1 min): %.1f\n", load);
    std::fclose(f);
  }

  // Tissue around 100 with noise, 8 % scattered voxels at 200 and solid balls at 300: the
  // tissue within r = 30 of the seed's value is one region of most voxels, with many holes.
  std::vector<float> values(n);
  std::vector<uint8_t> flags(n, 1);
  const int balls = 40;
  std::vector<float> centre(3 * balls), radius(balls);
  {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int b = 0; b < balls; ++b) {
      for (int a = 0; a < 3; ++a) centre[3 * b + a] = u(rng) * N;
      radius[b] = (0.03f + 0.04f * u(rng)) * N;
    }
  }
#pragma omp parallel for schedule(dynamic)
  for (int z = 0; z < N; ++z) {
    std::mt19937 rng(1000 + z);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        float v = u(rng) < 0.08f ? 200.0f : 100.0f + 50.0f * (u(rng) - 0.5f);
        for (int b = 0; b < balls; ++b) {
          const float dx = x - centre[3 * b], dy = y - centre[3 * b + 1], dz = z - centre[3 * b + 2];
          if (dx * dx + dy * dy + dz * dz < radius[b] * radius[b]) v = 300.0f;
        }
        values[x + size_t(N) * (y + size_t(N) * z)] = v;
      }
  }
  TRgrowVolume vol;
  vol.W = vol.H = vol.D = N;
  vol.channels = 1;
  vol.ch[0] = values.data();
  const double extent[3] = {1.0, 1.0, 1.0};
  // A seed of tissue near the centre.
  size_t seedIndex = 0;
  TVec3 seed;
  for (int k = N / 2; k < N; ++k) {
    seedIndex = k + size_t(N) * (k + size_t(N) * k);
    if (values[seedIndex] < 120.0f && values[seedIndex] > 80.0f) {
      const double c = (k + 0.5) / N;
      seed.set(c, c, c);
      break;
    }
  }
  const float r = 30.0f;

  double best = 1e30;
  for (int k = 0; k < repeats; ++k) {
    std::fill(flags.begin(), flags.end(), uint8_t(1));
    const double t0 = now();
    TRgrowStatus st;
    {
      QuietStdout quiet;
      st = t_regionGrowFromSeeds(vol, flags.data(), TPoints{seed}, extent, r, false);
    }
    const double t = now() - t0;
    if (st != TRgrowStatus::Ok) {
      std::printf("flood failed (status %d)\n", int(st));
      return 1;
    }
    best = std::min(best, t);
    std::printf("  run %d: %.3f s\n", k + 1, t);
  }
  size_t grown = 0;
  for (uint8_t f : flags) grown += f == 255;
  std::printf("kestrin  Region Grow 26: %.3f s, %.1f M voxels/s, region %zu voxels (%.1f %%)\n", best,
              n / best * 1e-6, grown, 100.0 * grown / n);

  // The same mask for scipy: the voxels that pass r * r > d * d in single precision, and the seed.
  const std::string path = "/tmp/kestrin_bench_region_grow_mask.u8";
  {
    std::vector<uint8_t> mask(n);
    const float a = values[seedIndex], rr = r * r;
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < (long long)n; ++i) {
      const float d = a - values[i];
      mask[i] = rr > d * d;
    }
    mask[seedIndex] = 1;
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(mask.data()), std::streamsize(n));
  }
  const int s = static_cast<int>(seed[0] * N);
  const std::string cmd = std::string("/usr/bin/python3 ") + KESTRIN_BENCH_SCRIPT + " " + path + " " +
                          std::to_string(N) + " " + std::to_string(N) + " " + std::to_string(N) + " " +
                          std::to_string(s) + " " + std::to_string(s) + " " + std::to_string(s) + " " +
                          std::to_string(repeats);
  FILE* p = popen(cmd.c_str(), "r");
  double scipySeconds = 0;
  long long component = -1;
  if (p) {
    char line[256];
    while (std::fgets(line, sizeof line, p)) {
      std::sscanf(line, "seconds %lf", &scipySeconds);
      std::sscanf(line, "component %lld", &component);
    }
    pclose(p);
  }
  std::remove(path.c_str());
  if (scipySeconds <= 0) {
    std::printf("reference scipy.ndimage.label: not available (%s)\n", cmd.c_str());
    return 0;
  }
  std::printf("scipy    ndimage.label (26-structure, one thread): %.3f s, %.1f M voxels/s, seed component %lld voxels\n",
              scipySeconds, n / scipySeconds * 1e-6, component);
  std::printf("ratio kestrin / scipy (voxels per second): %.2f\n", scipySeconds / best);
  std::printf("same region: %s\n", component == (long long)grown ? "yes" : "NO");
  return component == (long long)grown ? 0 : 2;
}
