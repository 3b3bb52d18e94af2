// Marching cubes over a padded lattice.
//
// Work is organised so that it scales with the surface, not with the grid, and runs in
// parallel without changing the result:
//  1. every sample row is classified once into a bit row (inside = 1, border padding at
//     both ends), so empty space costs a few word operations per 64 cells;
//  2. per cell row, the triangles and the new vertices are counted; a prefix sum gives
//     every cell row its first vertex and first triangle index;
//  3. slabs of z-layers are processed in parallel.  A cut lattice edge belongs to the cell
//     whose corner 6 is its upper end, so a cell creates at most three vertices (its
//     edges 6, 5 and 10, in that order) and refers to the others through two layers of
//     per-cell index slots.  A slab re-derives the indices of the layer just below it.
// The numbering equals that of a single sequential sweep (z outermost, x innermost,
// edges in the order 0, 2, 4, 6, 1, 3, 5, 7, 8, 9, 10, 11, a vertex numbered when first
// met), whatever the thread count.
#include "geom/marching_cubes.h"

#include <omp.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <memory>
#include <climits>
#include <cmath>
#include <cstdio>

#include "geom/marching_cubes_tables.h"
#include "geom/omp_exceptions.h"

namespace {

// Owner of each cell edge, as an offset from the cell, and the owner's slot for it
// (0: its x edge = edge 6, 1: its y edge = edge 10, 2: its z edge = edge 5).
struct EdgeOwner {
  int dx, dy, dz, slot;
};
const EdgeOwner kOwner[12] = {{0, -1, -1, 0}, {0, -1, 0, 2}, {0, -1, 0, 0}, {-1, -1, 0, 2},
                              {0, 0, -1, 0},  {0, 0, 0, 2},  {0, 0, 0, 0}, {-1, 0, 0, 2},
                              {-1, 0, -1, 1}, {0, 0, -1, 1}, {0, 0, 0, 1}, {-1, 0, 0, 1}};
constexpr uint16_t kOwnedEdges = (1u << 5) | (1u << 6) | (1u << 10);

// Cube-index bits of the left (x = i-1) and right (x = i) corners of a cell, from a
// 4-bit column code: bit 0 row (j-1, k-1), bit 1 row (j-1, k), bit 2 row (j, k-1),
// bit 3 row (j, k).
struct ColumnLut {
  uint8_t left[16], right[16];
  ColumnLut() {
    for (int c = 0; c < 16; ++c) {
      left[c] = uint8_t(((c & 1) ? 1 : 0) | ((c & 2) ? 8 : 0) | ((c & 4) ? 16 : 0) | ((c & 8) ? 128 : 0));
      right[c] = uint8_t(((c & 1) ? 2 : 0) | ((c & 2) ? 4 : 0) | ((c & 4) ? 32 : 0) | ((c & 8) ? 64 : 0));
    }
  }
};
const ColumnLut kColumn;

struct ByteSource {
  const uint8_t* data;
  bool borderInside() const { return false; }
  // Bit x of raw[x / 64] set when sample x of the row starting at base is inside.
  void rawBits(size_t base, int W, uint64_t* raw) const {
    const uint8_t* p = data + base;
    int x = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; x + 64 <= W; x += 64) {
      uint64_t w = 0;
      for (int q = 0; q < 4; ++q) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x + 16 * q));
        w |= uint64_t(uint16_t(~_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)))) << (16 * q);
      }
      raw[x >> 6] = w;
    }
#endif
    for (; x < W; x += 64) {
      uint64_t w = 0;
      const int e = std::min(W - x, 64);
      for (int b = 0; b < e; ++b) w |= uint64_t(p[x + b] != 0) << b;
      raw[x >> 6] = w;
    }
  }
  // The vertex of a cut edge sits at its midpoint, on the face between the two voxels.
  double frac(int, int, int, int, int, int) const { return 0.5; }
};

