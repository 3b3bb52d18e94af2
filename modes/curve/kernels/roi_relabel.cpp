#include "modes/curve/kernels/roi_relabel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "geom/mesh_rasterise.h"
#include "platform/LargeMemory.h"

namespace {

// Bits of the working raster.
constexpr uint8_t kInside = 1;  // the current surface's inside test
constexpr uint8_t kNear = 2;    // in the zone of an edit
constexpr uint8_t kFollow = 4;  // follows the current surface

// The inside test of the closed surface (verts, polys) at the voxels of the box from voxel lo,
// dims voxels wide, into out.  Only the triangles that reach the box's rows take part (a row is
// decided by the crossings along it, wherever they lie).
void inBox(const std::vector<TVec3>& verts, const std::vector<TPolyIdx>& polys, const int lo[3], const int dims[3],
           const double pitch[3], uint8_t* out) {
  const double y0 = (lo[1] - 1) * pitch[1], y1 = (lo[1] + dims[1] + 1) * pitch[1];
  const double z0 = (lo[2] - 1) * pitch[2], z1 = (lo[2] + dims[2] + 1) * pitch[2];
  TTriangleMesh box;
  std::vector<int> index(verts.size(), -1);
  for (const TPolyIdx& t : polys) {
    double ymin = 1e300, ymax = -1e300, zmin = 1e300, zmax = -1e300;
    bool valid = true;
    for (int v : t) {
      valid = valid && v >= 0 && v < static_cast<int>(verts.size());
      if (!valid) break;
      ymin = std::min(ymin, verts[v][1]), ymax = std::max(ymax, verts[v][1]);
      zmin = std::min(zmin, verts[v][2]), zmax = std::max(zmax, verts[v][2]);
    }
    if (!valid || ymax < y0 || ymin > y1 || zmax < z0 || zmin > z1) continue;
    TPolyIdx q;
    for (int k = 0; k < 3; ++k) {
      int& i = index[t[k]];
      if (i < 0) {
        i = static_cast<int>(box.verts.size());
        TVec3 p = verts[t[k]];
        for (int a = 0; a < 3; ++a) p[a] -= lo[a] * pitch[a];
        box.verts.push_back(p);
      }
      q[k] = i;
    }
    box.polys.push_back(q);
  }
  box.vertexCount = static_cast<int>(box.verts.size());
  box.polyCount = static_cast<int>(box.polys.size());
  const double extent[3] = {dims[0] * pitch[0], dims[1] * pitch[1], dims[2] * pitch[2]};
  t_rasterizeMeshToVolume(dims[0], dims[1], dims[2], box, extent, out);
}

// The zone of the edits in a raster of W x H x D voxels: what lies near the paths of surface
// points and where an erase changed the inside, marked as asked, and the bounding box of all
// that was marked.
class ZoneWalk {
 public:
  ZoneWalk(uint8_t* bits, int W, int H, int D) : m_bits(bits), m_W(W), m_WH(size_t(W) * H) {
    m_dims[0] = W, m_dims[1] = H, m_dims[2] = D;
    for (int k = 0; k < 3; ++k) m_lo[k] = m_dims[k], m_hi[k] = -1;
  }
  const int* lo() const { return m_lo; }
  const int* hi() const { return m_hi; }

