// Voxels within the radius of the centre lines.  Each row of voxels tests only the
// segments whose radius-widened box reaches it; the per-segment distance is the one of
// t_closestPointOnPolyline, so a voxel is filled exactly when that closest point lies
// within the radius.
#include "modes/curve/kernels/ccyl_fill.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>

namespace {

struct Segment {
  TVec3 a, b;
  double ab[3];
  double L2;  // 0: a single point (the centre line of zero length)
  double lo[3], hi[3];
};

struct Prepared {
  std::vector<Segment> segs;
  double r2;
  double lo[3], hi[3];  // the centre line's box widened by the radius
};

// Squared distance from p to the segment, as t_closestPointOnPolyline measures it.
inline double distSq(const Segment& s, const double p[3]) {
  if (s.L2 == 0.0) return t_distSq3(s.a, p);
  double ap[3];
  t_sub3(p, s.a, ap);
  const double tt = t_dot3(ap, s.ab) / s.L2;
  double c[3];
  if (tt <= 0.0) {
    c[0] = s.a[0]; c[1] = s.a[1]; c[2] = s.a[2];
  } else if (tt >= 1.0) {
    c[0] = s.b[0]; c[1] = s.b[1]; c[2] = s.b[2];
  } else {
    for (int j = 0; j < 3; ++j) c[j] = s.a[j] + tt * s.ab[j];
  }
  return t_distSq3(c, p);
}

bool prepare(const Tstroke3D_tube& tube, double meanPitch, Prepared& out) {
  const double r = tube.radius;
  if (tube.points.empty() || !(r >= 0.0) || !std::isfinite(r)) return false;
  TCCylCurve::getBoundingBox(tube.points, out.lo, out.hi);
  for (int k = 0; k < 3; ++k) {
    out.lo[k] -= r;
    out.hi[k] += r;
  }
  out.r2 = r * r;
  out.segs.clear();
  const double len = tube.length();
  if (!(len > 0.0)) {
    Segment s;
    s.a = s.b = tube.points[0];
    s.ab[0] = s.ab[1] = s.ab[2] = 0.0;
    s.L2 = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double pad = r + 1e-9 * (r + std::fabs(s.a[k]));
      s.lo[k] = s.a[k] - pad;
      s.hi[k] = s.a[k] + pad;
    }
    out.segs.push_back(s);
    return true;
  }
  double want = 2.0 * double(tube.points.size());
  if (meanPitch > 0.0 && std::isfinite(len / meanPitch)) want = std::max(want, std::floor(len / meanPitch));
  want = std::min(want, 1e7);  // a line far longer than the volume needs no finer steps
  TPoints line;
  t_resamplePolyline(int(want), tube.points, line);
  for (size_t q = 1; q < line.size(); ++q) {
    Segment s;
    s.a = line[q - 1];
    s.b = line[q];
    t_sub3(s.b, s.a, s.ab);
    s.L2 = t_dot3(s.ab, s.ab);
    if (s.L2 == 0.0) continue;  // skipped, as the closest-point search does
    for (int k = 0; k < 3; ++k) {
      // A little slack: the box only narrows the search; the distance decides.
      const double pad = r + 1e-9 * (r + std::fabs(s.a[k]) + std::fabs(s.b[k]));
      s.lo[k] = std::min(s.a[k], s.b[k]) - pad;
      s.hi[k] = std::max(s.a[k], s.b[k]) + pad;
    }
    out.segs.push_back(s);
  }
  return !out.segs.empty();
}

// Voxel index range [first, last] whose centres (i + 0.5)·p lie in [lo, hi].
void voxelRange(double lo, double hi, double p, int n, int& first, int& last) {
  first = int(std::max(0.0, std::ceil(lo / p - 0.5)));
  const double l = std::floor(hi / p - 0.5);
  last = l >= double(n - 1) ? n - 1 : int(l);
}

}  // namespace