struct FloatSource {
  const float* data;
  float iso;
  int W, H, D;
  bool borderInside() const { return -1.0f > iso; }
  void rawBits(size_t base, int W, uint64_t* raw) const {
    const float* p = data + base;
    int x = 0;
#ifdef __SSE2__
    const __m128 t = _mm_set1_ps(iso);
    for (; x + 64 <= W; x += 64) {
      uint64_t w = 0;
      for (int q = 0; q < 16; ++q)
        w |= uint64_t(_mm_movemask_ps(_mm_cmpgt_ps(_mm_loadu_ps(p + x + 4 * q), t))) << (4 * q);
      raw[x >> 6] = w;
    }
#endif
    for (; x < W; x += 64) {
      uint64_t w = 0;
      const int e = std::min(W - x, 64);
      for (int b = 0; b < e; ++b) w |= uint64_t(p[x + b] > iso) << b;
      raw[x >> 6] = w;
    }
  }
  float value(int x, int y, int z) const {
    if (x < 0 || y < 0 || z < 0 || x >= W || y >= H || z >= D) return -1.0f;
    return data[size_t(x) + size_t(W) * (size_t(y) + size_t(H) * size_t(z))];
  }
  double frac(int x0, int y0, int z0, int x1, int y1, int z1) const {
    const double f0 = value(x0, y0, z0), f1 = value(x1, y1, z1);
    const double t = (double(iso) - f0) / (f1 - f0);
    return (t >= 0.0 && t <= 1.0) ? t : 0.5;  // only a NaN sample can leave [0, 1]
  }
};

template <class Src>
class Extractor {
 public:
  Extractor(const Src& src, int W, int H, int D, const double extent[3], const int* lo, const int* hi)
      : src_(src), W_(W), H_(H), D_(D) {
    s_[0] = extent[0] / W;
    s_[1] = extent[1] / H;
    s_[2] = extent[2] / D;
    // Cells run from 0 to W (H, D).  Triangles come from the cells touching the box; the
    // vertex owners one cell lower are visited too, so every referenced vertex exists.
    int clo[3] = {0, 0, 0}, chi[3] = {W, H, D};
    if (lo && hi) {
      const int dims[3] = {W, H, D};
      for (int a = 0; a < 3; ++a) {
        clo[a] = std::max(lo[a], 0);
        chi[a] = std::min(hi[a] + 1, dims[a]);
      }
    }
    for (int a = 0; a < 3; ++a) {
      t0_[a] = clo[a];
      c1_[a] = chi[a];
      v0_[a] = std::max(clo[a] - 1, 0);
      if (t0_[a] > c1_[a]) empty_ = true;
    }
    nw_ = (W + 2 + 63) / 64;
  }

  void run(std::vector<TVec3>& verts, std::vector<TPolyIdx>& tris) {
    verts.clear();
    tris.clear();
    if (empty_) return;
    classify();
    count();
    if (totalV_ > INT_MAX || totalT_ > INT_MAX) {
      fprintf(stderr, "marching cubes: surface too large (%lld vertices, %lld triangles)\n",
              (long long)totalV_, (long long)totalT_);
      return;
    }
    verts.resize(size_t(totalV_));
    tris.resize(size_t(totalT_));
    emit(verts.data(), tris.data());
  }