  // Marks the voxels whose centres lie within r voxels of the segment a-b (voxel-centre
  // coordinates).  A long oblique segment is walked layer by layer along one of its long axes: in
  // a layer only a box of at most (4.5r + 1)^2 voxels can come within r of it, so the cost grows
  // with the length, not with the volume of the segment's bounding box; any other segment's box
  // is small and scanned as it is.
  void segment(const double a[3], const double b[3], double r, uint8_t mark) {
    for (int k = 0; k < 3; ++k)
      if (!std::isfinite(a[k]) || !std::isfinite(b[k])) return;
    Segment sg{{a[0], a[1], a[2]}, {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, 0.0, r * r};
    // The layers run across y or z where the segment is not much longer along x: the rows of a
    // layer then run along x, the order of the voxels in memory.
    int m = std::fabs(sg.ab[2]) > std::fabs(sg.ab[1]) ? 2 : 1;
    if (std::fabs(sg.ab[0]) > 2.0 * std::fabs(sg.ab[m])) m = 0;
    const double len2 = sg.ab[0] * sg.ab[0] + sg.ab[1] * sg.ab[1] + sg.ab[2] * sg.ab[2];
    sg.inv2 = len2 > 0 ? 1.0 / len2 : 0.0;
    int lo[3], hi[3];
    double box = 1.0, layer = 1.0;
    double g[3] = {0, 0, 0}, h[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
      lo[k] = first(std::min(a[k], b[k]) - r, k);
      hi[k] = last(std::max(a[k], b[k]) + r, k);
      if (lo[k] > hi[k]) return;
      box *= hi[k] - lo[k] + 1;
      if (k == m || sg.ab[m] == 0.0) continue;
      // The voxels of a layer within r of the line through the segment lie within r sqrt(1 + g^2)
      // of where it crosses the layer, g being the line's slope towards axis k.
      g[k] = sg.ab[k] / sg.ab[m];
      h[k] = r * std::sqrt(1.0 + g[k] * g[k]);
      layer *= 2.0 * h[k] + 2.0;
    }
    if (sg.ab[m] == 0.0 || box <= 2.0 * layer * (hi[m] - lo[m] + 1)) {
      if (scan(sg, lo, hi, mark)) widen(lo, hi);
      return;
    }
    bool any = false;
    const double inv = 1.0 / sg.ab[m], reach = r * std::fabs(inv);
    for (int L = lo[m]; L <= hi[m]; ++L) {
      // Where the line crosses layer L, and the stretch of the segment within r of the layer.
      const double tc = (L - a[m]) * inv, t0 = std::max(tc - reach, 0.0), t1 = std::min(tc + reach, 1.0);
      if (t0 > t1) continue;
      const bool whole = t0 == tc - reach && t1 == tc + reach;
      int l[3], u[3];
      l[m] = u[m] = L;
      for (int k = 0; k < 3; ++k) {
        if (k == m) continue;
        const double c = a[k] + tc * sg.ab[k];
        double from = c - h[k], to = c + h[k];
        if (!whole) {
          // Near an end: also within r of what is left of the segment.
          const double p0 = a[k] + t0 * sg.ab[k], p1 = a[k] + t1 * sg.ab[k];
          from = std::max(from, std::min(p0, p1) - r);
          to = std::min(to, std::max(p0, p1) + r);
        }
        l[k] = first(from, k);
        u[k] = last(to, k);
      }
      any = scan(sg, l, u, mark) || any;
    }
    if (any) widen(lo, hi);
  }

  // The paths of the points of one triangle, from its corners a to its corners b (voxel-centre
  // coordinates): sampled at half a voxel or less, so where its corners stand farther apart than
  // that the voxels its middle swept are taken too (each corner is a sample: its own path always
  // counts), each within r voxels.  With `all`, every sample counts; else only those that moved
  // by half a voxel or more.  False when a newer request overtook the walk (asked now and then).
  template <class Stale>
  bool triangle(const double a[3][3], const double b[3][3], bool all, double r, uint8_t mark, Stale&& stale) {
    double span = 0;
    for (int j = 0; j < 3; ++j) {
      double ea = 0, eb = 0;
      for (int k = 0; k < 3; ++k) {
        ea += (a[j][k] - a[(j + 1) % 3][k]) * (a[j][k] - a[(j + 1) % 3][k]);
        eb += (b[j][k] - b[(j + 1) % 3][k]) * (b[j][k] - b[(j + 1) % 3][k]);
      }
      span = std::max({span, ea, eb});
    }
    // A triangle with a corner not finite is taken at its corners only, one wider than 256
    // voxels more coarsely.
    const int steps = std::isfinite(span) ? static_cast<int>(std::clamp(std::ceil(std::sqrt(span) / 0.5), 1.0, 512.0)) : 1;
    for (int i = 0; i <= steps; ++i) {
      for (int j = 0; i + j <= steps; ++j) {
        const double w[3] = {double(steps - i - j) / steps, double(i) / steps, double(j) / steps};
        double p[3] = {0, 0, 0}, q[3] = {0, 0, 0}, d2 = 0;
        for (int k = 0; k < 3; ++k) {
          for (int c = 0; c < 3; ++c) {
            p[k] += w[c] * a[c][k];
            q[k] += w[c] * b[c][k];
          }
          d2 += (q[k] - p[k]) * (q[k] - p[k]);
        }
        if (all || d2 >= 0.25) segment(p, q, r, mark);
        if (++m_paths % 4096 == 0 && stale()) return false;
      }
    }
    return true;
  }

  // Marks the voxels of the box [lo, hi] (world) where the surfaces of the erase just before and
  // just after it disagree about the inside, with the corners of both where they stood then and
  // where they stood at entry.
  void erase(const TRefErase& e, const double pitch[3], uint8_t mark) {
    int lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
      if (!std::isfinite(e.lo[k]) || !std::isfinite(e.hi[k])) return;
      lo[k] = first(e.lo[k] / pitch[k] - 0.5, k);
      hi[k] = last(e.hi[k] / pitch[k] - 0.5, k);
      if (lo[k] > hi[k]) return;
    }
    const int dims[3] = {hi[0] - lo[0] + 1, hi[1] - lo[1] + 1, hi[2] - lo[2] + 1};
    const size_t n = size_t(dims[0]) * dims[1] * dims[2];
    std::vector<uint8_t> before(n), after(n);
    for (const std::vector<TVec3>* at : {&e.before, &e.atEntry}) {
      const std::vector<TVec3>& afterAt = at == &e.before ? e.after : e.atEntry;
      inBox(*at, e.polysBefore, lo, dims, pitch, before.data());
      inBox(afterAt, e.polysAfter, lo, dims, pitch, after.data());
      for (int z = 0; z < dims[2]; ++z)
        for (int y = 0; y < dims[1]; ++y)
          for (int x = 0; x < dims[0]; ++x) {
            const size_t i = x + size_t(dims[0]) * (y + size_t(dims[1]) * z);
            if (before[i] == after[i]) continue;
            const int c[3] = {x + lo[0], y + lo[1], z + lo[2]};
            m_bits[c[0] + m_W * c[1] + m_WH * c[2]] |= mark;
            for (int k = 0; k < 3; ++k) {
              m_lo[k] = std::min(m_lo[k], c[k]);
              m_hi[k] = std::max(m_hi[k], c[k]);
            }
          }
    }
  }

