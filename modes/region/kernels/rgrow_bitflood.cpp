#include "modes/region/kernels/rgrow_bitflood.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "modes/region/kernels/rgrow_parallel.h"

namespace {

template <class T>
std::unique_ptr<T[]> tryAlloc(size_t n) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[n]);
}

// Zeroes n words with the threads that will use them (first touch places the pages).
void zeroWords(uint64_t* p, size_t n) {
  const long long blocks = static_cast<long long>((n + 4095) / 4096);
  t_rgrowParallelFor(blocks, 256, [&](long long b0, long long b1) {
    for (long long b = b0; b < b1; ++b) {
      const size_t begin = static_cast<size_t>(b) * 4096;
      std::memset(p + begin, 0, sizeof(uint64_t) * std::min<size_t>(4096, n - begin));
    }
  });
}

// The word counts of the engine's arrays for W x H x D voxels.
struct Layout {
  long long rows = 0;
  int nw = 0;             // words per row
  size_t words = 0;       // of each bit volume
  size_t dirtyWords = 0;  // of the row schedule
};

bool layoutFor(int W, int H, int D, Layout& l) {
  if (W <= 0 || H <= 0 || D <= 0) return false;
  l.rows = static_cast<long long>(H) * D;
  if (l.rows > INT32_MAX - 1) return false;
  l.nw = (W + 63) / 64;
  l.words = static_cast<size_t>(l.rows) * l.nw;
  l.dirtyWords = static_cast<size_t>((l.rows + 63) / 64);
  return true;
}

}  // namespace

size_t TRgrowBitFlood::bytesFor(int W, int H, int D) {
  Layout l;
  if (!layoutFor(W, H, D, l)) return 0;
  return sizeof(uint64_t) * (2 * l.words + static_cast<size_t>(l.nw) + l.dirtyWords);
}

bool TRgrowBitFlood::allocate(int W, int H, int D) {
  Layout l;
  if (!layoutFor(W, H, D, l)) {
    release();
    return false;
  }
  if (W == m_W && H == m_H && D == m_D && m_pass) {
    clearReached();
    return true;
  }
  release();
  m_pass = tryAlloc<uint64_t>(l.words);
  m_reached = tryAlloc<uint64_t>(l.words);
  m_tmp = tryAlloc<uint64_t>(l.nw);
  m_dirty = tryAlloc<uint64_t>(l.dirtyWords);
  if (!m_pass || !m_reached || !m_tmp || !m_dirty) {
    release();
    return false;
  }
  m_W = W;
  m_H = H;
  m_D = D;
  m_nw = l.nw;
  m_rows = static_cast<int>(l.rows);
  zeroWords(m_reached.get(), l.words);
  return true;
}

void TRgrowBitFlood::release() {
  m_pass.reset();
  m_reached.reset();
  m_tmp.reset();
  m_dirty.reset();
  m_W = m_H = m_D = m_nw = m_rows = 0;
}

void TRgrowBitFlood::clearReached() { zeroWords(m_reached.get(), wordCount()); }

void TRgrowBitFlood::addStart(int x, int y, int z) {
  const int r = y + m_H * z;
  const uint64_t bit = uint64_t{1} << (x & 63);
  passRow(r)[x >> 6] |= bit;
  reachedRow(r)[x >> 6] |= bit;
}

// Extends `bits` (a subset of `pass`) to the whole runs of pass bits that it touches.
// Upwards a single addition does it: adding the seed bits to the pass bits carries through the
// rest of each run above a seed, across words by the carry.  Downwards the runs are filled by
// doubling shifts, word by word from the top, entering a word at bit 63 when the run continues
// from bit 0 of the word above.
void TRgrowBitFlood::fillRuns(const uint64_t* pass, uint64_t* bits) const {
  unsigned carry = 0;
  for (int w = 0; w < m_nw; ++w) {
    const uint64_t p = pass[w], s = bits[w];
    const unsigned __int128 sum = static_cast<unsigned __int128>(p) + s + carry;
    const uint64_t lo = static_cast<uint64_t>(sum);
    carry = static_cast<unsigned>(sum >> 64);
    bits[w] = ((lo ^ p) & p) | s;
  }
  uint64_t enter = 0;
  for (int w = m_nw - 1; w >= 0; --w) {
    uint64_t p = pass[w];
    uint64_t g = bits[w] | (enter & p);
    g |= p & (g >> 1);
    p &= p >> 1;
    g |= p & (g >> 2);
    p &= p >> 2;
    g |= p & (g >> 4);
    p &= p >> 4;
    g |= p & (g >> 8);
    p &= p >> 8;
    g |= p & (g >> 16);
    p &= p >> 16;
    g |= p & (g >> 32);
    bits[w] = g;
    enter = (g & 1u) ? (uint64_t{1} << 63) : 0;
  }
}

