#include "modes/region/kernels/seeded_growing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// One waiting voxel: the key's bit pattern (keys are never negative, so their bits order like the
// keys), then the insertion number in the high half and the voxel index in the low half of tag.
struct FrontEntry {
  std::uint64_t key;
  std::uint64_t tag;
};
inline bool frontLess(const FrontEntry& a, const FrontEntry& b) {
  return a.key < b.key || (a.key == b.key && a.tag < b.tag);
}
struct FrontGreater {
  bool operator()(const FrontEntry& a, const FrontEntry& b) const { return frontLess(b, a); }
};

// The front: a priority queue ordered by (key, insertion number).
//
// Keys fall into buckets by the top bits of their bit pattern (128 buckets per power of two).
// Entries above the active bucket are appended unsorted to their bucket.  The active bucket was
// sorted when it became active and is consumed in order; entries that arrive for it or for a lower
// bucket go into a small binary heap beside it.  The smaller of the run's next entry and the heap's
// top leaves next.  Most voxels wait in unsorted buckets and are sorted once, in bulk; the heap
// holds only what arrives below the running key, and when it outgrows the rest of the run both go
// back into their buckets.
class SrgFront {
 public:
  SrgFront() : buckets_(kBuckets), words_(kBuckets / 64, 0), summary_(kBuckets / 4096, 0) {}

  bool empty() const { return size_ == 0; }

  void push(const FrontEntry& e) {
    ++size_;
    const int b = bucketOf(e);
    if (active_ >= 0 && b <= active_) {
      heap_.push_back(e);
      std::push_heap(heap_.begin(), heap_.end(), FrontGreater());
      if (heap_.size() > kHeapFloor && heap_.size() > run_.size() - pos_) rebucket();
      return;
    }
    buckets_[b].push_back(e);
    mark(b);
  }

  // The entry of the sorted run k places after the next one, or null: likely to leave soon.
  const FrontEntry* ahead(std::size_t k) const {
    return pos_ + k < run_.size() ? &run_[pos_ + k] : nullptr;
  }

  FrontEntry pop() {
    if (pos_ == run_.size() && heap_.empty()) activateLowest();
    --size_;
    if (heap_.empty() || (pos_ < run_.size() && frontLess(run_[pos_], heap_.front())))
      return run_[pos_++];
    std::pop_heap(heap_.begin(), heap_.end(), FrontGreater());
    const FrontEntry e = heap_.back();
    heap_.pop_back();
    return e;
  }

 private:
  static constexpr int kShift = 45;
  static constexpr int kBuckets = 1 << 18;  // non-negative doubles: bits < 2^63
  static constexpr std::size_t kHeapFloor = 1 << 15;

  static int bucketOf(const FrontEntry& e) { return static_cast<int>(e.key >> kShift); }

  void mark(int b) {
    words_[b >> 6] |= std::uint64_t(1) << (b & 63);
    summary_[b >> 12] |= std::uint64_t(1) << ((b >> 6) & 63);
  }
  void unmark(int b) {
    words_[b >> 6] &= ~(std::uint64_t(1) << (b & 63));
    if (words_[b >> 6] == 0) summary_[b >> 12] &= ~(std::uint64_t(1) << ((b >> 6) & 63));
  }
  int lowestMarked() const {
    for (std::size_t s = 0; s < summary_.size(); ++s) {
      if (!summary_[s]) continue;
      const int w = static_cast<int>(s * 64) + __builtin_ctzll(summary_[s]);
      return w * 64 + __builtin_ctzll(words_[w]);
    }
    return -1;
  }

  // Called with the run and the heap both exhausted and the front not empty.
  void activateLowest() {
    const int b = lowestMarked();
    run_ = std::move(buckets_[b]);
    buckets_[b] = std::vector<FrontEntry>();
    unmark(b);
    std::sort(run_.begin(), run_.end(), [](const FrontEntry& a, const FrontEntry& b) { return frontLess(a, b); });
    pos_ = 0;
    active_ = b;
  }

