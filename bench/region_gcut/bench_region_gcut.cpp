// Graph-cut engine figures, each beside its reference in the same run:
//  - max-flow on the 6-connected grid graph of a noisy ball at 128^3 and 256^3, with libmaxflow
//    (Debian libmaxflow-dev) solving the same graph;
//  - the watershed pre-segmentation of a noisy volume, with skimage.segmentation.watershed
//    (Debian's /usr/bin/python3) on the same quantised levels, markers and connectivity;
//  - memory per voxel of the region graph (labels, region records, adjacency).
//
// Usage: bench_region_gcut [flow sizes...] [--ws N] [--skimage N]
//   defaults: flow 128 256, watershed 256, skimage at the watershed size (0: no skimage run);
//   flow sizes "0" alone skip the max-flow part.
#include <fcntl.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifdef KESTRIN_HAVE_LIBMAXFLOW
#include <maxflow/graph.h>
#endif

#include "modes/region/kernels/TFlowGraph.h"
#include "modes/region/kernels/gcut_precompute.h"
#include "modes/region/kernels/graph_cut.h"
#include "modes/region/kernels/watershed.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The console traces of the kernels go to /dev/null while they are timed.
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
void writeRawFile(const std::string& path, const std::vector<T>& v) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(v.data()), std::streamsize(v.size() * sizeof(T)));
}

// Noisy ball: 1 inside a ball of radius n/3, 0 outside, plus Gaussian noise.
std::vector<float> noisyBall(int n, double sigma, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(0.0f, float(sigma));
  std::vector<float> v(size_t(n) * n * n);
  const double c = (n - 1) / 2.0, r = n / 3.0;
  size_t i = 0;
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x, ++i) {
        const double d2 = (x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c);
        v[i] = (d2 < r * r ? 1.0f : 0.0f) + noise(rng);
      }
  return v;
}

// Terminal weights |v - 0| and |v - 1|; neighbour weights a / (1 + d^2) as in the voxel cut.
struct GridWeights {
  int n;
  std::vector<float> v;
  double a = 0.5;
  double cs(size_t i) const { return std::fabs(v[i] - 0.0); }
  double ct(size_t i) const { return std::fabs(v[i] - 1.0); }
  double w(size_t i, size_t j) const {
    const double d = double(v[i]) - double(v[j]);
    return a / (1.0 + 16.0 * d * d);
  }
  template <class F>
  void forEachEdge(F f) const {
    const size_t nn = size_t(n) * n;
    size_t i = 0;
    for (int z = 0; z < n; ++z)
      for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x, ++i) {
          if (x + 1 < n) f(i, i + 1);
          if (y + 1 < n) f(i, i + n);
          if (z + 1 < n) f(i, i + nn);
        }
  }
};

