#include "modes/region/kernels/brush_paint.h"

bool t_brushVoxel(std::uint8_t* flags, const std::uint8_t* mask, std::int64_t index, bool paint,
                  const TPaintRules& rules) {
  std::uint8_t& f = flags[index];
  const int m = mask ? mask[index] : 0;
  if (paint) {
    if (rules.fixOther && m != 0) return false;
    if (f == 255) return false;
    f = 255;
    return true;
  }
  if (f != 255) return false;
  f = (rules.refinement && m == rules.targetId) ? 1 : 0;
  return true;
}

bool t_lassoVoxel(std::uint8_t* flags, const std::uint8_t* mask, std::int64_t index, bool paint,
                  const TPaintRules& rules) {
  std::uint8_t& f = flags[index];
  const int m = mask ? mask[index] : 0;
  std::uint8_t v;
  if (paint) {
    if (rules.fixOther && m != 0 && !(rules.refinement && m == rules.targetId)) return false;
    v = 255;
  } else {
    v = (rules.refinement && m == rules.targetId) ? 1 : 0;
  }
  if (f == v) return false;
  f = v;
  return true;
}

bool t_paintVoxelAt(const TVoxelBox& box, const double point[3], std::uint8_t* flags,
                    const std::uint8_t* mask, bool paint, const TPaintRules& rules,
                    TPaintedSet& painted) {
  int ijk[3];
  if (!box.voxelOf(point, ijk)) return false;
  const std::int64_t idx = box.index(ijk[0], ijk[1], ijk[2]);
  if (painted.count(idx)) return false;
  if (!t_brushVoxel(flags, mask, idx, paint, rules)) return false;
  std::array<double, 3> c;
  box.centre(ijk, c.data());
  painted.emplace(idx, c);
  return true;
}

bool t_brushOutline(const TVoxelBox& box, const double point[3], double lo[3], double hi[3]) {
  int ijk[3];
  if (!box.voxelOf(point, ijk)) return false;
  box.cell(ijk, lo, hi);
  return true;
}

TMaskCommit t_commitFlagsToMask(const std::uint8_t* flags, std::uint8_t* mask, std::int64_t n,
                                std::uint8_t newId, bool eraseOnes) {
  TMaskCommit r;
  std::array<std::int64_t, 256> after{};
  for (std::int64_t i = 0; i < n; ++i) {
    const std::uint8_t old = mask[i];
    std::uint8_t m = old;
    if (flags[i] == 255) {
      m = newId;
      ++r.written;
    } else if (eraseOnes && flags[i] == 1) {
      m = 0;
    }
    if (m != old) {
      mask[i] = m;
      r.changed[old] = true;
      r.changed[m] = true;
    }
    ++after[m];
  }
  r.voxels = after;
  return r;
}