 private:
  struct Segment {
    double a[3], ab[3];
    double inv2, r2;  // 1 / |ab|^2 (0 for a point), r^2
  };

  void widen(const int lo[3], const int hi[3]) {
    for (int k = 0; k < 3; ++k) {
      m_lo[k] = std::min(m_lo[k], lo[k]);
      m_hi[k] = std::max(m_hi[k], hi[k]);
    }
  }

  // Marks the voxels of the box [lo, hi] within the segment's reach; whether there were any.
  bool scan(const Segment& s, const int lo[3], const int hi[3], uint8_t mark) {
    bool any = false;
    for (int z = lo[2]; z <= hi[2]; ++z)
      for (int y = lo[1]; y <= hi[1]; ++y) {
        const double qy = y - s.a[1], qz = z - s.a[2], dyz = qy * s.ab[1] + qz * s.ab[2];
        uint8_t* row = m_bits + m_W * y + m_WH * z;
        // Along a row the distance to the segment is convex: the voxels within reach are one run.
        bool in = false;
        for (int x = lo[0]; x <= hi[0]; ++x) {
          const double qx = x - s.a[0];
          const double t = std::clamp((qx * s.ab[0] + dyz) * s.inv2, 0.0, 1.0);
          const double ex = qx - t * s.ab[0], ey = qy - t * s.ab[1], ez = qz - t * s.ab[2];
          if (ex * ex + ey * ey + ez * ez > s.r2) {
            if (in) break;
            continue;
          }
          in = any = true;
          row[x] |= mark;
        }
      }
    return any;
  }

  // The first and the last voxel index of axis k at or after (before) v; from v clamped to a
  // voxel beyond either end while still a double (a point dragged far outside the volume must
  // not overflow the conversion).  An empty range has first > last.  (Rounded by hand: these run
  // for every layer of a walk, and the library's ceil and floor are calls.)
  int first(double v, int k) const {
    v = std::clamp(v, -1.0, double(m_dims[k]));
    const int i = static_cast<int>(v);  // towards zero
    return std::max(0, i + int(i < v));
  }
  int last(double v, int k) const {
    v = std::clamp(v, -1.0, double(m_dims[k]));
    const int i = static_cast<int>(v);
    return std::min(m_dims[k] - 1, i - int(i > v));
  }