void benchFlow(int n) {
  GridWeights gw{n, noisyBall(n, 0.6, 7u + n)};
  const std::int64_t N = std::int64_t(n) * n * n;
  const std::int64_t edges = 3 * (std::int64_t(n) - 1) * n * n;
  std::printf("max-flow, 6-connected grid of a noisy ball, %d^3 (%lld nodes, %lld edges)\n", n,
              (long long)N, (long long)edges);

  // Each solver runs `reps` times, alternating, and its best times count (the machine is shared).
  const int reps = 2;
  double oursBuild = 1e30, oursSolve = 1e30, oursFlow = 0;
  std::int64_t oursSource = 0;
#ifdef KESTRIN_HAVE_LIBMAXFLOW
  double refBuild = 1e30, refSolve = 1e30, refFlow = 0;
  std::int64_t refSource = 0;
#endif
  for (int rep = 0; rep < reps; ++rep) {
    {
      QuietStderr quiet;
      const double t0 = now();
      TFlowGraph g(N + 2, 2 * (N + edges), N, N + 1);
      for (std::int64_t i = 0; i < N; ++i) g.addTerminalEdges(N, N + 1, i, gw.cs(i), gw.ct(i));
      gw.forEachEdge([&](size_t i, size_t j) { g.addEdge(i, j, gw.w(i, j)); });
      const double t1 = now();
      std::vector<unsigned char> side(N + 2);
      oursFlow = g.maxFlow(N, N + 1, side.data());
      const double t2 = now();
      oursBuild = std::min(oursBuild, t1 - t0);
      oursSolve = std::min(oursSolve, t2 - t1);
      oursSource = 0;
      for (std::int64_t i = 0; i < N; ++i) oursSource += side[i];
    }
#ifdef KESTRIN_HAVE_LIBMAXFLOW
    {
      using G = maxflow::Graph<double, double, double>;
      const double t0 = now();
      G g(static_cast<int>(N), static_cast<int>(edges));
      g.add_node(int(N));
      for (std::int64_t i = 0; i < N; ++i) g.add_tweights(int(i), gw.cs(i), gw.ct(i));
      gw.forEachEdge([&](size_t i, size_t j) { g.add_edge(int(i), int(j), gw.w(i, j), gw.w(i, j)); });
      const double t1 = now();
      refFlow = g.maxflow();
      const double t2 = now();
      refBuild = std::min(refBuild, t1 - t0);
      refSolve = std::min(refSolve, t2 - t1);
      refSource = 0;
      for (std::int64_t i = 0; i < N; ++i) refSource += g.what_segment(int(i), G::SINK) == G::SOURCE;
    }
#endif
  }
  std::printf("  TFlowGraph : build %.3f s, maxflow %.3f s, flow %.6f, source side %lld voxels\n",
              oursBuild, oursSolve, oursFlow, (long long)oursSource);
  std::printf("  TFlowGraph memory: %.1f bytes per node\n",
              double(TFlowGraph::bytesNeeded(N + 2, 2 * (N + edges))) / double(N));
#ifdef KESTRIN_HAVE_LIBMAXFLOW
  std::printf("  libmaxflow : build %.3f s, maxflow %.3f s, flow %.6f, source side %lld voxels\n",
              refBuild, refSolve, refFlow, (long long)refSource);
  std::printf("  ratio TFlowGraph / libmaxflow (reference: libmaxflow 3.0, Debian libmaxflow-dev; best "
              "of %d runs each): maxflow %.2fx, build + maxflow %.2fx; flow difference %.3g\n",
              reps, oursSolve / refSolve, (oursBuild + oursSolve) / (refBuild + refSolve), oursFlow - refFlow);
#else
  std::printf("  libmaxflow not available: no reference\n");
#endif
}

// Gradient magnitude by central differences (one-sided at the border).
std::vector<float> gradientMagnitude(const std::vector<float>& v, int n) {
  std::vector<float> g(v.size());
  const size_t s[3] = {1, size_t(n), size_t(n) * n};
#pragma omp parallel for schedule(static)
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const int c[3] = {x, y, z};
        const size_t i = (size_t(z) * n + y) * n + x;
        double sum = 0;
        for (int k = 0; k < 3; ++k) {
          const size_t lo = c[k] > 0 ? i - s[k] : i, hi = c[k] < n - 1 ? i + s[k] : i;
          const double d = (double(v[hi]) - double(v[lo])) / ((hi - lo) / s[k]);
          sum += d * d;
        }
        g[i] = float(std::sqrt(sum));
      }
  return g;
}

size_t regionGraphBytes(const TGCutPrecomp& p) {
  size_t b = p.labels.size() * sizeof(int) + p.regions.size() * sizeof(TGCutRegion) +
             p.adjacency.size() * sizeof(std::vector<int>);
  for (const TGCutRegion& r : p.regions) b += r.voxels.capacity() * sizeof(int);
  for (const std::vector<int>& a : p.adjacency) b += a.capacity() * sizeof(int);
  return b;
}

double watershedOnce(int n, const std::vector<float>& grad, std::vector<int>& labels) {
  QuietStderr quiet;
  const double t0 = now();
  t_calcWatershedBySlabs(n, n, n, grad.data(), 1000.0f, labels);
  return now() - t0;
}