  void rebucket() {
    for (std::size_t i = pos_; i < run_.size(); ++i) {
      buckets_[bucketOf(run_[i])].push_back(run_[i]);
      mark(bucketOf(run_[i]));
    }
    for (const FrontEntry& e : heap_) {
      buckets_[bucketOf(e)].push_back(e);
      mark(bucketOf(e));
    }
    run_.clear();
    pos_ = 0;
    heap_.clear();
    active_ = -1;
  }

  std::vector<std::vector<FrontEntry>> buckets_;
  std::vector<std::uint64_t> words_, summary_;
  std::vector<FrontEntry> run_;
  std::size_t pos_ = 0;
  std::vector<FrontEntry> heap_;
  int active_ = -1;
  std::size_t size_ = 0;
};

inline std::uint64_t keyBits(double key) {
  std::uint64_t b;
  std::memcpy(&b, &key, sizeof b);
  return b;
}

// Quotient by a fixed divisor through one multiplication: for 32-bit n and d > 1,
// n / d = (ceil(2^64 / d) * n) >> 64 exactly.
struct FastDiv {
  std::uint64_t m;
  std::uint32_t d;
  explicit FastDiv(std::uint32_t divisor)
      : m(divisor > 1 ? UINT64_MAX / divisor + 1 : 0), d(divisor) {}
  std::uint32_t div(std::uint32_t n) const {
    if (d <= 1) return n;
    return static_cast<std::uint32_t>((static_cast<unsigned __int128>(m) * n) >> 64);
  }
};

// The nearest labelled group the plain way, for volumes with values that are not finite:
// the distinct labels in ascending order, the first taken, a later one only when strictly nearer.
int nearestGroupExact(const std::uint8_t* lb, const std::int64_t* nb, int n, const double* mtab,
                      double iv) {
  bool seen[256] = {};
  for (int k = 0; k < n; ++k) seen[lb[nb[k]]] = true;
  int best = 0;
  double bestDist = 0.0;
  for (int L = 1; L < 255; ++L) {
    if (!seen[L]) continue;
    const double d = std::fabs(mtab[L] - iv);
    if (best == 0 || d < bestDist) {
      best = L;
      bestDist = d;
    }
  }
  return best;
}

}  // namespace

const char* t_srgStatusMessage(TSrgStatus status) {
  switch (status) {
    case TSrgStatus::TooFewGroups:
      return "複数の制御点が必要です";
    case TSrgStatus::TooManyGroups:
      return "Seeded region growing takes at most 254 groups.";
    case TSrgStatus::NoVolume:
      return "No volume is loaded.";
    default:
      return "";
  }
}

