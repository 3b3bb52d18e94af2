#include "modes/region/kernels/watershed.h"

#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/Progress.h"

namespace {

int floorLog2(unsigned v) {
  int r = -1;
  while (v) {
    v >>= 1;
    ++r;
  }
  return r;
}

// Flooding of one slab: the voxel records, the voxel order by level and a FIFO of voxel indices
// that never holds more than every voxel plus the level marker.
class SlabFlood {
 public:
  SlabFlood(int W, int H, int depth) : m_W(W), m_H(H), m_D(depth) {
    m_n = std::int64_t(W) * H * depth;
    m_nodes.resize(static_cast<size_t>(m_n));
    m_order.resize(static_cast<size_t>(m_n));
    m_fifo.resize(static_cast<size_t>(m_n) + 2);
    int k = 0;
    for (int dz = -1; dz <= 1; ++dz)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          if (!dx && !dy && !dz) continue;
          m_dx[k] = dx;
          m_dy[k] = dy;
          m_dz[k] = dz;
          m_off[k] = (std::int64_t(dz) * H + dy) * W + dx;
          ++k;
        }
  }

  // Levels, INIT labels and the order by level (counting sort: equal levels in voxel order).
  void setValues(const float* values, float scale) {
    std::vector<std::int64_t> count(kWsMaxLevel + 2, 0);
    std::int64_t i = 0;
    for (int z = 0; z < m_D; ++z)
      for (int y = 0; y < m_H; ++y)
        for (int x = 0; x < m_W; ++x, ++i) {
          TWatershedNode& nd = m_nodes[i];
          nd.level = t_watershedLevel(values[i], scale);
          nd.label = kWsInit;
          nd.dist = 0;
          nd.border = x == 0 || y == 0 || z == 0 || x == m_W - 1 || y == m_H - 1 || z == m_D - 1;
          ++count[nd.level + 1];
        }
    for (int h = 1; h <= kWsMaxLevel + 1; ++h) count[h] += count[h - 1];
    m_levelStart.assign(count.begin(), count.end());
    for (std::int64_t i = 0; i < m_n; ++i) m_order[count[m_nodes[i].level]++] = static_cast<std::int32_t>(i);
  }

  // Returns the largest label, or -1 when stopped.  onLevels(k) is told of every k levels done.
  template <class Progress>
  int flood(const std::atomic<bool>* stop, Progress onLevels) {
    int curLabel = 0;
    for (int h = 0; h <= kWsMaxLevel; ++h) {
      if (h % 30 == 0) {
        if (stop && stop->load(std::memory_order_relaxed)) return -1;
        if (h) onLevels(30);
      }
      const std::int64_t b = m_levelStart[h], e = m_levelStart[h + 1];
      if (b == e) continue;
      // 1. The level's voxels become MASK; those next to a labelled or line voxel start the
      //    distance flood.
      for (std::int64_t k = b; k < e; ++k) {
        const std::int64_t p = m_order[k];
        m_nodes[p].label = kWsMask;
        if (anyNeighbour(p, [&](std::int64_t q) { return m_nodes[q].label >= 0; })) {
          m_nodes[p].dist = 1;
          push(p);
        }
      }
      // 2. Breadth-first by distance: each voxel takes the label of its labelled neighbours
      //    (or becomes a line voxel between two basins).
      int curDist = 1;
      push(kMarker);
      for (;;) {
        std::int64_t p = pop();
        if (p == kMarker) {
          if (empty()) break;
          push(kMarker);
          ++curDist;
          p = pop();
        }
        TWatershedNode& np = m_nodes[p];
        bool lineSeen = false;
        forNeighbours(p, [&](std::int64_t q) {
          TWatershedNode& nq = m_nodes[q];
          if (nq.label == kWsMask && nq.dist == 0) {
            nq.dist = curDist + 1;
            push(q);
          } else if (nq.dist <= curDist) {
            if (nq.label == kWsLine) {
              lineSeen = true;
            } else if (nq.label >= 1) {
              if (np.label == kWsMask)
                np.label = nq.label;
              else if (np.label != nq.label)
                np.label = kWsLine;
            }
          }
        });
        if (np.label == kWsMask && lineSeen) np.label = kWsLine;
      }
      // 3. Voxels still MASK are new minima: each starts a basin that floods its MASK plateau.
      for (std::int64_t k = b; k < e; ++k) {
        const std::int64_t p = m_order[k];
        m_nodes[p].dist = 0;
        if (m_nodes[p].label != kWsMask) continue;
        m_nodes[p].label = ++curLabel;
        push(p);
        while (!empty()) {
          const std::int64_t r = pop();
          forNeighbours(r, [&](std::int64_t q) {
            if (m_nodes[q].label == kWsMask) {
              m_nodes[q].label = curLabel;
              push(q);
            }
          });
        }
      }
    }
    onLevels(kWsMaxLevel + 1 - 30 * (kWsMaxLevel / 30));
    return curLabel;
  }