void benchWatershed(int n, int skN) {
  const std::vector<float> vol = noisyBall(n, 0.15, 3u + n);
  const std::vector<float> grad = gradientMagnitude(vol, n);
  const size_t N = vol.size();
  const int threads = omp_get_max_threads();
  std::printf("watershed pre-segmentation, noisy ball %d^3 (gradient magnitude x 1000 as levels)\n", n);
  std::vector<int> labels;
  const double tPar = watershedOnce(n, grad, labels);
  int basins = 0;
  for (int l : labels) basins = std::max(basins, l);
  omp_set_num_threads(1);
  const double tOne = watershedOnce(n, grad, labels);
  omp_set_num_threads(threads);
  std::printf("  slab watershed: %.3f s with %d threads, %.3f s with 1 thread; %d basins\n", tPar,
              threads, tOne, basins);

  TGCutPrecomputeInput in;
  in.W = in.H = in.D = n;
  in.gradient = grad;
  in.c1 = vol;
  TGCutPrecomp pre;
  double tPipe;
  {
    QuietStderr quiet;
    const double t0 = now();
    t_precomputeGCut(in, pre);
    tPipe = now() - t0;
  }
  std::int64_t pairs = 0;
  for (const auto& a : pre.adjacency) pairs += std::int64_t(a.size());
  const double R = double(pre.regions.size());
  std::printf("  whole pre-segmentation (watershed, compaction, absorption, regions): %.3f s, %zu regions, "
              "%lld adjacent pairs\n", tPipe, pre.regions.size(), (long long)pairs);
  std::printf("  memory of the region graph: %.2f bytes per voxel (labels 4, voxel lists 4, records and "
              "adjacency %.2f); its flow graph %.2f bytes per voxel\n",
              double(regionGraphBytes(pre)) / N, double(regionGraphBytes(pre)) / N - 8.0,
              double(TFlowGraph::bytesNeeded(std::int64_t(R) + 2, 2 * (std::int64_t(R) + pairs))) / N);
  {
    std::vector<unsigned char> flags(N, 1);
    const int c = n / 2;
    const std::vector<int> fore{c + n * (c + n * c)}, back{0, n - 1};
    double t;
    {
      QuietStderr quiet;
      const double t0 = now();
      t_graphCutRegionLevel(n, n, n, 1.0, fore, back, vol.data(), nullptr, nullptr, pre, flags.data());
      t = now() - t0;
    }
    size_t fg = 0;
    for (unsigned char f : flags) fg += f == 255;
    std::printf("  region-level cut (a = 1): %.3f s, %zu voxels extracted\n", t, fg);
  }

  if (skN <= 0) return;
  const int m = skN;
  const std::vector<float> volS = m == n ? vol : noisyBall(m, 0.15, 3u + m);
  const std::vector<float> gradS = m == n ? grad : gradientMagnitude(volS, m);
  std::vector<int> labS;
  const double ours = watershedOnce(m, gradS, labS);
  const size_t M = gradS.size();
  std::vector<std::uint16_t> levels(M);
  int maxL = 0;
  for (size_t i = 0; i < M; ++i) {
    levels[i] = t_watershedLevel(gradS[i], 1000.0f);
    maxL = std::max(maxL, labS[i]);
  }
  std::vector<int> lowest(size_t(maxL) + 1, 1 << 30), markers(M, 0);
  for (size_t i = 0; i < M; ++i)
    if (labS[i] > 0) lowest[labS[i]] = std::min<int>(lowest[labS[i]], levels[i]);
  for (size_t i = 0; i < M; ++i)
    if (labS[i] > 0 && levels[i] == lowest[labS[i]]) markers[i] = labS[i];
  char dirT[] = "/tmp/kestrin_bench_wsXXXXXX";
  if (!mkdtemp(dirT)) return;
  const std::string dir = dirT;
  writeRawFile(dir + "/levels.u16", levels);
  writeRawFile(dir + "/markers.i32", markers);
  writeRawFile(dir + "/ours.i32", labS);
  const std::string cmd = std::string("/usr/bin/python3 ") + KESTRIN_BENCH_SCRIPT + " " +
                          std::to_string(m) + " " + std::to_string(m) + " " + std::to_string(m) + " " +
                          dir + "/levels.u16 " + dir + "/markers.i32 " + dir + "/ours.i32";
  FILE* p = popen(cmd.c_str(), "r");
  double sk = -1, ari = -1;
  if (p) {
    if (std::fscanf(p, "skimage_watershed %lf ari %lf", &sk, &ari) < 1) sk = -1;
    pclose(p);
  }
  std::system(("rm -rf '" + dir + "'").c_str());
  if (sk < 0) {
    std::printf("  skimage.segmentation.watershed not available (/usr/bin/python3): no reference\n");
    return;
  }
  std::printf("  at %d^3, same levels and markers (each basin's lowest voxels), 26-connectivity:\n", m);
  std::printf("    slab watershed %.3f s, skimage.segmentation.watershed %.3f s: ours is %.1fx faster "
              "(reference: scikit-image, Debian python3-skimage); adjusted Rand index %.4f\n",
              ours, sk, sk / ours, ari);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> flowSizes;
  int wsSize = 256, skSize = -1;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--ws") && i + 1 < argc)
      wsSize = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--skimage") && i + 1 < argc)
      skSize = std::atoi(argv[++i]);
    else
      flowSizes.push_back(std::atoi(argv[i]));
  }
  if (flowSizes.empty()) flowSizes = {128, 256};
  if (skSize < 0) skSize = wsSize;
  for (int n : flowSizes)
    if (n > 1) benchFlow(n);
  if (wsSize > 1) benchWatershed(wsSize, skSize);
  return 0;
}
