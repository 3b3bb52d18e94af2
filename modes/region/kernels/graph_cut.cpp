#include "modes/region/kernels/graph_cut.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>

#include "modes/region/kernels/TFlowGraph.h"
#include "modes/region/kernels/TQueue.h"
#include "platform/Progress.h"

namespace {

constexpr double kHard = 1e9;

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Refuses a graph (plus `extra` bytes of per-run buffers) that cannot be addressed or does not
// fit in memory.
bool graphFits(std::int64_t nodes, std::int64_t arcs, std::int64_t extra, std::int64_t limit,
               std::string* refusal) {
  const std::int64_t avail = limit > 0 ? limit : t_availableMemoryBytes();
  const std::int64_t need = TFlowGraph::bytesNeeded(nodes, arcs) + nodes + extra;
  char text[400];
  if (!TFlowGraph::fits(nodes, arcs)) {
    std::snprintf(text, sizeof text,
                  "This volume is too large for the graph cut: its graph would have %lld nodes and "
                  "%lld arcs.\n",
                  (long long)nodes, (long long)arcs);
  } else if (avail > 0 && need > avail) {
    std::snprintf(text, sizeof text,
                  "This volume is too large for the graph cut: it needs %.2f GB of memory and "
                  "%.2f GB are available.\n",
                  need / 1e9, avail / 1e9);
  } else {
    return true;
  }
  std::fprintf(stderr, "%s", text);
  if (refusal) *refusal = text;
  return false;
}

// Face neighbours of voxel v, in the order x-1, y-1, z-1, x+1, y+1, z+1 (inside the volume).
template <class F>
void faceNeighboursLowFirst(int W, int H, int D, std::int64_t v, F f) {
  const std::int64_t slice = std::int64_t(W) * H;
  const int x = static_cast<int>(v % W), y = static_cast<int>((v / W) % H),
            z = static_cast<int>(v / slice);
  if (x > 0) f(v - 1);
  if (y > 0) f(v - W);
  if (z > 0) f(v - slice);
  if (x < W - 1) f(v + 1);
  if (y < H - 1) f(v + W);
  if (z < D - 1) f(v + slice);
}

float channelDistSq(const float* c1, const float* c2, const float* c3, std::int64_t u,
                    std::int64_t v) {
  float d = 0.0f;
  for (const float* c : {c1, c2, c3})
    if (c) {
      const float t = c[u] - c[v];
      d += t * t;
    }
  return d;
}

}  // namespace