  uint8_t* m_bits;
  size_t m_W, m_WH;
  int m_dims[3];
  int m_lo[3], m_hi[3];
  long long m_paths = 0;
};

bool relabel(TRelabelJob& job, const std::atomic<uint64_t>* newest) {
  auto stale = [&]() {
    if (!newest || newest->load(std::memory_order_acquire) <= job.generation) return false;
    job.outcome = TRelabelOutcome::Stale;
    return true;
  };
  job.outcome = TRelabelOutcome::Mismatch;
  const size_t n = static_cast<size_t>(std::max(job.W, 0)) * std::max(job.H, 0) * std::max(job.D, 0);
  if (job.entry && job.entry->size() != n) return false;
  const std::vector<uint8_t>* entry = job.entry.get();
  if (n == 0 || (!entry && job.labels.size() != n)) return false;
  if (stale()) return false;
  // An open or empty surface has no inside: relabelling from it would remove the whole region.
  job.outcome = TRelabelOutcome::NoSurface;
  if (job.mesh.polyCount == 0) return false;
  for (const TMeshEdge& e : job.mesh.edges)
    if (e.isBoundary()) return false;
  // Nor has one with a corner that is not a point.
  for (const TVec3& v : job.mesh.verts)
    if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) return false;
  const std::int64_t avail = t_availableMemoryBytes();
  if (avail > 0 && static_cast<uint64_t>(avail) < n) {
    job.outcome = TRelabelOutcome::NoMemory;
    return false;
  }
  std::vector<uint8_t> bits(n, 0);
  t_rasterizeMeshToVolume(job.W, job.H, job.D, job.mesh, job.extent, bits.data());
  if (stale()) return false;
  if (!entry) {
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < static_cast<long long>(n); ++i) job.labels[i] = t_refLabel(job.labels[i], bits[i] != 0);
    job.outcome = TRelabelOutcome::Done;
    return true;
  }
  const std::vector<uint8_t>& E = *entry;
  const size_t W = static_cast<size_t>(job.W), WH = W * job.H;
  auto crossed = [&](size_t i) { return ((E[i] & kRefEntrySurface) != 0) != ((bits[i] & kInside) != 0); };
  double pitch[3];
  const int dims[3] = {job.W, job.H, job.D};
  for (int k = 0; k < 3; ++k) pitch[k] = job.extent[k] > 0 ? job.extent[k] / dims[k] : 1.0;
  ZoneWalk zone(bits.data(), job.W, job.H, job.D);
  // Six points a triangle, corners then corners, into voxel-centre coordinates.
  auto walk = [&](const std::vector<TVec3>& tris, bool all, double r, uint8_t mark) {
    for (size_t m = 0; m + 5 < tris.size(); m += 6) {
      double a[3][3], b[3][3];
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) {
          a[j][k] = tris[m + j][k] / pitch[k] - 0.5;
          b[j][k] = tris[m + 3 + j][k] / pitch[k] - 0.5;
        }
      if (!zone.triangle(a, b, all, r, mark, stale)) return false;
    }
    return true;
  };
  if (!walk(job.moved, false, 1.0, kNear)) return false;
  if (job.dropped) {
    if (!walk(job.dropped->triangles, true, 2.0, kNear | kFollow)) return false;
    for (const std::shared_ptr<const TRefErase>& e : job.dropped->erases) {
      zone.erase(*e, pitch, kNear | kFollow);
      if (stale()) return false;
    }
  }
  const int* zoneLo = zone.lo();
  const int* zoneHi = zone.hi();
  // Which voxels of the zone follow the surface, decided on the rasters alone: those it crossed,
  // and those next to one of them, on its side of the surface now, where the entry surface and
  // the region disagree.
  for (int z = zoneLo[2]; z <= zoneHi[2]; ++z)
    for (int y = zoneLo[1]; y <= zoneHi[1]; ++y)
      for (int x = zoneLo[0]; x <= zoneHi[0]; ++x) {
        const size_t v = x + W * y + WH * z;
        if ((bits[v] & (kNear | kFollow)) != kNear) continue;
        if (crossed(v)) {
          bits[v] |= kFollow;
          continue;
        }
        if (((E[v] & kRefEntrySurface) != 0) == ((E[v] & kRefEntryRegion) != 0)) continue;
        bool nextTo = false;
        for (int dz = -1; dz <= 1 && !nextTo; ++dz)
          for (int dy = -1; dy <= 1 && !nextTo; ++dy)
            for (int dx = -1; dx <= 1 && !nextTo; ++dx) {
              const int X = x + dx, Y = y + dy, Z = z + dz;
              if (X < 0 || Y < 0 || Z < 0 || X >= job.W || Y >= job.H || Z >= job.D) continue;
              const size_t c = X + W * Y + WH * Z;
              nextTo = (bits[c] & kNear) && crossed(c) && (bits[c] & kInside) == (bits[v] & kInside);
            }
        if (nextTo) bits[v] |= kFollow;
      }
  if (stale()) return false;
