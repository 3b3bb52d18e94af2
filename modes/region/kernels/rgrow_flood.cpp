#include "modes/region/kernels/rgrow_flood.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "modes/region/kernels/rgrow_bitflood.h"
#include "modes/region/kernels/rgrow_parallel.h"
#include "modes/region/kernels/rgrow_threshold.h"

namespace {

// ---- pass sets ----------------------------------------------------------------------------------

// 64 bytes of 0 or 0xFF as the bits of a word (byte b gives bit b).
inline uint64_t packBytes(const uint8_t* bytes) {
#if defined(__SSE2__)
  uint64_t bits = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
    bits |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(v))) << (16 * k);
  }
  return bits;
#else
  uint64_t bits = 0;
  for (int b = 0; b < 64; ++b) bits |= static_cast<uint64_t>(bytes[b] & 1u) << b;
  return bits;
#endif
}

// Fills the engine's pass bits row by row with flags[i] != 0 && test(i).
template <class Test>
void fillPass(TRgrowBitFlood& e, const uint8_t* flags, const Test& test) {
  const int W = e.W(), rows = e.rowCount(), nw = e.wordsPerRow();
  t_rgrowParallelFor(rows, kRgrowParallelMin / W, [&](long long r0, long long r1) {
    const Test local = test;  // a copy the stores cannot alias
    for (long long row = r0; row < r1; ++row) {
      const size_t base = static_cast<size_t>(row) * W;
      uint64_t* out = e.passRow(static_cast<int>(row));
      alignas(16) uint8_t bytes[64];
      for (int w = 0; w < nw; ++w) {
        const int x0 = w * 64, n = std::min(64, W - x0);
        const size_t i0 = base + x0;
        for (int b = 0; b < n; ++b) bytes[b] = (flags[i0 + b] != 0) & local(i0 + b) ? 0xFF : 0;
        for (int b = n; b < 64; ++b) bytes[b] = 0;
        out[w] = packBytes(bytes);
      }
    }
  });
}

// r * r > d * d in single precision, d * d summed over C channels.
template <int C>
struct DistanceTest {
  const float* ch[3];
  float a[3];
  float rr;
  bool operator()(size_t i) const {
    const float d0 = a[0] - ch[0][i];
    float d2 = d0 * d0;
    if (C >= 2) {
      const float d1 = a[1] - ch[1][i];
      d2 = d2 + d1 * d1;
    }
    if (C >= 3) {
      const float d3 = a[2] - ch[2][i];
      d2 = d2 + d3 * d3;
    }
    return rr > d2;
  }
};

void fillPassDistance(TRgrowBitFlood& e, const TRgrowVolume& vol, const uint8_t* flags, float r,
                      size_t seedIndex) {
  const float rr = r * r;
  auto run = [&](auto test) {
    for (int k = 0; k < 3; ++k) {
      test.ch[k] = vol.ch[k];
      test.a[k] = k < vol.channels ? vol.ch[k][seedIndex] : 0.0f;
    }
    test.rr = rr;
    fillPass(e, flags, test);
  };
  if (vol.channels == 1)
    run(DistanceTest<1>{});
  else if (vol.channels == 2)
    run(DistanceTest<2>{});
  else
    run(DistanceTest<3>{});
}

void fillPassThreshold(TRgrowBitFlood& e, const TRgrowVolume& vol, const uint8_t* flags,
                       const TRgrowThresholds& t) {
  if (vol.channels == 1)
    fillPass(e, flags, TRgrowFloatThreshold<1>(vol, t));
  else if (vol.channels == 2)
    fillPass(e, flags, TRgrowFloatThreshold<2>(vol, t));
  else
    fillPass(e, flags, TRgrowFloatThreshold<3>(vol, t));
}

// Byte masks of the 256 byte values: byte b of kByteMask[v] is 0xFF when bit b of v is set.
struct ByteMasks {
  uint64_t m[256];
  ByteMasks() {
    for (int v = 0; v < 256; ++v) {
      m[v] = 0;
      for (int b = 0; b < 8; ++b)
        if (v >> b & 1) m[v] |= uint64_t{0xFF} << (8 * b);
    }
  }
};
const ByteMasks kByteMask;