void t_sortUnique(std::vector<int>& v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

namespace {
// Sorted, unique seed voxels inside the volume.
void cleanSeeds(std::vector<int>& seeds, std::int64_t N) {
  seeds.erase(std::remove_if(seeds.begin(), seeds.end(), [N](int v) { return v < 0 || v >= N; }),
              seeds.end());
  t_sortUnique(seeds);
}
}  // namespace

void t_gcutSeedVoxels(const std::vector<TGCutCtrlPoint>& points, const double extent[3], int W, int H,
                      int D, std::vector<int>& fore, std::vector<int>& back) {
  fore.clear();
  back.clear();
  const int size[3] = {W, H, D};
  for (const TGCutCtrlPoint& p : points) {
    const double c[3] = {p.x, p.y, p.z};
    int v[3];
    bool inside = true;
    for (int k = 0; k < 3; ++k) {
      if (!(c[k] >= 0.0 && c[k] <= extent[k]) || extent[k] <= 0.0) inside = false;
      const double t = std::clamp(c[k] / extent[k] * size[k], 0.0, double(size[k] - 1));
      v[k] = inside ? static_cast<int>(t) : 0;
    }
    if (!inside) continue;
    (p.fore ? fore : back).push_back(v[0] + W * (v[1] + H * v[2]));
  }
  t_sortUnique(fore);
  t_sortUnique(back);
}

void t_splitRegionBetweenSeeds(int W, int H, int D, int baseLabel, int f, int b,
                               std::vector<int>& labels) {
  const int L = labels[f];
  if (labels[b] != L || f == b) return;
  const std::int64_t slice = std::int64_t(W) * H;
  TQueue<int> backQ(1000, 40), foreQ(1000, 40);
  labels[b] = baseLabel + 1;
  backQ.push(b);
  labels[f] = baseLabel + 2;
  foreQ.push(f);
  auto step = [&](TQueue<int>& q, int label) {
    const int v = q.pop();
    const int x = v % W, y = static_cast<int>((v / W) % H), z = static_cast<int>(v / slice);
    auto visit = [&](std::int64_t u) {
      if (labels[u] == L) {
        labels[u] = label;
        q.push(static_cast<int>(u));
      }
    };
    if (x > 0) visit(v - 1);
    if (x < W - 1) visit(v + 1);
    if (y > 0) visit(v - W);
    if (y < H - 1) visit(v + W);
    if (z > 0) visit(v - slice);
    if (z < D - 1) visit(v + slice);
  };
  while (!backQ.isEmpty() || !foreQ.isEmpty()) {
    if (!backQ.isEmpty()) step(backQ, baseLabel + 1);
    if (!foreQ.isEmpty()) step(foreQ, baseLabel + 2);
  }
}

void t_keepSeedComponents(int W, int H, int D, const std::vector<int>& seeds, unsigned char* flags) {
  const std::int64_t n = std::int64_t(W) * H * D;
  TQueue<int> q(1000, 40);
  for (int s : seeds)
    if (s >= 0 && s < n && flags[s] == 255) {
      flags[s] = 254;
      q.push(s);
    }
  while (!q.isEmpty()) {
    const int v = q.pop();
    faceNeighboursLowFirst(W, H, D, v, [&](std::int64_t u) {
      if (flags[u] == 255) {
        flags[u] = 254;
        q.push(static_cast<int>(u));
      }
    });
  }
#pragma omp parallel for schedule(static)
  for (std::int64_t i = 0; i < n; ++i) {
    if (flags[i] == 254)
      flags[i] = 255;
    else if (flags[i] == 255)
      flags[i] = 1;
  }
}

bool t_graphCutRegionLevel(int W, int H, int D, double a, std::vector<int> fore,
                           std::vector<int> back, const float* c1, const float* c2, const float* c3,
                           TGCutPrecomp& pre, unsigned char* flags, std::string* refusal,
                           std::int64_t memoryLimit) {
  const auto t0 = std::chrono::steady_clock::now();
  const std::int64_t N = std::int64_t(W) * H * D;
  if (N <= 0 || static_cast<std::int64_t>(pre.labels.size()) != N ||
      pre.adjacency.size() != pre.regions.size()) {
    if (refusal) *refusal = "The watershed pre-segmentation does not match this volume.\n";
    return false;
  }
  cleanSeeds(fore, N);
  cleanSeeds(back, N);
  std::vector<int>& labels = pre.labels;

  std::int64_t R = static_cast<std::int64_t>(pre.regions.size());
  t_progressStart(8, 0);
  int nextBase = static_cast<int>(R) - 1;
  bool split = false;
  for (int f : fore)
    for (int b : back)
      if (labels[f] == labels[b] && f != b) {
        t_splitRegionBetweenSeeds(W, H, D, nextBase, f, b, labels);
        nextBase += 2;
        split = true;
      }
  if (split) {
    t_buildRegionsAndAdjacency(W, H, D, c1, c2, c3, labels, pre.regions, pre.adjacency);
    t_markTargetRegions(flags, pre.regions);
  }
  std::vector<TGCutRegion>& regions = pre.regions;
  R = static_cast<std::int64_t>(regions.size());
  std::int64_t pairs = 0;
  for (const std::vector<int>& s : pre.adjacency) pairs += static_cast<std::int64_t>(s.size());
  // Refused after the splits: they stay, as they would after a cut, and the flags are untouched.
  if (!graphFits(R + 2, 2 * (R + pairs), 16 * R, memoryLimit, refusal)) {
    t_progressEnd();
    return false;
  }

  std::vector<int> foreRegions, backRegions;
  for (int f : fore) foreRegions.push_back(labels[f]);
  for (int b : back) backRegions.push_back(labels[b]);
  t_sortUnique(foreRegions);
  t_sortUnique(backRegions);

  // Data term from the nearest seed-region colour.
  std::vector<double> cs(R), ct(R);
  auto nearestSq = [&](const TGCutRegion& r, const std::vector<int>& list) {
    float best = 1e9f;
    for (int s : list) {
      float d = 0.0f;
      for (int c = 0; c < 3; ++c) {
        const float t = r.mean[c] - regions[s].mean[c];
        d += t * t;
      }
      best = std::min(best, d);
    }
    return best;
  };
#pragma omp parallel for schedule(static)
  for (std::int64_t r = 0; r < R; ++r) {
    if (!regions[r].inTarget) {
      cs[r] = 0.0;
      ct[r] = kHard;
      continue;
    }
    const float dF = std::sqrt(nearestSq(regions[r], foreRegions));
    const float dB = std::sqrt(nearestSq(regions[r], backRegions));
    if (dF == 0.0f && dB == 0.0f) {
      cs[r] = ct[r] = 0.5;
    } else {
      cs[r] = double(dB) / (double(dF) + double(dB));
      ct[r] = double(dF) / (double(dF) + double(dB));
    }
  }
  for (int r : foreRegions)
    if (regions[r].inTarget) cs[r] = kHard, ct[r] = 0.0;
  for (int r : backRegions)
    if (regions[r].inTarget) cs[r] = 0.0, ct[r] = kHard;

  TFlowGraph g(R + 2, 2 * (R + pairs), R, R + 1);
  for (std::int64_t r = 0; r < R; ++r) g.addTerminalEdges(R, R + 1, r, cs[r], ct[r]);
  for (std::int64_t r = 0; r < R; ++r) {
    if (!regions[r].inTarget) continue;
    for (int s : pre.adjacency[r]) {
      if (s <= r || !regions[s].inTarget) continue;
      float d2 = 0.0f;
      for (int c = 0; c < 3; ++c) {
        const float t = regions[r].mean[c] - regions[s].mean[c];
        d2 += t * t;
      }
      g.addEdge(r, s, a / (double(d2) + 1.0));
    }
  }
  std::vector<unsigned char> side(R + 2);
  g.maxFlow(R, R + 1, side.data());
  std::fprintf(stderr, "Pro%d  ", 80);
  t_progressStep(80);
  for (std::int64_t r = 0; r < R; ++r) regions[r].sourceSide = side[r];

#pragma omp parallel for schedule(static)
  for (std::int64_t i = 0; i < N; ++i)
    if (flags[i]) flags[i] = side[labels[i]] ? 255 : 1;
  t_keepSeedComponents(W, H, D, fore, flags);
  t_progressEnd();
  std::fprintf(stderr, "done %.10f \n", seconds(t0));
  return true;
}

bool t_graphCutVoxelLevel(int W, int H, int D, int s, double a, const float* c1, const float* c2,
                          const float* c3, unsigned char* flags, std::string* refusal,
                          std::int64_t memoryLimit) {
  const auto t0 = std::chrono::steady_clock::now();
  std::fprintf(stderr, "calc Grpah cut...\n");
  const std::int64_t slice = std::int64_t(W) * H, N = slice * D;
  if (N <= 0) return true;

  // Band: the cube of half-width s around every extracted voxel that touches a voxel <= 1.
  std::vector<unsigned char> inBand(static_cast<size_t>(N), 0);
  auto touchesOutside = [&](std::int64_t v) {
    return flags[v - 1] <= 1 || flags[v + 1] <= 1 || flags[v - W] <= 1 || flags[v + W] <= 1 ||
           flags[v - slice] <= 1 || flags[v + slice] <= 1;
  };
  for (int z = 1; z < D - 1; ++z)
    for (int y = 1; y < H - 1; ++y)
      for (int x = 1; x < W - 1; ++x) {
        const std::int64_t v = x + W * (y + std::int64_t(H) * z);
        if (flags[v] != 255 || !touchesOutside(v)) continue;
        for (int zz = std::max(0, z - s); zz <= std::min(D - 1, z + s); ++zz)
          for (int yy = std::max(0, y - s); yy <= std::min(H - 1, y + s); ++yy)
            for (int xx = std::max(0, x - s); xx <= std::min(W - 1, x + s); ++xx)
              inBand[xx + W * (yy + std::int64_t(H) * zz)] = 1;
      }
  std::int64_t n = 0;
  for (std::int64_t v = 0; v < N; ++v) n += inBand[v];
  // Node numbers are 32-bit in the index volume.  Per-run buffers: the index volume (4 bytes a
  // voxel) and the band voxel list (8 bytes a node).
  const std::int64_t nodes = n + 2 > std::int64_t(INT32_MAX) ? std::int64_t(TFlowGraph::kNone) : n + 2;
  if (!graphFits(nodes, 8 * n, 4 * N + 8 * n, memoryLimit, refusal)) return false;

  // Node index: -1 extracted, -2 other, else the band node's number (voxel order).
  std::vector<std::int32_t> index(static_cast<size_t>(N));
  std::vector<std::int64_t> bandVoxel;
  bandVoxel.reserve(static_cast<size_t>(n));
  for (std::int64_t v = 0; v < N; ++v) {
    if (inBand[v]) {
      index[v] = static_cast<std::int32_t>(bandVoxel.size());
      bandVoxel.push_back(v);
    } else {
      index[v] = flags[v] == 255 ? -1 : -2;
    }
  }
  inBand.clear();
  inBand.shrink_to_fit();

  TFlowGraph g(n + 2, 8 * n, n, n + 1);
  for (std::int64_t k = 0; k < n; ++k) {
    const std::int64_t v = bandVoxel[k];
    int t = 0;
    faceNeighboursLowFirst(W, H, D, v, [&](std::int64_t u) {
      if (index[u] < 0) t = index[u];
    });
    if (t == -1)
      g.addTerminalEdges(n, n + 1, k, kHard, 0.0);
    else if (t == -2)
      g.addTerminalEdges(n, n + 1, k, 0.0, kHard);
    else
      g.addTerminalEdges(n, n + 1, k, 1.0, 1.0);
    const int x = static_cast<int>(v % W), y = static_cast<int>((v / W) % H),
              z = static_cast<int>(v / slice);
    auto link = [&](std::int64_t u) {
      if (index[u] >= 0) g.addEdge(k, index[u], a / (double(channelDistSq(c1, c2, c3, v, u)) + 1.0));
    };
    if (x + 1 < W) link(v + 1);
    if (y + 1 < H) link(v + W);
    if (z + 1 < D) link(v + slice);
  }
  std::vector<unsigned char> side(static_cast<size_t>(n) + 2);
  g.maxFlow(n, n + 1, side.data());

#pragma omp parallel for schedule(static)
  for (std::int64_t v = 0; v < N; ++v) {
    if (!flags[v]) continue;
    const std::int32_t i = index[v];
    flags[v] = i == -1 ? 255 : i == -2 ? 1 : (side[i] ? 255 : 1);
  }
  std::fprintf(stderr, "done %.10f \n", seconds(t0));
  return true;
}

bool t_graphCutWholeVolume(int W, int H, int D, double a, std::vector<int> fore,
                           std::vector<int> back, const float* c1, unsigned char* flags,
                           std::string* refusal, std::int64_t memoryLimit) {
  const auto t0 = std::chrono::steady_clock::now();
  const std::int64_t slice = std::int64_t(W) * H, N = slice * D;
  if (N <= 0) return true;
  cleanSeeds(fore, N);
  cleanSeeds(back, N);
  // terminal capacities (2 x 4 bytes per voxel) and the breadth-first search's marks
  if (!graphFits(N + 2, 8 * N, 9 * N, memoryLimit, refusal)) return false;

  // Nearest seed value by binary search over the sorted seed values.
  auto sortedValues = [&](const std::vector<int>& seeds) {
    std::vector<float> v;
    for (int s : seeds) v.push_back(c1[s]);
    std::sort(v.begin(), v.end());
    return v;
  };
  const std::vector<float> fv = sortedValues(fore), bv = sortedValues(back);
  auto nearest = [](const std::vector<float>& vals, float x) {
    float best = 1e6f;
    auto it = std::lower_bound(vals.begin(), vals.end(), x);
    if (it != vals.end()) best = std::min(best, std::fabs(x - *it));
    if (it != vals.begin()) best = std::min(best, std::fabs(x - *(it - 1)));
    return best;
  };
  std::vector<float> cs(static_cast<size_t>(N)), ct(static_cast<size_t>(N));
#pragma omp parallel for schedule(static)
  for (std::int64_t v = 0; v < N; ++v) {
    const float dF = nearest(fv, c1[v]), dB = nearest(bv, c1[v]);
    if (dF == 0.0f && dB == 0.0f) {
      cs[v] = ct[v] = 0.5f;
    } else {
      cs[v] = dB / (dF + dB);
      ct[v] = dF / (dF + dB);
    }
  }
  for (int f : fore) cs[f] = float(kHard), ct[f] = 0.0f;
  for (int b : back) cs[b] = 0.0f, ct[b] = float(kHard);

  std::vector<unsigned char> side(static_cast<size_t>(N) + 2);
  {
    TFlowGraph g(N + 2, 8 * N, N, N + 1);
    std::int64_t v = 0;
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x, ++v) {
          g.addTerminalEdges(N, N + 1, v, cs[v], ct[v]);
          auto link = [&](std::int64_t u) {
            const double d = double(c1[v]) - double(c1[u]);
            g.addEdge(v, u, a / (d * d + 1.0));
          };
          if (x + 1 < W) link(v + 1);
          if (y + 1 < H) link(v + W);
          if (z + 1 < D) link(v + slice);
        }
    cs.clear();
    cs.shrink_to_fit();
    ct.clear();
    ct.shrink_to_fit();
    g.maxFlow(N, N + 1, side.data());
  }

  // The source-side part face-connected to a foreground seed.
  std::vector<unsigned char> connected(static_cast<size_t>(N), 0);
  TQueue<std::int64_t> q(1000, 40);
  for (int f : fore)
    if (side[f] && !connected[f]) {
      connected[f] = 1;
      q.push(f);
    }
  while (!q.isEmpty()) {
    const std::int64_t v = q.pop();
    faceNeighboursLowFirst(W, H, D, v, [&](std::int64_t u) {
      if (side[u] && !connected[u]) {
        connected[u] = 1;
        q.push(u);
      }
    });
  }
#pragma omp parallel for schedule(static)
  for (std::int64_t v = 0; v < N; ++v)
    if (flags[v]) flags[v] = connected[v] ? 255 : 1;
  std::fprintf(stderr, "done %.10f \n", seconds(t0));
  return true;
}