TCCylFillResult t_fillCurvedCylinders(const uint8_t* flags, uint8_t* mask, int W, int H, int D,
                                      const double pitch[3], const std::vector<Tstroke3D_tube>& tubes, int id,
                                      const std::function<void(int)>& progress) {
  TCCylFillResult res;
  if (id < 1 || id > 255) {
    res.refused = true;
    return res;
  }
  if (!flags || !mask || W <= 0 || H <= 0 || D <= 0) return res;
  const double px = pitch[0], py = pitch[1], pz = pitch[2];
  if (!(px > 0.0 && py > 0.0 && pz > 0.0)) return res;
  const double meanPitch = (px + py + pz) * 0.3333333;

  std::vector<Prepared> prepared;
  for (const Tstroke3D_tube& t : tubes) {
    Prepared p;
    if (prepare(t, meanPitch, p)) prepared.push_back(std::move(p));
  }

  const uint8_t value = uint8_t(id);
  long long filled = 0;
  std::atomic<int> done{0};
  std::vector<std::array<bool, 256>> takenPer(size_t(std::max(1, omp_get_max_threads())));
  for (auto& t : takenPer) t.fill(false);

#pragma omp parallel reduction(+ : filled)
  {
    std::array<bool, 256>& taken = takenPer[size_t(omp_get_thread_num()) % takenPer.size()];
    std::vector<char> hit(size_t(W), 0);
    std::vector<const Segment*> cand;
#pragma omp for schedule(dynamic, 1)
    for (int k = 0; k < D; ++k) {
      const double z = (k + 0.5) * pz;
      for (int j = 0; j < H; ++j) {
        const double y = (j + 0.5) * py;
        int rowFirst = W, rowLast = -1;
        for (const Prepared& t : prepared) {
          if (z < t.lo[2] || z > t.hi[2] || y < t.lo[1] || y > t.hi[1]) continue;
          cand.clear();
          double xlo = DBL_MAX, xhi = -DBL_MAX;
          for (const Segment& s : t.segs)
            if (z >= s.lo[2] && z <= s.hi[2] && y >= s.lo[1] && y <= s.hi[1]) {
              cand.push_back(&s);
              xlo = std::min(xlo, s.lo[0]);
              xhi = std::max(xhi, s.hi[0]);
            }
          if (cand.empty()) continue;
          int i0, i1;
          voxelRange(std::max(xlo, t.lo[0]), std::min(xhi, t.hi[0]), px, W, i0, i1);
          const uint8_t* frow = flags + (size_t(k) * H + j) * W;
          for (int i = i0; i <= i1; ++i) {
            if (frow[i] != 1 || hit[size_t(i)]) continue;
            const double c[3] = {(i + 0.5) * px, y, z};
            for (const Segment* s : cand)
              if (distSq(*s, c) <= t.r2) {
                hit[size_t(i)] = 1;
                rowFirst = std::min(rowFirst, i);
                rowLast = std::max(rowLast, i);
                break;
              }
          }
        }
        uint8_t* mrow = mask + (size_t(k) * H + j) * W;
        for (int i = rowFirst; i <= rowLast; ++i)
          if (hit[size_t(i)]) {
            taken[mrow[i]] = true;
            mrow[i] = value;
            ++filled;
            hit[size_t(i)] = 0;  // the buffer is all clear between rows
          }
      }
      const int finished = done.fetch_add(1) + 1;
      if (progress && omp_get_thread_num() == 0) progress(int((100LL * finished) / D));
    }
  }
  res.filled = filled;
  for (const auto& t : takenPer)
    for (int v = 0; v < 256; ++v) res.taken[size_t(v)] = res.taken[size_t(v)] || t[size_t(v)];
  res.taken[value] = false;
  return res;
}

std::vector<Tstroke3D_tube> t_collectCurveTubes(const std::vector<TCCylCurve>& stored, const TCCylCurve* editing) {
  std::vector<Tstroke3D_tube> tubes;
  tubes.reserve(stored.size() + 1);
  for (const TCCylCurve& c : stored) {
    tubes.emplace_back(c.tube.radius);
    c.copyCurveTo(tubes.back());
  }
  if (editing && editing->ctrlPoints.size() >= 2) {
    tubes.emplace_back(editing->tube.radius);
    editing->copyCurveTo(tubes.back());
  }
  return tubes;
}

int t_pickStoredCurve(const std::vector<TCCylCurve>& curves, const double origin[3], const double direction[3]) {
  int best = -1;
  double bestD2 = DBL_MAX;
  for (size_t c = 0; c < curves.size(); ++c) {
    const TCCylCurve& cv = curves[c];
    if (cv.ctrlPoints.size() < 2 || cv.tube.points.size() < 2) continue;
    int index = -1;
    const double d = cv.tube.pickByRay(origin, direction, index);
    if (!(d < cv.tube.radius) || index < 0 || index >= int(cv.tube.points.size())) continue;
    const double d2 = t_distSq3(cv.tube.points[size_t(index)], origin);
    if (d2 < bestD2) {
      bestD2 = d2;
      best = int(c);
    }
  }
  return best;
}