#pragma omp parallel for schedule(static)
  for (long long i = 0; i < static_cast<long long>(n); ++i) {
    const bool region = (E[i] & kRefEntryRegion) != 0;
    const bool in = (bits[i] & kFollow) ? (bits[i] & kInside) != 0 : region;
    bits[i] = region ? (in ? 6 : 2) : (in ? 4 : 0);
  }
  job.labels.swap(bits);
  job.outcome = TRelabelOutcome::Done;
  return true;
}

}  // namespace

bool t_relabelByRoiMesh(TRelabelJob& job, const std::atomic<uint64_t>* newest) {
  try {
    return relabel(job, newest);
  } catch (const std::bad_alloc&) {
    job.outcome = TRelabelOutcome::NoMemory;
    return false;
  } catch (...) {
    job.outcome = TRelabelOutcome::Failed;
    return false;
  }
}

void t_refEntryRaster(int W, int H, int D, const double extent[3], const TTriangleMesh& mesh,
                      const uint8_t* entryLabels, std::vector<uint8_t>& out) {
  const size_t n = static_cast<size_t>(W) * H * D;
  out.assign(W <= 0 || H <= 0 || D <= 0 ? 0 : n, 0);
  if (out.empty()) return;
  if (mesh.polyCount > 0) {
    TTriangleMesh copy;
    copy.copyFrom(mesh);
    t_rasterizeMeshToVolume(W, H, D, copy, extent, out.data());
  }
  if (!entryLabels) return;
  for (size_t i = 0; i < n; ++i)
    if (t_refWasInside(entryLabels[i])) out[i] |= kRefEntryRegion;
}

std::vector<TVec3> t_refMovedPoints(const TTriangleMesh& mesh, const TPoints& initialPositions,
                                    const double voxelSize[3]) {
  const int n = std::min(mesh.vertexCount, static_cast<int>(initialPositions.size()));
  std::vector<uint8_t> moved(std::max(n, 0), 0);
  for (int i = 0; i < n; ++i) {
    double d2 = 0;
    for (int k = 0; k < 3; ++k) {
      const double d = (mesh.verts[i][k] - initialPositions[i][k]) / (voxelSize[k] > 0 ? voxelSize[k] : 1.0);
      d2 += d * d;
    }
    moved[i] = d2 >= 0.25;
  }
  std::vector<TVec3> out;
  for (int t = 0; t < mesh.polyCount && t < static_cast<int>(mesh.polys.size()); ++t) {
    const TPolyIdx& p = mesh.polys[t];
    bool valid = true, any = false;
    for (int v : p) {
      valid = valid && v >= 0 && v < n;
      any = any || (valid && moved[v]);
    }
    if (!valid || !any) continue;
    for (int v : p) out.push_back(initialPositions[v]);
    for (int v : p) out.push_back(mesh.verts[v]);
  }
  return out;
}

void t_refLabelsToCutFlags(const uint8_t* labels, size_t n, uint8_t* flags) {
  for (size_t i = 0; i < n; ++i) flags[i] = (labels[i] == 0 || labels[i] == 2) ? 1 : 255;
}

void t_refLabelsFromCutFlags(const uint8_t* flags, size_t n, uint8_t* labels) {
  for (size_t i = 0; i < n; ++i) labels[i] = t_refLabel(labels[i], flags[i] == 255);
}

void t_commitRefLabels(const uint8_t* labels, size_t n, uint8_t* mask, int targetId, bool touched[256]) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t l = labels[i];
    if (l == 2) {
      mask[i] = 0;
    } else if (l == 4 || l == 6) {
      if (mask[i] != targetId) touched[mask[i]] = true;
      mask[i] = static_cast<uint8_t>(targetId);
    }
  }
  touched[0] = false;
}