 private:
  // ---- sample rows as bit rows -------------------------------------------------------
  // Bit p of a row stands for sample x = p - 1; p = 0 and p = W + 1 are the padding.
  void classify() {
    ys_ = std::max(v0_[1] - 1, 0);
    ye_ = std::min(c1_[1], H_ - 1);
    zs_ = std::max(v0_[2] - 1, 0);
    ze_ = std::min(c1_[2], D_ - 1);
    ny_ = ye_ - ys_ + 1;
    const int nz = ze_ - zs_ + 1;
    const uint64_t border = src_.borderInside() ? ~uint64_t(0) : 0;
    borderRow_.assign(size_t(nw_), border);
    if (ny_ <= 0 || nz <= 0) return;
    bits_.resize(size_t(ny_) * nz * nw_);
    const uint64_t edgeBits = src_.borderInside() ? 1 : 0;
    const int nRaw = (W_ + 63) / 64;
    TOmpExceptions errors;
#pragma omp parallel
    {
      std::vector<uint64_t> raw;
      errors.run([&] { raw.assign(size_t(nRaw) + 1, 0); });
#pragma omp for schedule(static)
      for (int z = zs_; z <= ze_; ++z) {
        if (errors.failed()) continue;
        for (int y = ys_; y <= ye_; ++y) {
          uint64_t* out = &bits_[(size_t(y - ys_) + size_t(ny_) * (z - zs_)) * nw_];
          src_.rawBits(size_t(W_) * (size_t(y) + size_t(H_) * size_t(z)), W_, raw.data());
          // Shift by one position to make room for the padding bit in front.
          uint64_t carry = edgeBits;
          for (int w = 0; w < nw_; ++w) {
            const uint64_t r = w < nRaw ? raw[size_t(w)] : 0;
            out[w] = (r << 1) | carry;
            carry = r >> 63;
          }
          out[(W_ + 1) >> 6] |= edgeBits << ((W_ + 1) & 63);
        }
      }
    }
    errors.rethrow();
  }

  const uint64_t* row(int y, int z) const {
    if (y < ys_ || y > ye_ || z < zs_ || z > ze_) return borderRow_.data();
    return &bits_[(size_t(y - ys_) + size_t(ny_) * (z - zs_)) * nw_];
  }

  static int bitAt(const uint64_t* r, int p) { return int((r[p >> 6] >> (p & 63)) & 1); }

  // Calls f(i, cubeIndex) for every cell i of row (j, k) in [v0_[0], c1_[0]] that the
  // surface passes through, in increasing i.
  template <class F>
  void forActiveCells(int j, int k, F&& f) const {
    const uint64_t* A = row(j - 1, k - 1);
    const uint64_t* B = row(j - 1, k);
    const uint64_t* C = row(j, k - 1);
    const uint64_t* E = row(j, k);
    const int ia = v0_[0], ib = c1_[0];
    const int wa = ia >> 6, wb = ib >> 6;
    auto all = [&](int w) { return w < nw_ ? (A[w] & B[w] & C[w] & E[w]) : uint64_t(0); };
    auto none = [&](int w) { return w < nw_ ? ~(A[w] | B[w] | C[w] | E[w]) : uint64_t(0); };
    uint64_t u1 = all(wa), u0 = none(wa);
    for (int w = wa; w <= wb; ++w) {
      const uint64_t u1n = all(w + 1), u0n = none(w + 1);
      // Cell i uses positions i and i + 1: it is empty when both columns are uniform alike.
      const uint64_t s1 = (u1 >> 1) | (u1n << 63), s0 = (u0 >> 1) | (u0n << 63);
      uint64_t act = ~((u1 & s1) | (u0 & s0));
      if (w == wa) act &= ~uint64_t(0) << (ia & 63);
      if (w == wb && (ib & 63) != 63) act &= (uint64_t(2) << (ib & 63)) - 1;
      while (act) {
        const int i = 64 * w + __builtin_ctzll(act);
        act &= act - 1;
        const int cl = bitAt(A, i) | (bitAt(B, i) << 1) | (bitAt(C, i) << 2) | (bitAt(E, i) << 3);
        const int cr = bitAt(A, i + 1) | (bitAt(B, i + 1) << 1) | (bitAt(C, i + 1) << 2) | (bitAt(E, i + 1) << 3);
        f(i, int(kColumn.left[cl] | kColumn.right[cr]));
      }
      u1 = u1n;
      u0 = u0n;
    }
  }

  size_t rowIndex(int j, int k) const { return size_t(j - v0_[1]) + size_t(nj_) * size_t(k - v0_[2]); }