// out[i] |= value for every reached voxel (value 255 extracts them, 2 marks a zeroed scratch).
// With `reset` every other non-zero byte becomes 1 in the same pass: the reset of a seed run
// together with its first seed's result (reached voxels are never 0).
void markReached(const TRgrowBitFlood& e, uint8_t* out, uint8_t value, bool reset) {
  const int W = e.W(), rows = e.rowCount(), nw = e.wordsPerRow();
  const uint64_t spread = uint64_t{0x0101010101010101} * value;
  t_rgrowParallelFor(rows, kRgrowParallelMin / W, [&](long long r0, long long r1) {
    for (long long row = r0; row < r1; ++row) {
      uint8_t* line = out + static_cast<size_t>(row) * W;
      const uint64_t* bits = e.reachedRow(static_cast<int>(row));
      for (int w = 0; w < nw; ++w) {
        const uint64_t b = bits[w];
        if (!b && !reset) continue;
        const int n = std::min(64, W - w * 64);
        for (int k = 0; k * 8 < n; ++k) {
          const uint64_t m = kByteMask.m[(b >> (8 * k)) & 0xFF] & spread;
          if (!m && !reset) continue;
          uint8_t* dst = line + w * 64 + k * 8;
          uint64_t cur = 0;
          if (n - k * 8 >= 8)
            std::memcpy(&cur, dst, 8);
          else  // the row ends inside these 8 bytes
            std::memcpy(&cur, dst, n - k * 8);
          if (reset) {  // 1 in every non-zero byte: fold each byte's bits into its lowest bit
            uint64_t t = cur | (cur >> 4);
            t |= t >> 2;
            t |= t >> 1;
            cur = t & uint64_t{0x0101010101010101};
          }
          cur |= m;
          if (n - k * 8 >= 8)
            std::memcpy(dst, &cur, 8);
          else
            std::memcpy(dst, &cur, n - k * 8);
        }
      }
    }
  });
}

// Every non-zero flag becomes 1.
void resetFlags(uint8_t* flags, size_t n) {
  t_rgrowParallelFor(static_cast<long long>(n), kRgrowParallelMin, [&](long long i0, long long i1) {
    for (long long i = i0; i < i1; ++i)
      if (flags[i]) flags[i] = 1;
  });
}

bool validSeed(const TRgrowVolume& vol, const TQueueVoxel& s) {
  return s.x >= 0 && s.x < vol.W && s.y >= 0 && s.y < vol.H && s.z >= 0 && s.z < vol.D &&
         s.idx == s.x + vol.W * (s.y + vol.H * s.z);
}

// One flood into a byte scratch volume (2 reached, 0 elsewhere).
template <class FillPass>
bool floodIntoScratch(const TRgrowVolume& vol, const uint8_t* flags, const TQueueVoxel& seed, bool faceOnly,
                      uint8_t* scratch, const FillPass& fill) {
  if (!flags || !scratch || !vol.valid() || !validSeed(vol, seed)) return false;
  TRgrowBitFlood e;
  if (!e.allocate(vol.W, vol.H, vol.D)) return false;
  fill(e);
  e.addStart(seed.x, seed.y, seed.z);
  e.grow(faceOnly);
  std::memset(scratch, 0, vol.voxelCount());
  markReached(e, scratch, 2, false);
  return true;
}

// The seed loop shared by the distance and threshold floods; fill(engine, seed) fills the pass
// set.
template <class FillPass>
TRgrowStatus floodSeeds(const TRgrowVolume& vol, uint8_t* flags, const TPoints& seeds, const double extent[3],
                        bool faceOnly, const TRgrowProgress& progress, const FillPass& fill) {
  if (!flags || !vol.valid() || !extent) return TRgrowStatus::BadInput;
  if (seeds.size() > static_cast<size_t>(kRgrowMaxSeeds)) return TRgrowStatus::TooManySeeds;
  TRgrowBitFlood e;
  if (!seeds.empty() && !e.allocate(vol.W, vol.H, vol.D)) return TRgrowStatus::OutOfMemory;
  bool resetDone = false;
  const int n = static_cast<int>(seeds.size());
  for (int k = 0; k < n; ++k) {
    TQueueVoxel s;
    // The reset keeps zero and non-zero flags apart, so the seed test may come before it.
    if (t_rgrowSeedVoxel(seeds[k], extent, vol.W, vol.H, vol.D, s) && flags[s.idx] != 0) {
      if (resetDone) e.clearReached();
      fill(e, s);
      e.addStart(s.x, s.y, s.z);
      e.grow(faceOnly);
      markReached(e, flags, 255, !resetDone);
      resetDone = true;
      std::printf("%d/%d   ", k, n);
      std::fflush(stdout);
    }
    t_rgrowReport(progress, static_cast<double>(k + 1) / n);
  }
  if (!resetDone) resetFlags(flags, vol.voxelCount());
  return TRgrowStatus::Ok;
}

}  // namespace

bool t_rgrowSeedVoxel(const TVec3& p, const double extent[3], int W, int H, int D, TQueueVoxel& out) {
  const int dims[3] = {W, H, D};
  int v[3];
  for (int a = 0; a < 3; ++a) {
    const double e = extent[a];
    if (!(e > 0) || !std::isfinite(e) || dims[a] <= 0) return false;
    if (!(0 <= p[a] && p[a] <= e)) return false;  // also rejects NaN
    const double t = std::trunc(p[a] / (e / dims[a]));
    v[a] = static_cast<int>(std::min<double>(std::max(t, 0.0), dims[a] - 1));
  }
  out = TQueueVoxel(v[0], v[1], v[2], v[0] + W * (v[1] + H * v[2]));
  return true;
}