  void copyLabels(int* out) const {
    for (std::int64_t i = 0; i < m_n; ++i) out[i] = m_nodes[i].label;
  }

 private:
  static constexpr std::int64_t kMarker = -1;

  // The 26 neighbours inside the slab, in the order dz, dy, dx = -1 ... 1 (x fastest).
  template <class F>
  void forNeighbours(std::int64_t p, F f) const {
    if (!m_nodes[p].border) {
      for (int k = 0; k < 26; ++k) f(p + m_off[k]);
      return;
    }
    const int x = static_cast<int>(p % m_W);
    const std::int64_t yz = p / m_W;
    const int y = static_cast<int>(yz % m_H);
    const int z = static_cast<int>(yz / m_H);
    for (int k = 0; k < 26; ++k) {
      const int xx = x + m_dx[k], yy = y + m_dy[k], zz = z + m_dz[k];
      if (xx < 0 || yy < 0 || zz < 0 || xx >= m_W || yy >= m_H || zz >= m_D) continue;
      f(p + m_off[k]);
    }
  }
  // Whether pred holds for one of the 26 neighbours (stops at the first).
  template <class F>
  bool anyNeighbour(std::int64_t p, F pred) const {
    if (!m_nodes[p].border) {
      for (int k = 0; k < 26; ++k)
        if (pred(p + m_off[k])) return true;
      return false;
    }
    bool found = false;
    forNeighbours(p, [&](std::int64_t q) { found = found || pred(q); });
    return found;
  }
  void push(std::int64_t v) {
    m_fifo[m_tail] = static_cast<std::int32_t>(v);
    if (++m_tail == static_cast<std::int64_t>(m_fifo.size())) m_tail = 0;
  }
  std::int64_t pop() {
    const std::int64_t v = m_fifo[m_head];
    if (++m_head == static_cast<std::int64_t>(m_fifo.size())) m_head = 0;
    return v;
  }
  bool empty() const { return m_head == m_tail; }

  int m_W, m_H, m_D;
  std::int64_t m_n = 0;
  std::vector<TWatershedNode> m_nodes;
  // A slab holds fewer than 2^25 voxels (see t_watershedSlabDepth): 32-bit positions suffice.
  std::vector<std::int32_t> m_order, m_fifo;
  std::vector<std::int64_t> m_levelStart;
  std::int64_t m_head = 0, m_tail = 0;
  int m_dx[26], m_dy[26], m_dz[26];
  std::int64_t m_off[26];
};

}  // namespace

const char* t_watershedStatusText(TWatershedStatus status) {
  switch (status) {
    case TWatershedStatus::TooBig:
      return "this volume is too big to compute water shed !\n";
    case TWatershedStatus::NoBasin:
      return "No watershed region remains in this volume (every basin is a single voxel).\n"
             "Graph cut cannot be used on it.\n";
    default:
      return "";
  }
}

int t_watershedSlabDepth(int W, int H) {
  if (W < 1 || H < 1) return 0;
  const int a = floorLog2(static_cast<unsigned>(W)), b = floorLog2(static_cast<unsigned>(H));
  if (a + b > 23) return 0;
  // Slices of more than 2^21 voxels (a + b = 22 or 23) are flooded one slice per slab.
  return a + b >= 21 ? 1 : 1 << (21 - a - b);
}

std::uint16_t t_watershedLevel(float value, float scale) {
  const float v = scale * value;
  if (!(v >= 1.0f)) return 0;  // negative, below one step, or not a number
  if (v >= float(kWsMaxLevel)) return kWsMaxLevel;
  return static_cast<std::uint16_t>(static_cast<int>(v));
}

int t_watershed3D(int W, int H, int depth, const float* values, float scale, int* labels,
                  const std::atomic<bool>* stop) {
  SlabFlood slab(W, H, depth);
  slab.setValues(values, scale);
  const int maxLabel = slab.flood(stop, [](int) {});
  if (maxLabel >= 0) slab.copyLabels(labels);
  return maxLabel;
}