TSrgStatus t_seededRegionGrowing(const float* values, const TVoxelBox& box,
                                 std::vector<TSrgGroup>& groups, std::vector<std::uint8_t>& labels,
                                 const TSrgControl& control) {
  if (!values || !box.valid()) return TSrgStatus::NoVolume;
  const std::int64_t N = box.voxelCount();
  // Voxel indices and insertion numbers share one 64-bit tag, 32 bits each.
  if (N > std::int64_t(0xffffffffLL)) return TSrgStatus::NoVolume;
  if (static_cast<int>(groups.size()) > kSrgMaxGroups) return TSrgStatus::TooManyGroups;

  const int W = box.W, H = box.H, D = box.D;
  const int nGroups = static_cast<int>(groups.size());
  int groupsInside = 0;
  for (int g = 0; g < nGroups; ++g) {
    for (const TVec3& p : groups[g].seeds) {
      int ijk[3];
      if (box.voxelOf(p, ijk)) {
        ++groupsInside;
        break;
      }
    }
  }
  if (groupsInside < 2) return TSrgStatus::TooFewGroups;

  // Labels: 0 unvisited, 1..254 the group label, kWaiting for a voxel in the front.
  constexpr std::uint8_t kWaiting = 255;
  std::vector<std::uint8_t> lab(static_cast<std::size_t>(N));
  std::uint8_t* const lb = lab.data();
  int finite = 1;
#pragma omp parallel for schedule(static) reduction(min : finite)
  for (std::int64_t i = 0; i < N; ++i) {
    lb[i] = 0;
    if (!std::isfinite(values[i])) finite = 0;
  }

  // Group means by label; unvisited and waiting voxels read an infinite mean, so that with finite
  // intensities they are never the nearest.
  double mtab[256];
  for (double& m : mtab) m = HUGE_VAL;
  std::vector<double> sum(nGroups + 1, 0.0);
  std::vector<std::int64_t> count(nGroups + 1, 0);
  for (int L = 1; L <= nGroups; ++L) mtab[L] = 0.0;
  SrgFront front;
  std::uint64_t inserted = 0;

  // The 26 neighbours, dz outermost and dx innermost, as index offsets and coordinate steps.
  std::int64_t nbOff[26];
  int nbDx[26], nbDy[26], nbDz[26];
  {
    int n = 0;
    for (int dz = -1; dz <= 1; ++dz)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          if (!dx && !dy && !dz) continue;
          nbDx[n] = dx;
          nbDy[n] = dy;
          nbDz[n] = dz;
          nbOff[n] = dx + static_cast<std::int64_t>(W) * (dy + static_cast<std::int64_t>(H) * dz);
          ++n;
        }
  }
  const FastDiv divW(static_cast<std::uint32_t>(W));
  const FastDiv divWH(static_cast<std::uint32_t>(static_cast<std::int64_t>(W) * H));

  // Writes the neighbours of v = (x, y, z) that lie inside the volume, in order; returns their count.
  auto neighbours = [&](std::int64_t v, int x, int y, int z, std::int64_t* out) {
    if (x > 0 && x < W - 1 && y > 0 && y < H - 1 && z > 0 && z < D - 1) {
      for (int n = 0; n < 26; ++n) out[n] = v + nbOff[n];
      return 26;
    }
    int c = 0;
    for (int n = 0; n < 26; ++n) {
      const int nx = x + nbDx[n], ny = y + nbDy[n], nz = z + nbDz[n];
      if (nx < 0 || nx >= W || ny < 0 || ny >= H || nz < 0 || nz >= D) continue;
      out[c++] = v + nbOff[n];
    }
    return c;
  };
  // Puts the listed unvisited voxels into the front with keys from mean m.
  auto enqueue = [&](const std::int64_t* u, int n, double m) {
    for (int k = 0; k < n; ++k) {
      lb[u[k]] = kWaiting;
      front.push({keyBits(std::fabs(static_cast<double>(values[u[k]]) - m)),
                  (inserted++ << 32) | static_cast<std::uint64_t>(u[k])});
    }
  };

  std::int64_t nb[26], freeNb[26];
  // Seeding.
  for (int g = 0; g < nGroups; ++g) {
    const int L = g + 1;
    for (const TVec3& p : groups[g].seeds) {
      int ijk[3];
      if (!box.voxelOf(p, ijk)) continue;
      const std::int64_t v = box.index(ijk[0], ijk[1], ijk[2]);
      if (lb[v] == 0) {
        lb[v] = static_cast<std::uint8_t>(L);
        sum[L] += static_cast<double>(values[v]);
        count[L] += 1;
        mtab[L] = sum[L] / static_cast<double>(count[L]);
      }
      const int n = neighbours(v, ijk[0], ijk[1], ijk[2], nb);
      int nFree = 0;
      for (int k = 0; k < n; ++k)
        if (lb[nb[k]] == 0) freeNb[nFree++] = nb[k];
      enqueue(freeNb, nFree, mtab[L]);
    }
  }

  // Growing.
  const std::int64_t reportEvery = std::max<std::int64_t>(N / 100, 4096);
  std::int64_t taken = 0, nextReport = reportEvery;
  // Rows of the 3 x 3 x 3 block around a voxel, for prefetching the voxels that leave soon.
  std::int64_t rowOff[9];
  for (int dz = -1, q = 0; dz <= 1; ++dz)
    for (int dy = -1; dy <= 1; ++dy) rowOff[q++] = nbOff[0] + 1 + 1 + W * (dy + 1) + static_cast<std::int64_t>(W) * H * (dz + 1) - 1;
  while (!front.empty()) {
    const FrontEntry e = front.pop();
    if (const FrontEntry* a = front.ahead(16)) {
      const std::int64_t av = static_cast<std::int64_t>(a->tag & 0xffffffffu);
      for (const std::int64_t r : rowOff) {
        const std::int64_t t = std::min(std::max(av + r, std::int64_t(0)), N - 1);
        __builtin_prefetch(lb + t);
        __builtin_prefetch(values + t);
      }
    }
    const std::uint32_t v32 = static_cast<std::uint32_t>(e.tag);
    const std::int64_t v = v32;
    const std::uint32_t z = divWH.div(v32);
    const std::uint32_t rem = v32 - z * static_cast<std::uint32_t>(static_cast<std::int64_t>(W) * H);
    const std::uint32_t y = divW.div(rem);
    const std::uint32_t x = rem - y * static_cast<std::uint32_t>(W);
    const double iv = static_cast<double>(values[v]);
    const int n = neighbours(v, static_cast<int>(x), static_cast<int>(y), static_cast<int>(z), nb);

    // The labelled neighbour group whose mean is nearest (the smallest label on a tie) and the
    // unvisited neighbours, in one pass without branches on the labels.
    int best = kWaiting;
    double bestDist = HUGE_VAL;
    int nFree = 0;
    for (int k = 0; k < n; ++k) {
      const int L = lb[nb[k]];
      const double d = std::fabs(mtab[L] - iv);
      const bool better = (d < bestDist) | ((d == bestDist) & (L < best));
      best = better ? L : best;
      bestDist = better ? d : bestDist;
      freeNb[nFree] = nb[k];
      nFree += L == 0;
    }
    if (!finite) best = nearestGroupExact(lb, nb, n, mtab, iv);

    ++taken;
    if (taken % 100000 == 1) std::printf("%lld/%lld\n", static_cast<long long>(taken), static_cast<long long>(N));
    if (taken >= nextReport) {
      nextReport += reportEvery;
      if (control.progress) control.progress(std::min(1.0, static_cast<double>(taken) / static_cast<double>(N)));
      if (control.stop && control.stop->load(std::memory_order_acquire)) return TSrgStatus::Stopped;
    }
    if (best < 1 || best > nGroups) {
      // Only a neighbour of a seed that was itself still waiting gets here.  It becomes
      // unvisited again, so that the first group to reach it queues it anew.
      std::printf("never come here\n");
      lb[v] = 0;
      continue;
    }
    lb[v] = static_cast<std::uint8_t>(best);
    sum[best] += iv;
    count[best] += 1;
    mtab[best] = sum[best] / static_cast<double>(count[best]);
    enqueue(freeNb, nFree, mtab[best]);
  }

  labels.resize(static_cast<std::size_t>(N));
  std::uint8_t* out = labels.data();