bool t_regionGrowFlood26(const TRgrowVolume& vol, const uint8_t* flags, float r, const TQueueVoxel& seed,
                         uint8_t* scratch) {
  return floodIntoScratch(vol, flags, seed, false, scratch,
                          [&](TRgrowBitFlood& e) { fillPassDistance(e, vol, flags, r, seed.idx); });
}

bool t_regionGrowFlood6(const TRgrowVolume& vol, const uint8_t* flags, float r, const TQueueVoxel& seed,
                        uint8_t* scratch) {
  return floodIntoScratch(vol, flags, seed, true, scratch,
                          [&](TRgrowBitFlood& e) { fillPassDistance(e, vol, flags, r, seed.idx); });
}

bool t_regionGrowFloodList27(const TRgrowVolume& vol, const uint8_t* flags, const TRgrowThresholds& t,
                             const TQueueVoxel& seed, uint8_t* scratch) {
  if (!vol.gradient) return false;
  return floodIntoScratch(vol, flags, seed, false, scratch,
                          [&](TRgrowBitFlood& e) { fillPassThreshold(e, vol, flags, t); });
}

bool t_regionGrowFloodList6(const TRgrowVolume& vol, const uint8_t* flags, const TRgrowThresholds& t,
                            const TQueueVoxel& seed, uint8_t* scratch) {
  if (!vol.gradient) return false;
  return floodIntoScratch(vol, flags, seed, true, scratch,
                          [&](TRgrowBitFlood& e) { fillPassThreshold(e, vol, flags, t); });
}

TRgrowStatus t_regionGrowFromSeeds(const TRgrowVolume& vol, uint8_t* flags, const TPoints& seeds,
                                   const double extent[3], float r, bool faceOnly,
                                   const TRgrowProgress& progress) {
  return floodSeeds(vol, flags, seeds, extent, faceOnly, progress,
                    [&](TRgrowBitFlood& e, const TQueueVoxel& s) { fillPassDistance(e, vol, flags, r, s.idx); });
}

TRgrowStatus t_regionGrowListFromSeeds(const TRgrowVolume& vol, uint8_t* flags, const TPoints& seeds,
                                       const double extent[3], const TRgrowThresholds& t, bool faceOnly,
                                       const TRgrowProgress& progress) {
  if (!vol.gradient) return TRgrowStatus::BadInput;
  // Filled again for every seed: the previous seed's voxel was added to the pass set.
  return floodSeeds(vol, flags, seeds, extent, faceOnly, progress,
                    [&](TRgrowBitFlood& e, const TQueueVoxel&) { fillPassThreshold(e, vol, flags, t); });
}

size_t t_rgrowSeedFloodScratchBytes(int W, int H, int D) { return TRgrowBitFlood::bytesFor(W, H, D); }

// ---- shape growth ---------------------------------------------------------------------------------

namespace {

struct Neighbour {
  int dx, dy, dz, weight;
};

// The 26 neighbours in table order (dz slowest, dx fastest) with their support weights.
std::vector<Neighbour> shapeNeighbours() {
  std::vector<Neighbour> t;
  for (int dz = -1; dz <= 1; ++dz)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int zeros = (dx == 0) + (dy == 0) + (dz == 0);
        if (zeros == 3) continue;
        t.push_back({dx, dy, dz, zeros == 0 ? 2 : zeros == 1 ? 3 : 4});
      }
  return t;
}

enum : uint8_t { kOpen = 0, kClosed = 1, kGrown = 2, kTouched = 3 };