  // ---- counts and prefix sums ---------------------------------------------------------
  void count() {
    const TMcTables& T = t_mcTables();
    nj_ = c1_[1] - v0_[1] + 1;
    nk_ = c1_[2] - v0_[2] + 1;
    std::vector<uint32_t> rv(size_t(nj_) * nk_, 0), rt(size_t(nj_) * nk_, 0);
#pragma omp parallel for schedule(dynamic, 1)
    for (int k = v0_[2]; k <= c1_[2]; ++k) {
      for (int j = v0_[1]; j <= c1_[1]; ++j) {
        uint32_t nv = 0, nt = 0;
        const bool triRow = j >= t0_[1] && k >= t0_[2];
        forActiveCells(j, k, [&](int i, int idx) {
          nv += uint32_t(__builtin_popcount(T.edgeMask[idx] & kOwnedEdges));
          if (triRow && i >= t0_[0]) nt += T.triCount[idx];
        });
        rv[rowIndex(j, k)] = nv;
        rt[rowIndex(j, k)] = nt;
      }
    }
    vStart_.resize(rv.size());
    tStart_.resize(rt.size());
    layerWork_.assign(size_t(nk_), 0);
    int64_t v = 0, t = 0;
    for (size_t r = 0; r < rv.size(); ++r) {
      vStart_[r] = v;
      tStart_[r] = t;
      v += rv[r];
      t += rt[r];
      layerWork_[r / size_t(nj_)] += int64_t(rv[r]) + rt[r];
    }
    totalV_ = v;
    totalT_ = t;
  }

  // ---- vertices and triangles -----------------------------------------------------------
  // Processes the cell layer k: numbers its vertices into cur, and, when out is given,
  // writes their positions and the layer's triangles.
  void layer(int k, const uint32_t* prev, uint32_t* cur, TVec3* outV, TPolyIdx* outT) const {
    const TMcTables& T = t_mcTables();
    const size_t rowStride = size_t(W_) + 1;
    for (int j = v0_[1]; j <= c1_[1]; ++j) {
      int64_t vId = vStart_[rowIndex(j, k)];
      int64_t tId = tStart_[rowIndex(j, k)];
      const bool triRow = outT && j >= t0_[1] && k >= t0_[2];
      forActiveCells(j, k, [&](int i, int idx) {
        const uint16_t m = T.edgeMask[idx];
        uint32_t* slot = cur + (size_t(j) * rowStride + size_t(i)) * 3;
        if (m & (1u << 6)) {  // x edge from sample (i-1, j, k) to (i, j, k)
          slot[0] = uint32_t(vId);
          if (outV) {
            const double t = src_.frac(i - 1, j, k, i, j, k);
            outV[vId].set((i - 0.5 + t) * s_[0], (j + 0.5) * s_[1], (k + 0.5) * s_[2]);
          }
          ++vId;
        }
        if (m & (1u << 5)) {  // z edge from sample (i, j, k-1) to (i, j, k)
          slot[2] = uint32_t(vId);
          if (outV) {
            const double t = src_.frac(i, j, k - 1, i, j, k);
            outV[vId].set((i + 0.5) * s_[0], (j + 0.5) * s_[1], (k - 0.5 + t) * s_[2]);
          }
          ++vId;
        }
        if (m & (1u << 10)) {  // y edge from sample (i, j-1, k) to (i, j, k)
          slot[1] = uint32_t(vId);
          if (outV) {
            const double t = src_.frac(i, j - 1, k, i, j, k);
            outV[vId].set((i + 0.5) * s_[0], (j - 0.5 + t) * s_[1], (k + 0.5) * s_[2]);
          }
          ++vId;
        }
        if (triRow && i >= t0_[0]) {
          const int8_t* e = T.tris[idx];
          for (int n = 0; e[n] >= 0; n += 3) {
            TPolyIdx& tri = outT[tId++];
            for (int c = 0; c < 3; ++c) {
              const EdgeOwner& o = kOwner[e[n + c]];
              const uint32_t* s = o.dz ? prev : cur;
              tri[c] = int(s[(size_t(j + o.dy) * rowStride + size_t(i + o.dx)) * 3 + o.slot]);
            }
          }
        }
      });
    }
  }

