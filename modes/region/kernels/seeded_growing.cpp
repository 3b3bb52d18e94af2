#include "modes/region/kernels/seeded_growing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include "modes/region/kernels/rgrow_parallel.h"
#include "platform/LargeMemory.h"

namespace {

// An uninitialised array from t_allocLines().
template <class T>
class TLineBuffer {
 public:
  explicit TLineBuffer(std::size_t n) : n_(n), p_(static_cast<T*>(t_allocLines(n * sizeof(T)))) {}
  ~TLineBuffer() { t_freeLines(p_, n_ * sizeof(T)); }
  TLineBuffer(const TLineBuffer&) = delete;
  TLineBuffer& operator=(const TLineBuffer&) = delete;
  T* data() const { return p_; }

 private:
  std::size_t n_;
  T* p_;
};

// The step count from which a loop over a volume of `voxels` is shared out among plain threads
// (t_rgrowParallelFor: a run may itself be on a worker thread, so no OpenMP team): volumes from
// 128 k voxels, so that 64^3 already uses several.
long long parallelFrom(long long steps, std::int64_t voxels) { return voxels >= (1 << 17) ? 2 : steps + 1; }

template <class T>
struct TCacheLineAllocator {
  using value_type = T;
  TCacheLineAllocator() = default;
  template <class U>
  TCacheLineAllocator(const TCacheLineAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(t_allocLines(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) { t_freeLines(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const TCacheLineAllocator<U>&) const { return true; }
  template <class U>
  bool operator!=(const TCacheLineAllocator<U>&) const { return false; }
};

// One waiting voxel: the key's bit pattern in the high half (keys are never negative, so their
// bits order like the keys), the voxel's value and index in the low half.  The value rides along
// so that taking the voxel needs no read of the value array, whose line would be one more miss.
using FrontEntry = unsigned __int128;
inline FrontEntry makeEntry(std::uint64_t key, float value, std::uint32_t voxel) {
  std::uint32_t valueBits;
  std::memcpy(&valueBits, &value, sizeof valueBits);
  return (static_cast<FrontEntry>(key) << 64) | (static_cast<std::uint64_t>(valueBits) << 32) | voxel;
}
inline std::uint64_t entryKey(FrontEntry e) { return static_cast<std::uint64_t>(e >> 64); }
inline std::uint32_t entryVoxel(FrontEntry e) { return static_cast<std::uint32_t>(e); }
inline float entryValue(FrontEntry e) {
  const std::uint32_t valueBits = static_cast<std::uint32_t>(static_cast<std::uint64_t>(e) >> 32);
  float value;
  std::memcpy(&value, &valueBits, sizeof value);
  return value;
}

// The front: a priority queue ordered by (key, insertion).
//
// Keys fall into buckets by the top bits of their bit pattern (128 buckets per power of two).
// Entries above the active bucket are appended unsorted to their bucket.  The active bucket was
// sorted when it became active and is consumed in order; entries that arrive for it or for a lower
// bucket go into a small binary heap beside it.  The smaller of the run's next entry and the heap's
// top leaves next.  Most voxels wait in unsorted buckets and are sorted once, in bulk; the heap
// holds only what arrives below the running key, and when it outgrows the rest of the run both go
// back into their buckets.
//
// Insertion order needs no number in the buckets: a bucket holds its entries in the order they
// came and is sorted stably by key.  Every entry of the run came before every entry of the heap
// (the heap starts empty when the run does), so a tie between the two goes to the run; the heap
// numbers its own entries.
//
// A bucket is a chain of fixed blocks from a pool: the front holds up to half the volume, and
// buckets kept as growing arrays spent a quarter of the run copying on growth and faulting in
// fresh pages.  Blocks of a bucket that became active go back to the pool for the next buckets.
class SrgFront {
 public:
  SrgFront() : words_(kBuckets / 64, 0), summary_(kBuckets / 4096, 0) {
    buckets_ = static_cast<Bucket*>(t_allocLines(kBuckets * sizeof(Bucket)));
    std::fill(buckets_, buckets_ + kBuckets, Bucket());
  }
  ~SrgFront() {
    t_freeLines(buckets_, kBuckets * sizeof(Bucket));
    for (const Slab& s : slabs_) t_freeLines(s.p, s.bytes, kBlockBytes);
  }
  SrgFront(const SrgFront&) = delete;
  SrgFront& operator=(const SrgFront&) = delete;

  bool empty() const { return size_ == 0; }

  void push(const FrontEntry& e) {
    ++size_;
    const int b = bucketOf(e);
    if (active_ >= 0 && b <= active_) {
      heap_.push_back(HeapEntry{e, heapCount_++});
      std::push_heap(heap_.begin(), heap_.end());
      if (heap_.size() > kHeapFloor && heap_.size() > run_.size() - pos_) rebucket();
      return;
    }
    append(b, e);
  }

  // The entry of the sorted run k places after the next one, or null: likely to leave soon.
  const FrontEntry* ahead(std::size_t k) const {
    return pos_ + k < run_.size() ? &run_[pos_ + k] : nullptr;
  }

  FrontEntry pop() {
    if (pos_ == run_.size() && heap_.empty()) activateLowest();
    --size_;
    if (heap_.empty() || (pos_ < run_.size() && entryKey(run_[pos_]) <= entryKey(heap_.front().e)))
      return run_[pos_++];
    std::pop_heap(heap_.begin(), heap_.end());
    const FrontEntry e = heap_.back().e;
    heap_.pop_back();
    return e;
  }

 private:
  static constexpr int kShift = 45;
  static constexpr int kBuckets = 1 << 18;  // non-negative doubles: bits < 2^63
  static constexpr std::size_t kHeapFloor = 1 << 12;
  static constexpr int kMaxDigit = 16;

  // A block is 8 kB on an 8 kB boundary: its link, then entries up to the boundary, so that a
  // bucket's write position tells by its alignment that the block is full.
  static constexpr std::size_t kBlockBytes = 8192;
  struct Block {
    Block* next;
    FrontEntry e[(kBlockBytes - sizeof(FrontEntry)) / sizeof(FrontEntry)];
  };
  static_assert(sizeof(Block) == kBlockBytes, "a block fills its 8 kB");
  static constexpr std::size_t kPerBlock = sizeof(Block::e) / sizeof(FrontEntry);
  static bool full(const FrontEntry* tail) {
    return (reinterpret_cast<std::uintptr_t>(tail) & (kBlockBytes - 1)) == 0;
  }
  // An empty bucket has no blocks; otherwise tail is the next free place in its last block.
  struct Bucket {
    Block* first = nullptr;
    FrontEntry* tail = nullptr;
  };
  struct Slab {
    void* p;
    std::size_t bytes;
  };
  // Ordered so that std::push_heap keeps the smallest (key, number) on top.
  struct HeapEntry {
    FrontEntry e;
    std::uint64_t number;
    bool operator<(const HeapEntry& o) const {
      const std::uint64_t k = entryKey(e), ko = entryKey(o.e);
      return k != ko ? k > ko : number > o.number;
    }
  };

  static int bucketOf(FrontEntry e) { return static_cast<int>(entryKey(e) >> kShift); }

  Block* newBlock() {
    if (!free_) {
      // Slabs double from 256 kB to 16 MB: small volumes take little, large ones few huge pages.
      const std::size_t bytes = std::min<std::size_t>(std::size_t(256) << 10 << slabs_.size(), std::size_t(16) << 20);
      Block* blocks = static_cast<Block*>(t_allocLines(bytes, kBlockBytes));
      slabs_.push_back(Slab{blocks, bytes});
      for (std::size_t i = bytes / kBlockBytes; i-- > 0;) {
        blocks[i].next = free_;
        free_ = &blocks[i];
      }
    }
    Block* k = free_;
    free_ = k->next;
    k->next = nullptr;
    return k;
  }

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

  // Called with the run and the heap both exhausted and the front not empty: the lowest bucket
  // becomes the run, sorted stably by key.  One counting pass on the key bits just below the
  // bucket's own, as many bits as give about one entry per value (up to kMaxDigit), spreads the
  // entries in order into groups of a few that insertion sort finishes (its comparisons go
  // either way at random, and the processor pays for every wrong guess).
  void activateLowest() {
    const int b = lowestMarked();
    Bucket& B = buckets_[b];
    std::size_t n = 0;
    for (const Block* k = B.first; k->next; k = k->next) n += kPerBlock;
    const Block* last = reinterpret_cast<const Block*>(reinterpret_cast<std::uintptr_t>(B.tail - 1) & ~(kBlockBytes - 1));
    n += static_cast<std::size_t>(B.tail - last->e);
    int bits = 0;
    while (bits < kMaxDigit && (std::size_t(1) << bits) < n) ++bits;
    const int shift = kShift - bits;
    const std::uint32_t mask = (std::uint32_t(1) << bits) - 1;
    auto digit = [shift, mask](const FrontEntry& e) {
      return static_cast<std::uint32_t>(entryKey(e) >> shift) & mask;
    };
    counts_.assign(std::size_t(mask) + 2, 0);
    std::uint32_t* const count = counts_.data() + 1;
    // The bucket's entries into sortTmp_, counted by digit; its blocks back to the pool.
    sortTmp_.resize(n);
    FrontEntry* out = sortTmp_.data();
    for (Block* k = B.first; k;) {
      const std::size_t m = k->next ? kPerBlock : static_cast<std::size_t>(B.tail - k->e);
      for (std::size_t i = 0; i < m; ++i) {
        ++count[digit(k->e[i])];
        out[i] = k->e[i];
      }
      out += m;
      Block* next = k->next;
      k->next = free_;
      free_ = k;
      k = next;
    }
    B = Bucket();
    unmark(b);
    // start[d] is the start of group d, and after the spreading its end.
    std::uint32_t* const start = counts_.data();
    for (std::uint32_t d = 1; d <= mask; ++d) start[d] += start[d - 1];
    run_.resize(n);
    FrontEntry* const r = run_.data();
    for (std::size_t i = 0; i < n; ++i) r[start[digit(sortTmp_[i])]++] = sortTmp_[i];
    auto byKey = [](const FrontEntry& x, const FrontEntry& y) { return entryKey(x) < entryKey(y); };
    for (std::uint32_t d = 0, from = 0; d <= mask; ++d) {
      const std::uint32_t to = start[d];
      if (to - from > 32) {
        std::stable_sort(r + from, r + to, byKey);
      } else {
        for (std::uint32_t i = from + 1; i < to; ++i) {
          const FrontEntry e = r[i];
          std::uint32_t j = i;
          for (; j > from && byKey(e, r[j - 1]); --j) r[j] = r[j - 1];
          r[j] = e;
        }
      }
      from = to;
    }
    pos_ = 0;
    active_ = b;
    heapCount_ = 0;
  }

  void append(int b, const FrontEntry& e) {
    Bucket& B = buckets_[b];
    if (!B.tail) {
      B.first = newBlock();
      B.tail = B.first->e;
      mark(b);
    } else if (full(B.tail)) {
      Block* k = newBlock();
      reinterpret_cast<Block*>(reinterpret_cast<std::uintptr_t>(B.tail) - kBlockBytes)->next = k;
      B.tail = k->e;
    }
    *B.tail++ = e;
  }

  // The buckets at and below the active one are empty: the rest of the run goes back first, in
  // its order (equal keys stand in insertion order), then the heap in insertion order.
  void rebucket() {
    for (std::size_t i = pos_; i < run_.size(); ++i) append(bucketOf(run_[i]), run_[i]);
    std::sort(heap_.begin(), heap_.end(),
              [](const HeapEntry& x, const HeapEntry& y) { return x.number < y.number; });
    for (const HeapEntry& h : heap_) append(bucketOf(h.e), h.e);
    run_.clear();
    pos_ = 0;
    heap_.clear();
    active_ = -1;
  }

  Bucket* buckets_;
  std::vector<Slab> slabs_;
  Block* free_ = nullptr;
  std::vector<std::uint64_t> words_, summary_;
  std::vector<std::uint32_t> counts_;
  std::vector<FrontEntry, TCacheLineAllocator<FrontEntry>> sortTmp_;
  std::vector<FrontEntry, TCacheLineAllocator<FrontEntry>> run_;
  std::size_t pos_ = 0;
  std::vector<HeapEntry> heap_;
  std::uint64_t heapCount_ = 0;
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

// Voxel (x, y, z) of a grid kept in bricks of 4 x 4 x 4 bytes, bricks in x-fastest order:
// address = tz[z] + ty[y] + tx[x].  The tables also hold the entries for -1 and the size, so that
// the corners of a voxel's 3 x 3 x 3 block can be looked up for any voxel of the grid (those
// entries point at the edge voxels, which is good enough for prefetching).
struct TBrickLayout {
  std::vector<std::int64_t> xs, ys, zs;
  const std::int64_t* tx;
  const std::int64_t* ty;
  const std::int64_t* tz;
  std::int64_t bx, by, bz;
  TBrickLayout(int W, int H, int D)
      : xs(W + 2), ys(H + 2), zs(D + 2), bx((W + 3) / 4), by((H + 3) / 4), bz((D + 3) / 4) {
    for (int i = -1; i <= W; ++i) {
      const int c = std::min(std::max(i, 0), W - 1);
      xs[i + 1] = (static_cast<std::int64_t>(c >> 2) << 6) | (c & 3);
    }
    for (int i = -1; i <= H; ++i) {
      const int c = std::min(std::max(i, 0), H - 1);
      ys[i + 1] = ((static_cast<std::int64_t>(c >> 2) * bx) << 6) | ((c & 3) << 2);
    }
    for (int i = -1; i <= D; ++i) {
      const int c = std::min(std::max(i, 0), D - 1);
      zs[i + 1] = ((static_cast<std::int64_t>(c >> 2) * bx * by) << 6) | ((c & 3) << 4);
    }
    tx = xs.data() + 1;
    ty = ys.data() + 1;
    tz = zs.data() + 1;
  }
  std::size_t size() const { return static_cast<std::size_t>(bx * by * bz * 64); }
  std::int64_t at(int x, int y, int z) const { return tz[z] + ty[y] + tx[x]; }
};


}  // namespace

const char* t_srgStatusMessage(TSrgStatus status) {
  switch (status) {
    case TSrgStatus::TooFewGroups:
      return "複数の制御点が必要です";
    case TSrgStatus::TooManyGroups:
      return "group数限界";
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
  if (N > kSrgMaxVoxels) return TSrgStatus::NoVolume;
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

  // Labels: 0 unvisited, 1..254 the group label, kWaiting for a voxel in the front.  They are
  // kept in bricks of 4 x 4 x 4 voxels, one cache line each, so that the 26 neighbours of a voxel
  // lie on about three lines instead of nine: the growth jumps across the volume from one voxel to
  // the next and waits on every line it touches.
  constexpr std::uint8_t kWaiting = 255;
  const TBrickLayout bricks(W, H, D);
  const TLineBuffer<std::uint8_t> lab(bricks.size());
  std::uint8_t* const lb = lab.data();

  // Group means by label.
  double mtab[256] = {};
  std::vector<double> sum(nGroups + 1, 0.0);
  std::vector<std::int64_t> count(nGroups + 1, 0);
  SrgFront front;

  const FastDiv divW(static_cast<std::uint32_t>(W));
  const FastDiv divWH(static_cast<std::uint32_t>(static_cast<std::int64_t>(W) * H));
  const std::int64_t WH = static_cast<std::int64_t>(W) * H;
  // The values in the same bricks (a brick of floats is four lines, one per z): a voxel's value
  // lies beside its label, and its neighbours' values on the few lines of their bricks.  Layers
  // of bricks are filled (labels zeroed, values copied) on several threads: the copy is a tenth of
  // a run on one, mostly the first touch of fresh pages.  The pad voxels of partial bricks are
  // never read.
  const TLineBuffer<float> valBricks(bricks.size());
  float* const vb = valBricks.data();
  const std::size_t brickLayer = static_cast<std::size_t>(bricks.bx * bricks.by) * 64;
  t_rgrowParallelFor(bricks.bz, parallelFrom(bricks.bz, N), [&](long long first, long long last) {
    const int layer0 = static_cast<int>(first), layer1 = static_cast<int>(last);
    std::memset(lb + brickLayer * layer0, 0, brickLayer * (layer1 - layer0));
    for (int z = 4 * layer0; z < std::min(4 * layer1, D); ++z)
      for (int y = 0; y < H; ++y) {
        const std::int64_t row = bricks.tz[z] + bricks.ty[y];
        const float* in = values + WH * z + static_cast<std::int64_t>(W) * y;
        for (int x = 0; x < W; ++x) vb[row + bricks.tx[x]] = in[x];
      }
  });

  // The neighbours of voxel v = (x, y, z) inside the volume in the order dz, dy, dx = -1, 0, 1 (dx
  // innermost): their label addresses, and for a voxel on the volume's border also their linear
  // indices.  Returns their count, negated for a voxel inside (all 26, at v + linOff[k]).
  std::int64_t nbLin[26], nbLab[26], linOff[26];
  int nbStep[26][3];
  for (int dz = -1, c = 0; dz <= 1; ++dz)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (dx || dy || dz) {
          nbStep[c][0] = dx;
          nbStep[c][1] = dy;
          nbStep[c][2] = dz;
          linOff[c++] = dx + W * static_cast<std::int64_t>(dy) + WH * dz;
        }
  // One bit per label value (bits 0 and 63 stand for unvisited and waiting when fewer than 63
  // groups share the 64 bits).
  std::uint64_t labelBit[256];
  for (int L = 0; L < 256; ++L) labelBit[L] = std::uint64_t(1) << (L & 63);
  auto neighbours = [&](std::int64_t v, int x, int y, int z) {
    if (x > 0 && x < W - 1 && y > 0 && y < H - 1 && z > 0 && z < D - 1) {
      // Inside the volume the linear indices are v + linOff[k]; only the label addresses are listed.
      const std::int64_t* tz = bricks.tz + z;
      const std::int64_t* ty = bricks.ty + y;
      const std::int64_t* tx = bricks.tx + x;
      const std::int64_t x0 = tx[-1], x1 = tx[0], x2 = tx[1];
      int c = 0;
#pragma GCC unroll 3
      for (int dz = -1; dz <= 1; ++dz) {
#pragma GCC unroll 3
        for (int dy = -1; dy <= 1; ++dy) {
          const std::int64_t row = tz[dz] + ty[dy];
          nbLab[c++] = row + x0;
          if (dz || dy) nbLab[c++] = row + x1;
          nbLab[c++] = row + x2;
        }
      }
      return -26;
    }
    int c = 0;
    for (int dz = -1; dz <= 1; ++dz) {
      const int nz = z + dz;
      if (nz < 0 || nz >= D) continue;
      for (int dy = -1; dy <= 1; ++dy) {
        const int ny = y + dy;
        if (ny < 0 || ny >= H) continue;
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx;
          if ((!dx && !dy && !dz) || nx < 0 || nx >= W) continue;
          nbLab[c] = bricks.at(nx, ny, nz);
          nbLin[c] = v + dx + W * static_cast<std::int64_t>(dy) + WH * dz;
          ++c;
        }
      }
    }
    return c;
  };
  // Puts the listed neighbours of v (positions in nbLab) into the front with keys from mean m.
  int freeNb[26];
  auto enqueue = [&](std::int64_t v, int x, int y, int z, bool inside, int nFree, double m) {
    for (int k = 0; k < nFree; ++k) {
      const int q = freeNb[k];
      const std::int64_t u = inside ? v + linOff[q] : nbLin[q];
      const std::int64_t a = inside ? bricks.at(x + nbStep[q][0], y + nbStep[q][1], z + nbStep[q][2]) : nbLab[q];
      lb[a] = kWaiting;
      const float value = vb[a];
      front.push(makeEntry(keyBits(std::fabs(static_cast<double>(value) - m)), value,
                           static_cast<std::uint32_t>(u)));
    }
  };

  // Seeding.
  for (int g = 0; g < nGroups; ++g) {
    const int L = g + 1;
    for (const TVec3& p : groups[g].seeds) {
      int ijk[3];
      if (!box.voxelOf(p, ijk)) continue;
      const std::int64_t v = box.index(ijk[0], ijk[1], ijk[2]);
      std::uint8_t& lv = lb[bricks.at(ijk[0], ijk[1], ijk[2])];
      if (lv == 0) {
        lv = static_cast<std::uint8_t>(L);
        sum[L] += static_cast<double>(vb[bricks.at(ijk[0], ijk[1], ijk[2])]);
        count[L] += 1;
        mtab[L] = sum[L] / static_cast<double>(count[L]);
      }
      const int listed = neighbours(v, ijk[0], ijk[1], ijk[2]);
      const int n = listed < 0 ? -listed : listed;
      int nFree = 0;
      for (int k = 0; k < n; ++k)
        if (lb[nbLab[k]] == 0) freeNb[nFree++] = k;
      enqueue(v, ijk[0], ijk[1], ijk[2], listed < 0, nFree, mtab[L]);
    }
  }

  // Growing.
  const std::int64_t reportEvery = std::max<std::int64_t>(N / 100, 4096);
  std::int64_t taken = 0, nextReport = reportEvery;
  while (!front.empty()) {
    const FrontEntry e = front.pop();
    // The label lines of the voxel that the sorted run gives a few steps later: the bricks of the
    // eight corners of its 3 x 3 x 3 block, the same brick prefetched again when corners share it
    // (skipping those took branches no predictor can guess: which corners share a brick changes
    // at random from one voxel to the next).
    if (const FrontEntry* a = front.ahead(16)) {
      const std::uint32_t av = entryVoxel(*a);
      const std::uint32_t az = divWH.div(av);
      const std::uint32_t ar = av - az * static_cast<std::uint32_t>(WH);
      const std::uint32_t ay = divW.div(ar);
      const std::uint32_t ax = ar - ay * static_cast<std::uint32_t>(W);
      const std::int64_t cz[2] = {bricks.tz[static_cast<int>(az) - 1], bricks.tz[static_cast<int>(az) + 1]};
      const std::int64_t cy[2] = {bricks.ty[static_cast<int>(ay) - 1], bricks.ty[static_cast<int>(ay) + 1]};
      const std::int64_t cx[2] = {bricks.tx[static_cast<int>(ax) - 1], bricks.tx[static_cast<int>(ax) + 1]};
      for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
          for (int k = 0; k < 2; ++k) __builtin_prefetch(lb + cz[i] + cy[j] + cx[k]);
    }
    const std::uint32_t v32 = entryVoxel(e);
    const std::int64_t v = v32;
    const std::uint32_t z = divWH.div(v32);
    const std::uint32_t rem = v32 - z * static_cast<std::uint32_t>(WH);
    const std::uint32_t y = divW.div(rem);
    const std::uint32_t x = rem - y * static_cast<std::uint32_t>(W);
    const double iv = static_cast<double>(entryValue(e));
    // The labels present among the neighbours as a bit set (bit 0 unvisited, bit 255 waiting), and
    // the unvisited neighbours in order.  The nearest group is then found over the distinct labels
    // in ascending order, a later label only when strictly nearer: the smallest label on a tie.
    std::uint64_t present[4] = {0, 0, 0, 0};
    int nFree = 0;
    const bool inside = x > 0 && x < static_cast<std::uint32_t>(W - 1) && y > 0 &&
                        y < static_cast<std::uint32_t>(H - 1) && z > 0 && z < static_cast<std::uint32_t>(D - 1);
    if (inside && nGroups < 63) {
      // The common case, written out: labels read row by row straight from the brick tables.
      const std::int64_t* tz = bricks.tz + z;
      const std::int64_t* ty = bricks.ty + y;
      const std::int64_t x0 = bricks.tx[x - 1], x1 = bricks.tx[x], x2 = bricks.tx[x + 1];
      std::uint64_t bits = 0;
      int k = 0;
      auto visit = [&](std::int64_t a) {
        const unsigned L = lb[a];
        bits |= labelBit[L];
        freeNb[nFree] = k;
        nFree += L == 0;
        ++k;
      };
#pragma GCC unroll 3
      for (int dz = -1; dz <= 1; ++dz) {
#pragma GCC unroll 3
        for (int dy = -1; dy <= 1; ++dy) {
          const std::int64_t row = tz[dz] + ty[dy];
          visit(row + x0);
          if (dz || dy) visit(row + x1);
          visit(row + x2);
        }
      }
      present[0] = bits & ~(std::uint64_t(1) | std::uint64_t(1) << 63);
    } else {
      const int listed = neighbours(v, static_cast<int>(x), static_cast<int>(y), static_cast<int>(z));
      const int n = listed < 0 ? -listed : listed;
      for (int k = 0; k < n; ++k) {
        const unsigned L = lb[nbLab[k]];
        present[L >> 6] |= std::uint64_t(1) << (L & 63);
        freeNb[nFree] = k;
        nFree += L == 0;
      }
      present[0] &= ~std::uint64_t(1);
      present[3] &= ~(std::uint64_t(1) << 63);
    }
    int best = 0;
    double bestDist = 0.0;
    for (int w = 0; w < 4; ++w) {
      for (std::uint64_t bits = present[w]; bits; bits &= bits - 1) {
        const int L = w * 64 + __builtin_ctzll(bits);
        const double d = std::fabs(mtab[L] - iv);
        if (best == 0 || d < bestDist) {
          best = L;
          bestDist = d;
        }
      }
    }

    ++taken;
    if (taken % 100000 == 1) std::printf("%lld/%lld\n", static_cast<long long>(taken), static_cast<long long>(N));
    if (taken >= nextReport) {
      nextReport += reportEvery;
      // A stopped run reports nothing more: whoever stopped it has closed its progress.
      if (control.stop && control.stop->load(std::memory_order_acquire)) return TSrgStatus::Stopped;
      if (control.progress) control.progress(std::min(1.0, static_cast<double>(taken) / static_cast<double>(N)));
    }
    std::uint8_t& lv = lb[bricks.at(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z))];
    if (best == 0) {
      // Only a neighbour of a seed that was itself still waiting gets here.  It becomes
      // unvisited again, so that the first group to reach it queues it anew.
      std::printf("never come here\n");
      lv = 0;
      continue;
    }
    lv = static_cast<std::uint8_t>(best);
    sum[best] += iv;
    count[best] += 1;
    mtab[best] = sum[best] / static_cast<double>(count[best]);
    enqueue(v, static_cast<int>(x), static_cast<int>(y), static_cast<int>(z), inside, nFree, mtab[best]);
  }

  labels.resize(static_cast<std::size_t>(N));
  std::uint8_t* out = labels.data();
  t_rgrowParallelFor(D, parallelFrom(D, N), [&](long long first, long long last) {
    const int z0 = static_cast<int>(first), z1 = static_cast<int>(last);
    for (int z = z0; z < z1; ++z)
      for (int y = 0; y < H; ++y) {
        const std::int64_t row = bricks.tz[z] + bricks.ty[y];
        std::uint8_t* o = out + WH * z + static_cast<std::int64_t>(W) * y;
        for (int x = 0; x < W; ++x) {
          const std::uint8_t l = lb[row + bricks.tx[x]];
          o[x] = l == kWaiting ? 0 : l;
        }
      }
  });
  for (int g = 0; g < nGroups; ++g) {
    groups[g].sum = sum[g + 1];
    groups[g].count = count[g + 1];
    groups[g].mean = count[g + 1] ? mtab[g + 1] : 0.0;
  }
  if (control.progress) control.progress(1.0);
  return TSrgStatus::Done;
}

std::uint8_t t_srgDisplayByte(double value, double lo, double hi) {
  const double range = hi - lo;
  if (!(range != 0.0) || !std::isfinite(range)) return 0;
  const double t = std::fmin(std::fmax((value - lo) / range, 0.0), 1.0);
  return static_cast<std::uint8_t>(255.0 * t);
}

void t_srgMeanDisplay(const std::vector<std::uint8_t>& labels, const std::vector<TSrgGroup>& groups,
                      double lo, double hi, std::vector<std::uint8_t>& out) {
  std::uint8_t table[256] = {};
  for (std::size_t g = 0; g < groups.size() && g < 255; ++g)
    table[g + 1] = t_srgDisplayByte(groups[g].mean, lo, hi);
  out.resize(labels.size());
  const std::int64_t n = static_cast<std::int64_t>(labels.size());
  const std::uint8_t* in = labels.data();
  std::uint8_t* o = out.data();
#pragma omp parallel for schedule(static)
  for (std::int64_t i = 0; i < n; ++i) o[i] = table[in[i]];
}