// Grows one seed.  visit: kOpen for the `open` voxels that may grow, kClosed otherwise (prepared
// by the caller), support all 0.  Ends with kGrown on the grown voxels.  report(share) receives
// the share of the open voxels grown so far, after waves that add at least a hundredth.
template <class Report>
void shapeGrow(const TRgrowVolume& vol, uint8_t* visit, uint8_t* support, const TQueueVoxel& seed, int coefficient,
               long long open, std::vector<TQueueVoxel>& front, std::vector<TQueueVoxel>& touched,
               const Report& report) {
  static const std::vector<Neighbour> table = shapeNeighbours();
  const int W = vol.W, H = vol.H, D = vol.D;
  const int plane = W * H;
  front.clear();
  front.push_back(seed);
  visit[seed.idx] = kGrown;
  long long grown = 0, reported = 0;
  for (int wave = 0; !front.empty(); ++wave) {
    touched.clear();
    for (const TQueueVoxel& v : front) {
      for (const Neighbour& nb : table) {
        const int x = v.x + nb.dx, y = v.y + nb.dy, z = v.z + nb.dz;
        if (x < 0 || x >= W || y < 0 || y >= H || z < 0 || z >= D) continue;
        const int i = v.idx + nb.dx + W * nb.dy + plane * nb.dz;
        if (visit[i] == kOpen) {
          visit[i] = kTouched;
          touched.push_back(TQueueVoxel(x, y, z, i));
        } else if (visit[i] != kTouched) {
          continue;
        }
        support[i] = static_cast<uint8_t>(support[i] + nb.weight);
      }
    }
    // Only candidates whose support grew in this wave can join now: the others failed the same
    // bound before (the bound changes once, after the third wave, when no candidate is waiting).
    const int bound = wave < 3 ? 1 : coefficient;
    front.clear();
    for (const TQueueVoxel& c : touched) {
      if (support[c.idx] >= bound) {
        visit[c.idx] = kGrown;
        front.push_back(c);
      } else {
        visit[c.idx] = kOpen;
      }
    }
    grown += static_cast<long long>(front.size());
    if (open > 0 && (grown - reported) * 100 >= open) {
      reported = grown;
      report(static_cast<double>(grown) / open);
    }
  }
}

}  // namespace

size_t t_rgrowShapeScratchBytes(int W, int H, int D) {
  TRgrowVolume vol;
  vol.W = W, vol.H = H, vol.D = D;
  return 3 * vol.voxelCount();
}

TRgrowStatus t_regionGrowShapeFromSeeds(const TRgrowVolume& vol, uint8_t* flags, const TPoints& seeds,
                                        const double extent[3], float r, int coefficient,
                                        const TRgrowProgress& progress) {
  if (!flags || !vol.valid() || !extent) return TRgrowStatus::BadInput;
  if (seeds.size() > static_cast<size_t>(kRgrowMaxSeeds)) return TRgrowStatus::TooManySeeds;
  const size_t n = vol.voxelCount();
  const long long count = static_cast<long long>(n);
  const int seedCount = static_cast<int>(seeds.size());
  // The flags change only after every seed has grown, so that running out of memory on the way
  // leaves them as they were.
  std::unique_ptr<uint8_t[]> grown;
  try {
    std::unique_ptr<uint8_t[]> visit, support;
    std::vector<TQueueVoxel> front, touched;
    if (seedCount > 0) {
      grown.reset(new uint8_t[n]());
      visit.reset(new uint8_t[n]);
      support.reset(new uint8_t[n]);
    }
    for (int k = 0; k < seedCount; ++k) {
      TQueueVoxel s;
      if (!t_rgrowSeedVoxel(seeds[k], extent, vol.W, vol.H, vol.D, s) || flags[s.idx] == 0) {
        t_rgrowReport(progress, static_cast<double>(k + 1) / seedCount);
        continue;
      }
      const float rr = r * r;
      float a[3] = {0, 0, 0};
      for (int c = 0; c < vol.channels; ++c) a[c] = vol.ch[c][s.idx];
      uint8_t* vis = visit.get();
      std::atomic<long long> openCount{0};
      t_rgrowParallelFor(count, kRgrowParallelMin, [&](long long i0, long long i1) {
        long long open = 0;
        for (long long i = i0; i < i1; ++i) {
          float d2 = 0;
          for (int c = 0; c < vol.channels; ++c) {
            const float d = a[c] - vol.ch[c][i];
            d2 = c == 0 ? d * d : d2 + d * d;
          }
          vis[i] = flags[i] != 0 && rr > d2 ? kOpen : kClosed;
          open += vis[i] == kOpen;
        }
        openCount += open;
      });
      const long long open = openCount.load();
      std::memset(support.get(), 0, n);
      shapeGrow(vol, vis, support.get(), s, coefficient, open, front, touched, [&](double share) {
        t_rgrowReport(progress, (k + std::min(share, 1.0)) / seedCount);
      });
      uint8_t* g = grown.get();
      t_rgrowParallelFor(count, kRgrowParallelMin, [&](long long i0, long long i1) {
        for (long long i = i0; i < i1; ++i)
          if (vis[i] == kGrown) g[i] = 1;
      });
      std::printf("fin region growing %d / %d \n", k, seedCount);
      std::fflush(stdout);
      t_rgrowReport(progress, static_cast<double>(k + 1) / seedCount);
    }
  } catch (const std::bad_alloc&) {
    return TRgrowStatus::OutOfMemory;
  }
  const uint8_t* g = grown.get();
  t_rgrowParallelFor(count, kRgrowParallelMin, [&](long long i0, long long i1) {
    for (long long i = i0; i < i1; ++i)
      if (flags[i]) flags[i] = g && g[i] ? 255 : 1;
  });
  return TRgrowStatus::Ok;
}
