// Times the 5x5x5 Gaussian smoothing and the 26-connected labelling of a 256^3 volume, and
// scipy.ndimage's correlate and label on the same data in the same run (Debian's
// /usr/bin/python3).  Also checks that both give the same results.
//
// Usage: bench_volume_filters [N]   (default 256)
#include <fcntl.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "volume/volume_filters.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The console traces of the filters go to /dev/null while they are timed.
class QuietStderr {
 public:
  QuietStderr() {
    fflush(stderr);
    m_saved = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(null);
  }
  ~QuietStderr() {
    fflush(stderr);
    dup2(m_saved, 2);
    close(m_saved);
  }

 private:
  int m_saved;
};

template <class T>
void writeRaw(const std::string& path, const std::vector<T>& v) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(v.data()), std::streamsize(v.size() * sizeof(T)));
}

template <class T>
std::vector<T> readRaw(const std::string& path, size_t n) {
  std::vector<T> v(n);
  std::ifstream f(path, std::ios::binary);
  f.read(reinterpret_cast<char*>(v.data()), std::streamsize(n * sizeof(T)));
  return f.gcount() == std::streamsize(n * sizeof(T)) ? v : std::vector<T>();
}

// Same partition into parts (labels may be numbered differently).
bool samePartition(const std::vector<int>& a, const std::vector<int>& b, int count) {
  if (a.size() != b.size()) return false;
  std::vector<int> map(count + 1, -1), back(count + 1, -1);
  for (size_t i = 0; i < a.size(); ++i) {
    const int x = a[i], y = b[i];
    if ((x == 0) != (y == 0) || x > count || y > count) return false;
    if (x == 0) continue;
    if (map[x] < 0 && back[y] < 0) map[x] = y, back[y] = x;
    if (map[x] != y || back[y] != x) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int N = argc > 1 ? std::atoi(argv[1]) : 256;
  const size_t n = size_t(N) * N * N;
  printf("volume %d^3, %d OpenMP threads\n", N, omp_get_max_threads());

  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> u(0.0f, 1000.0f);
  std::vector<float> values(n);
  for (float& f : values) f = u(rng);

  // Labelling data: blobs (a smoothed random field, thresholded) and plain noise.
  std::vector<float> field(n);
  for (float& f : field) f = u(rng);
  {
    QuietStderr quiet;
    t_smoothVolume(N, N, N, 2, field.data());
  }
  std::vector<float> sorted(field.begin(), field.begin() + std::min<size_t>(n, 1 << 20));
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() * 6 / 10, sorted.end());
  const float cut = sorted[sorted.size() * 6 / 10];
  std::vector<uint8_t> blobs(n), noise(n);
  for (size_t i = 0; i < n; ++i) blobs[i] = field[i] > cut ? 1 : 0;
  std::bernoulli_distribution b(0.25);
  for (size_t i = 0; i < n; ++i) noise[i] = b(rng) ? 1 : 0;

  char dirTmpl[] = "/tmp/kestrin_benchXXXXXX";
  if (!mkdtemp(dirTmpl)) return 1;
  const std::string dir = dirTmpl;
  writeRaw(dir + "/values.f32", values);
  writeRaw(dir + "/blobs.u8", blobs);
  writeRaw(dir + "/noise.u8", noise);

  // Ours: best of three.
  double tSmooth = 1e300;
  std::vector<float> smoothed;
  for (int rep = 0; rep < 3; ++rep) {
    std::vector<float> v = values;
    QuietStderr quiet;
    const double t0 = now();
    t_smoothVolume(N, N, N, 1, v.data());
    tSmooth = std::min(tSmooth, now() - t0);
    smoothed.swap(v);
  }
  double tLabel[2] = {1e300, 1e300};
  int count[2] = {0, 0};
  std::vector<int> labels[2];
  const std::vector<uint8_t>* masks[2] = {&blobs, &noise};
  for (int m = 0; m < 2; ++m) {
    labels[m].resize(n);
    for (int rep = 0; rep < 3; ++rep) {
      QuietStderr quiet;
      const double t0 = now();
      count[m] = t_labelConnectedRegions(N, N, N, masks[m]->data(), 1, labels[m].data());
      tLabel[m] = std::min(tLabel[m], now() - t0);
    }
  }

  // scipy on the same data.
  double sCorr = -1, sLabel[2] = {-1, -1};
  int sCount[2] = {-1, -1};
  const char* names[2] = {"blobs", "noise"};
  for (int m = 0; m < 2; ++m) {
    const std::string cmd = std::string("/usr/bin/python3 '") + KESTRIN_BENCH_SCRIPT + "' " +
                            std::to_string(N) + " " + dir + "/values.f32 " + dir + "/" +
                            names[m] + ".u8 " + (m == 0 ? dir + "/smoothed.f32 " : std::string("- ")) + dir +
                            "/labels.i32";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) break;
    char line[256];
    while (fgets(line, sizeof line, p)) {
      double t;
      int c;
      if (sscanf(line, "scipy_correlate %lf", &t) == 1 && m == 0) sCorr = t;
      if (sscanf(line, "scipy_label %lf %d", &t, &c) == 2) sLabel[m] = t, sCount[m] = c;
    }
    if (pclose(p) != 0) {
      printf("scipy reference failed (is python3-scipy installed?)\n");
      break;
    }
    const std::vector<int> ref = readRaw<int>(dir + "/labels.i32", n);
    printf("labels (%s) agree with scipy: %s\n", names[m],
           count[m] == sCount[m] && samePartition(labels[m], ref, count[m]) ? "yes" : "NO");
    if (m == 0) {
      const std::vector<float> refS = readRaw<float>(dir + "/smoothed.f32", n);
      double worst = 0;
      for (size_t i = 0; i < refS.size(); ++i)
        worst = std::max(worst, double(std::fabs(refS[i] - smoothed[i])));
      printf("smoothing vs scipy correlate / weight sum: largest difference %.3g (values 0..1000)\n",
             refS.empty() ? -1.0 : worst);
    }
  }
  std::system(("rm -rf '" + dir + "'").c_str());

  printf("\n%-34s %10s %10s %8s\n", "", "ours (s)", "scipy (s)", "speed-up");
  printf("%-34s %10.4f %10.4f %7.1fx\n", "5x5x5 Gaussian smoothing, 1 pass", tSmooth, sCorr,
         sCorr / tSmooth);
  for (int m = 0; m < 2; ++m) {
    char what[64];
    snprintf(what, sizeof what, "26-connected labels (%s, %d parts)", names[m], count[m]);
    printf("%-34s %10.4f %10.4f %7.1fx\n", what, tLabel[m], sLabel[m], sLabel[m] / tLabel[m]);
  }
  return 0;
}