TWatershedStatus t_calcWatershedBySlabs(int W, int H, int D, const float* values, float scale,
                                        std::vector<int>& labels, const std::atomic<bool>* stop) {
  t_progressStart(6, 0);
  const int depthStep = t_watershedSlabDepth(W, H);
  if (depthStep == 0 || D < 1) {
    t_progressEnd();
    return TWatershedStatus::TooBig;
  }
  const int numIter = (D + depthStep - 1) / depthStep;
  std::fprintf(stderr, "calc water shed size(%d %d %d) depthStep=%d numIter=%d\n",
               floorLog2(static_cast<unsigned>(W)), floorLog2(static_cast<unsigned>(H)),
               floorLog2(static_cast<unsigned>(D)), depthStep, numIter);

  const std::int64_t slice = std::int64_t(W) * H;
  std::vector<int> out(static_cast<size_t>(slice * D));
  std::vector<int> largest(numIter, 0);
  // Progress in flooding levels over all slabs, posted only when the percentage grows.
  const std::int64_t totalLevels = std::int64_t(kWsMaxLevel + 1) * numIter;
  std::int64_t doneLevels = 0;
  int posted = -1, slabsDone = 0;
  std::mutex progressLock;
  auto report = [&](int levels, bool slabEnd) {
    std::lock_guard<std::mutex> lock(progressLock);
    doneLevels += levels;
    if (slabEnd) {
      ++slabsDone;
      std::fprintf(stderr, "%f done\n", double(slabsDone) / numIter * 100.0);
    }
    const int pct = static_cast<int>(doneLevels * 100 / totalLevels);
    if (pct > posted) {
      posted = pct;
      t_progressStep(pct);
    }
  };
  bool stopped = false;
  const int threads = std::max(1, std::min(numIter, omp_get_max_threads()));
#pragma omp parallel for schedule(dynamic, 1) reduction(|| : stopped) num_threads(threads)
  for (int k = 0; k < numIter; ++k) {
    if (stopped || (stop && stop->load())) {
      stopped = true;
      continue;
    }
    const int depth = k == numIter - 1 ? D - k * depthStep : depthStep;
    const std::int64_t first = slice * k * depthStep;
    SlabFlood slab(W, H, depth);
    slab.setValues(values + first, scale);
    const int maxLabel = slab.flood(stop, [&](int levels) { report(levels, false); });
    if (maxLabel < 0) {
      stopped = true;
      continue;
    }
    slab.copyLabels(out.data() + first);
    largest[k] = maxLabel;
    report(0, true);
  }
  if (stopped) {
    t_progressEnd();
    return TWatershedStatus::Stopped;
  }
  // Merge: every slab's basins follow the largest label of the slabs before it.
  std::vector<std::int64_t> offset(numIter, 0);
  for (int k = 1; k < numIter; ++k) offset[k] = offset[k - 1] + largest[k - 1];
  if (offset.back() + largest.back() > INT32_MAX) {
    t_progressEnd();
    return TWatershedStatus::TooBig;
  }
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int k = 0; k < numIter; ++k) {
    const int depth = k == numIter - 1 ? D - k * depthStep : depthStep;
    int* p = out.data() + slice * k * depthStep;
    const int add = static_cast<int>(offset[k]);
    for (std::int64_t i = 0; i < slice * depth; ++i)
      if (p[i] != 0) p[i] += add;
  }
  labels.swap(out);
  t_progressEnd();
  return TWatershedStatus::Ok;
}

int t_compactLabels(std::vector<int>& labels) {
  int maxLabel = 0;
  for (int l : labels) maxLabel = std::max(maxLabel, l);
  std::vector<std::int64_t> count(static_cast<size_t>(maxLabel) + 1, 0);
  for (int l : labels)
    if (l >= 1) ++count[l];
  std::vector<int> renum(static_cast<size_t>(maxLabel) + 1, 0);
  int next = 0;
  for (int l = 1; l <= maxLabel; ++l) renum[l] = count[l] > 1 ? ++next : 0;
  const std::int64_t n = static_cast<std::int64_t>(labels.size());
#pragma omp parallel for schedule(static)
  for (std::int64_t i = 0; i < n; ++i)
    if (labels[i] >= 1) labels[i] = renum[labels[i]];
  return next;
}