template <class Visit>
void TRgrowBitFlood::forNeighbours(int r, bool faceOnly, Visit visit) const {
  const int y = r % m_H, z = r / m_H;
  for (int dz = -1; dz <= 1; ++dz) {
    const int zz = z + dz;
    if (zz < 0 || zz >= m_D) continue;
    for (int dy = -1; dy <= 1; ++dy) {
      if (dz == 0 && dy == 0) continue;
      if (faceOnly && dz != 0 && dy != 0) continue;
      const int yy = y + dy;
      if (yy < 0 || yy >= m_H) continue;
      visit(yy + m_H * zz);
    }
  }
}

// Recomputes row r from its neighbour rows; true when it gained bits.
bool TRgrowBitFlood::processRow(int r, bool faceOnly, uint64_t* in) {
  const int nw = m_nw;
  std::memset(in, 0, sizeof(uint64_t) * nw);
  forNeighbours(r, faceOnly, [&](int q) {
    const uint64_t* row = reachedRow(q);
    for (int w = 0; w < nw; ++w) in[w] |= row[w];
  });
  const uint64_t* pass = passRow(r);
  uint64_t* bits = reachedRow(r);
  uint64_t gained = 0;
  if (faceOnly) {
    for (int w = 0; w < nw; ++w) {
      in[w] &= pass[w];
      gained |= in[w] & ~bits[w];
    }
  } else {
    // Union of the neighbour rows dilated by one voxel along x (the dilation of a union is the
    // union of the dilations).  Computed in place from the top word down, so each word still
    // sees the undilated word below it.
    uint64_t above = 0;  // undilated word w + 1
    for (int w = nw - 1; w >= 0; --w) {
      const uint64_t v = in[w];
      const uint64_t below = w > 0 ? in[w - 1] : 0;
      in[w] = (v | (v << 1) | (v >> 1) | (below >> 63) | (above << 63)) & pass[w];
      gained |= in[w] & ~bits[w];
      above = v;
    }
  }
  if (!gained) return false;
  for (int w = 0; w < nw; ++w) in[w] |= bits[w];
  fillRuns(pass, in);
  std::memcpy(bits, in, sizeof(uint64_t) * nw);
  return true;
}

void TRgrowBitFlood::grow(bool faceOnly) {
  if (!m_pass) return;
  const int dirtyWords = (m_rows + 63) / 64;
  uint64_t* dirty = m_dirty.get();
  std::fill(dirty, dirty + dirtyWords, 0);
  long long pending = 0;
  auto wake = [&](int q) {
    uint64_t& w = dirty[q >> 6];
    const uint64_t bit = uint64_t{1} << (q & 63);
    if (!(w & bit)) w |= bit, ++pending;
  };
  // Rows that hold start bits: fill their runs and wake their neighbours.
  for (int r = 0; r < m_rows; ++r) {
    uint64_t* bits = reachedRow(r);
    uint64_t any = 0;
    for (int w = 0; w < m_nw; ++w) any |= bits[w];
    if (!any) continue;
    fillRuns(passRow(r), bits);
    forNeighbours(r, faceOnly, wake);
  }
  // Sweeps over the woken rows, alternately in increasing and decreasing row order: a change
  // wakes rows ahead of the sweep, which it takes at once, and rows behind, which the next sweep
  // in the other direction takes.
  uint64_t* tmp = m_tmp.get();
  for (bool forward = true; pending > 0; forward = !forward) {
    for (int k = 0; k < dirtyWords; ++k) {
      const int wi = forward ? k : dirtyWords - 1 - k;
      while (dirty[wi]) {
        const int b = forward ? __builtin_ctzll(dirty[wi]) : 63 - __builtin_clzll(dirty[wi]);
        dirty[wi] &= ~(uint64_t{1} << b);
        --pending;
        const int r = wi * 64 + b;
        if (processRow(r, faceOnly, tmp)) forNeighbours(r, faceOnly, wake);
      }
    }
  }
}