  void emit(TVec3* outV, TPolyIdx* outT) {
    // Balance the slabs by work (vertices + triangles + a constant per layer).
    const int nLayers = nk_;
    const int threads = std::max(1, omp_get_max_threads());
    const int nChunks = std::min(nLayers, threads == 1 ? 1 : 3 * threads);
    int64_t total = 0;
    const int64_t perLayer = std::max<int64_t>(1, int64_t(nj_) * (nw_ + 1) / 8);
    for (int64_t w : layerWork_) total += w + perLayer;
    std::vector<int> bounds(1, v0_[2]);
    int64_t acc = 0;
    for (int l = 0; l < nLayers; ++l) {
      acc += layerWork_[size_t(l)] + perLayer;
      if (int(bounds.size()) < nChunks && acc * nChunks >= total * int64_t(bounds.size()) && l + 1 < nLayers)
        bounds.push_back(v0_[2] + l + 1);
    }
    bounds.push_back(c1_[2] + 1);
    const int chunks = int(bounds.size()) - 1;
    const size_t slabSize = (size_t(W_) + 1) * (size_t(H_) + 1) * 3;
    TOmpExceptions errors;
#pragma omp parallel
    {
      // Only entries of cut edges are ever read, and those are written first.
      std::unique_ptr<uint32_t[]> slabA, slabB;
      errors.run([&] {
        slabA.reset(new uint32_t[slabSize]);
        slabB.reset(new uint32_t[slabSize]);
      });
#pragma omp for schedule(dynamic, 1)
      for (int c = 0; c < chunks; ++c) {
        if (errors.failed()) continue;
        uint32_t* prev = slabA.get();
        uint32_t* cur = slabB.get();
        const int ka = bounds[size_t(c)], kb = bounds[size_t(c) + 1];
        if (ka > v0_[2]) layer(ka - 1, nullptr, prev, nullptr, nullptr);
        for (int k = ka; k < kb; ++k) {
          layer(k, prev, cur, outV, outT);
          std::swap(prev, cur);
        }
      }
    }
    errors.rethrow();
  }

  const Src& src_;
  int W_, H_, D_;
  double s_[3];
  int t0_[3], v0_[3], c1_[3];
  bool empty_ = false;
  int nw_ = 0;
  int ys_ = 0, ye_ = -1, zs_ = 0, ze_ = -1, ny_ = 0;
  std::vector<uint64_t> bits_, borderRow_;
  int nj_ = 0, nk_ = 0;
  std::vector<int64_t> vStart_, tStart_, layerWork_;
  int64_t totalV_ = 0, totalT_ = 0;
};

bool usableDims(uint32_t W, uint32_t H, uint32_t D) {
  return W > 0 && H > 0 && D > 0 && W < uint32_t(INT_MAX) - 130 && H < uint32_t(INT_MAX) - 2 &&
         D < uint32_t(INT_MAX) - 2;
}

void buildMesh(TTriangleMesh& mesh, const std::vector<TVec3>& verts, const std::vector<TPolyIdx>& tris) {
  mesh.initFromVertsPolys(verts, tris);
  fprintf(stderr, "v= %d poly = %d\n", int(verts.size()), int(tris.size()));
}

}  // namespace

void t_marchingCubesByteArrays(uint32_t W, uint32_t H, uint32_t D, const uint8_t* volume, const double extent[3],
                               std::vector<TVec3>& verts, std::vector<TPolyIdx>& tris, const int* lo,
                               const int* hi) {
  verts.clear();
  tris.clear();
  if (!volume || !usableDims(W, H, D)) return;
  const ByteSource src{volume};
  Extractor<ByteSource>(src, int(W), int(H), int(D), extent, lo, hi).run(verts, tris);
}