#pragma omp parallel for schedule(static)
  for (std::int64_t i = 0; i < N; ++i) out[i] = lb[i] == kWaiting ? 0 : lb[i];
  for (int g = 0; g < nGroups; ++g) {
    groups[g].sum = sum[g + 1];
    groups[g].count = count[g + 1];
    groups[g].mean = count[g + 1] ? mtab[g + 1] : 0.0;
  }
  if (control.progress) control.progress(1.0);
  return TSrgStatus::Done;
}

std::uint8_t t_windowLevelByte(double value, double lo, double hi) {
  const double range = hi - lo;
  if (!(range != 0.0) || !std::isfinite(range)) return 0;
  const double t = std::fmin(std::fmax((value - lo) / range, 0.0), 1.0);
  return static_cast<std::uint8_t>(255.0 * t);
}

void t_srgMeanDisplay(const std::vector<std::uint8_t>& labels, const std::vector<TSrgGroup>& groups,
                      double lo, double hi, std::vector<std::uint8_t>& out) {
  std::uint8_t table[256] = {};
  for (std::size_t g = 0; g < groups.size() && g < 255; ++g)
    table[g + 1] = t_windowLevelByte(groups[g].mean, lo, hi);
  out.resize(labels.size());
  const std::int64_t n = static_cast<std::int64_t>(labels.size());
  const std::uint8_t* in = labels.data();
  std::uint8_t* o = out.data();
#pragma omp parallel for schedule(static)
  for (std::int64_t i = 0; i < n; ++i) o[i] = table[in[i]];
}
