#pragma once
// Connected growth over a packed bit volume: the engine under the region-growing floods.
//
// Every x-row (y, z) of the volume is a run of 64-bit words, bit x of the row at bit x % 64 of
// word x / 64.  The caller fills the pass set (the voxels a flood may enter) and marks the start
// voxels; grow() then adds every voxel of the pass set that is connected to a start voxel through
// voxels of the pass set, with the 26-neighbourhood or the 6 face neighbours.  The result is
// the same set that a voxel-by-voxel queue flood gives, found 64 voxels at a time: a row is
// recomputed from its neighbour rows (dilated by one voxel along x for 26 neighbours) and filled
// along the runs of its pass bits, and rows whose bits changed wake their neighbour rows.
//
// Rows whose neighbours changed are taken by sweeps in alternating row order, so a change
// propagates along the sweep at once and backwards in the next sweep.  All memory is taken by
// allocate(); grow() allocates nothing.
#include <cstddef>
#include <cstdint>
#include <memory>

class TRgrowBitFlood {
 public:
  // Takes the pass and reached bit volumes and the row schedule for W x H x D voxels.  Returns
  // false (and holds nothing) when the sizes are not positive or memory is short.  Sizes already
  // allocated are kept.  The reached set starts empty; the pass set must be filled before grow().
  bool allocate(int W, int H, int D);
  void release();
  // The bytes allocate(W, H, D) takes (0 for sizes it refuses): the two bit volumes, a row of
  // scratch and the row schedule.
  static size_t bytesFor(int W, int H, int D);

  int W() const { return m_W; }
  int H() const { return m_H; }
  int D() const { return m_D; }
  int wordsPerRow() const { return m_nw; }
  int rowCount() const { return m_rows; }
  size_t wordCount() const { return static_cast<size_t>(m_rows) * m_nw; }

  // Row r = y + H * z.  Bits beyond W in the last word of a row must stay 0.
  uint64_t* passRow(int r) { return m_pass.get() + static_cast<size_t>(r) * m_nw; }
  uint64_t* reachedRow(int r) { return m_reached.get() + static_cast<size_t>(r) * m_nw; }
  const uint64_t* reachedRow(int r) const { return m_reached.get() + static_cast<size_t>(r) * m_nw; }
  bool reached(int x, int y, int z) const {
    return (reachedRow(y + m_H * z)[x >> 6] >> (x & 63)) & 1u;
  }

  // Empties the reached set.
  void clearReached();
  // Puts (x, y, z) into the pass set and the reached set: a start voxel is reached whatever its
  // own test says.
  void addStart(int x, int y, int z);
  // Grows the reached set through the pass set until nothing more is connected.  faceOnly
  // selects the 6 face neighbours, otherwise all 26 neighbours count.
  void grow(bool faceOnly);

 private:
  bool processRow(int r, bool faceOnly, uint64_t* tmp);
  void fillRuns(const uint64_t* pass, uint64_t* bits) const;
  // Calls visit(q) for the rows q whose voxels neighbour voxels of row r.
  template <class Visit>
  void forNeighbours(int r, bool faceOnly, Visit visit) const;

  int m_W = 0, m_H = 0, m_D = 0, m_nw = 0, m_rows = 0;
  std::unique_ptr<uint64_t[]> m_pass, m_reached;
  std::unique_ptr<uint64_t[]> m_tmp;    // one row of scratch
  std::unique_ptr<uint64_t[]> m_dirty;  // one bit per row: its neighbours changed since it was computed
};