void t_absorbWatershedLines(int W, int H, int D, const float* c1, const float* c2, const float* c3,
                            std::vector<int>& labels) {
  const std::int64_t slice = std::int64_t(W) * H, n = slice * D;
  // The line voxels still waiting, in index order.
  std::vector<std::int64_t> pending;
  for (std::int64_t i = 0; i < n; ++i)
    if (labels[i] < 1) pending.push_back(i);
  std::vector<unsigned char> absorbed(static_cast<size_t>(n), 0);
  std::vector<std::int64_t> taken;
  const float* ch[3] = {c1, c2, c3};
  while (!pending.empty()) {
    taken.clear();
    size_t keep = 0;
    for (size_t k = 0; k < pending.size(); ++k) {
      const std::int64_t v = pending[k];
      const int x = static_cast<int>(v % W), y = static_cast<int>((v / W) % H),
                z = static_cast<int>(v / slice);
      float best = 1e12f;
      int bestLabel = -1;
      auto consider = [&](std::int64_t q) {
        if (labels[q] < 1 || absorbed[q]) return;
        float d = 0.0f;
        for (const float* c : ch)
          if (c) {
            const float t = c[v] - c[q];
            d += t * t;
          }
        if (d < best) {
          best = d;
          bestLabel = labels[q];
        }
      };
      if (x > 0) consider(v - 1);
      if (x < W - 1) consider(v + 1);
      if (y > 0) consider(v - W);
      if (y < H - 1) consider(v + W);
      if (z > 0) consider(v - slice);
      if (z < D - 1) consider(v + slice);
      if (bestLabel >= 1) {
        labels[v] = bestLabel;
        absorbed[v] = 1;
        taken.push_back(v);
      } else {
        pending[keep++] = v;
      }
    }
    if (taken.empty()) break;  // nothing changed: the rest has no labelled neighbour at all
    pending.resize(keep);
    for (std::int64_t v : taken) absorbed[v] = 0;
  }
}

void t_buildRegionsAndAdjacency(int W, int H, int D, const float* c1, const float* c2,
                                const float* c3, const std::vector<int>& labels,
                                std::vector<TGCutRegion>& regions, TGCutAdjacency& adjacency) {
  const std::int64_t slice = std::int64_t(W) * H, n = slice * D;
  int maxLabel = -1;
  for (std::int64_t i = 0; i < n; ++i) maxLabel = std::max(maxLabel, labels[i]);
  const size_t R = static_cast<size_t>(maxLabel + 1);
  regions.assign(R, TGCutRegion());
  adjacency.assign(R, std::vector<int>());
  std::vector<int> count(R, 0);
  for (std::int64_t i = 0; i < n; ++i) ++count[labels[i]];
  for (size_t r = 0; r < R; ++r) regions[r].voxels.reserve(count[r]);
  const float* ch[3] = {c1, c2, c3};
  std::int64_t i = 0;
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x, ++i) {
        const int l = labels[i];
        TGCutRegion& reg = regions[l];
        reg.voxels.push_back(static_cast<int>(i));
        for (int c = 0; c < 3; ++c) reg.sum[c] += ch[c] ? ch[c][i] : 0.0f;
        auto link = [&](int m) {
          if (m == l) return;
          std::vector<int>& set = adjacency[std::min(l, m)];
          const int other = std::max(l, m);
          if (set.empty() || set.back() != other) set.push_back(other);
        };
        if (x + 1 < W) link(labels[i + 1]);
        if (y + 1 < H) link(labels[i + W]);
        if (z + 1 < D) link(labels[i + slice]);
      }
#pragma omp parallel for schedule(dynamic, 256)
  for (std::int64_t r = 0; r < static_cast<std::int64_t>(R); ++r) {
    TGCutRegion& reg = regions[r];
    if (!reg.voxels.empty())
      for (int c = 0; c < 3; ++c) reg.mean[c] = reg.sum[c] / static_cast<float>(reg.voxels.size());
    std::vector<int>& set = adjacency[r];
    std::sort(set.begin(), set.end());
    set.erase(std::unique(set.begin(), set.end()), set.end());
    set.shrink_to_fit();
  }
}

void t_markTargetRegions(const unsigned char* flags, std::vector<TGCutRegion>& regions) {
  const std::int64_t R = static_cast<std::int64_t>(regions.size());
#pragma omp parallel for schedule(dynamic, 256)
  for (std::int64_t r = 0; r < R; ++r) {
    TGCutRegion& reg = regions[r];
    reg.inTarget = 0;
    for (int v : reg.voxels)
      if (flags[v]) {
        reg.inTarget = 1;
        break;
      }
  }
}