void t_marchingCubesFloatArrays(uint32_t W, uint32_t H, uint32_t D, const float* field, float iso,
                                const double extent[3], std::vector<TVec3>& verts, std::vector<TPolyIdx>& tris,
                                const int* lo, const int* hi) {
  verts.clear();
  tris.clear();
  if (!field || !usableDims(W, H, D)) return;
  const FloatSource src{field, iso, int(W), int(H), int(D)};
  Extractor<FloatSource>(src, int(W), int(H), int(D), extent, lo, hi).run(verts, tris);
}

void t_marchingCubesByte(uint32_t W, uint32_t H, uint32_t D, const uint8_t* volume, const double extent[3],
                         TTriangleMesh& mesh, const int* lo, const int* hi) {
  std::vector<TVec3> verts;
  std::vector<TPolyIdx> tris;
  t_marchingCubesByteArrays(W, H, D, volume, extent, verts, tris, lo, hi);
  buildMesh(mesh, verts, tris);
}

void t_marchingCubesFloat(uint32_t W, uint32_t H, uint32_t D, const float* field, float iso,
                          const double extent[3], TTriangleMesh& mesh, const int* lo, const int* hi) {
  std::vector<TVec3> verts;
  std::vector<TPolyIdx> tris;
  t_marchingCubesFloatArrays(W, H, D, field, iso, extent, verts, tris, lo, hi);
  buildMesh(mesh, verts, tris);
}

namespace {

// Reduces the volume to blocks of step^3 voxels: a block is 255 when more than half of
// its voxels inside the volume match, then extracts the block grid.
template <class Match>
void coarseExtract(int W, int H, int D, const uint8_t* vol, const double extent[3], TTriangleMesh& mesh, int step,
                   Match match) {
  if (step < 1) step = 1;
  if (!vol || W <= 0 || H <= 0 || D <= 0) {
    buildMesh(mesh, {}, {});
    return;
  }
  const int cw = (W + step - 1) / step, ch = (H + step - 1) / step, cd = (D + step - 1) / step;
  std::vector<uint8_t> grid(size_t(cw) * ch * cd, 0);
#pragma omp parallel for schedule(static)
  for (int c = 0; c < cd; ++c) {
    const int z0 = c * step, z1 = std::min(z0 + step, D);
    for (int b = 0; b < ch; ++b) {
      const int y0 = b * step, y1 = std::min(y0 + step, H);
      for (int a = 0; a < cw; ++a) {
        const int x0 = a * step, x1 = std::min(x0 + step, W);
        int hits = 0;
        for (int z = z0; z < z1; ++z)
          for (int y = y0; y < y1; ++y) {
            const uint8_t* p = vol + size_t(W) * (size_t(y) + size_t(H) * size_t(z));
            for (int x = x0; x < x1; ++x) hits += match(p[x]) ? 1 : 0;
          }
        const int total = (x1 - x0) * (y1 - y0) * (z1 - z0);
        grid[size_t(a) + size_t(cw) * (size_t(b) + size_t(ch) * size_t(c))] =
            double(hits) / double(total) > 0.501 ? 255 : 0;
      }
    }
  }
  const int dims[3] = {W, H, D}, cdims[3] = {cw, ch, cd};
  double cext[3];
  for (int a = 0; a < 3; ++a)
    cext[a] = (dims[a] % step == 0) ? extent[a] : extent[a] / dims[a] * step * cdims[a];
  t_marchingCubesByte(uint32_t(cw), uint32_t(ch), uint32_t(cd), grid.data(), cext, mesh, nullptr, nullptr);
}

}  // namespace

void t_marchingCubesMaskRegion(int W, int H, int D, const uint8_t* mask, uint32_t id, const double extent[3],
                               TTriangleMesh& mesh, int step) {
  coarseExtract(W, H, D, mask, extent, mesh, step, [id](uint8_t v) { return uint32_t(v) == id; });
}

void t_marchingCubesNonZero(int W, int H, int D, const uint8_t* volume, const double extent[3],
                            TTriangleMesh& mesh, int step) {
  coarseExtract(W, H, D, volume, extent, mesh, step, [](uint8_t v) { return v != 0; });
}
