#include <algorithm>
#include <cmath>

#include "implicit/TCanvasContour.h"

namespace {

// acos of a dot product of unit vectors: rounding can push it just past +-1.
double safeAcos(double d) { return std::acos(std::max(-1.0, std::min(1.0, d))); }

}  // namespace

void TCanvasContour::calcCrossPoints(int indexA, TCanvasContour& a, int indexB, TCanvasContour& b,
                                     double tolerance2) {
  const TPoints& P = a.stroke.points;
  const int n = static_cast<int>(P.size());
  std::vector<TCanvasCrossing> cross;
  double acc = 0.0;
  auto testSegment = [&](const TVec3& p0, const TVec3& p1, double arcStart) {
    const double len = t_dist3(p0, p1);
    int poly = -1;
    double hit[3], t = 0.0;
    if (b.canvas.polyCount > 0 && TTriangleMesh::intersectRay(p0, p1, b.canvas, poly, hit, t)) {
      TCanvasCrossing c;
      for (int k = 0; k < 3; ++k) {
        c.pos[k] = hit[k];
        c.dir[k] = len > 0 ? (p1[k] - p0[k]) / len : 0.0;
      }
      c.arcPos = arcStart + t * len;
      cross.push_back(c);
    }
    return len;
  };
  for (int k = 1; k < n; ++k) acc += testSegment(P[k - 1], P[k], acc);
  if (a.bClosed && n >= 3) testSegment(P[n - 1], P[0], acc);

  // Crossings closer than the tolerance to the previous kept one count once.
  std::vector<TCanvasCrossing> kept;
  for (const TCanvasCrossing& c : cross) {
    if (!kept.empty() && t_distSq3(c.pos, kept.back().pos) < tolerance2) continue;
    kept.push_back(c);
  }

  for (const TCanvasCrossing& c : kept) {
    double q[3], d2 = 0.0, tt = 0.0, sB = 0.0;
    int j0 = -1, j1 = -1;
    if (!t_closestPointOnPolyline(c.pos, b.stroke.points, q, d2, j0, j1, tt, sB)) continue;
    if (d2 >= tolerance2) continue;
    double dA[3] = {c.dir[0], c.dir[1], c.dir[2]};
    t_normalize3(dA);
    double dB[3];
    t_sub3(b.stroke.points[static_cast<size_t>(j0 + 1)], b.stroke.points[static_cast<size_t>(j0)], dB);
    t_normalize3(dB);
    double nA[3], nB[3];
    a.calcInPlaneNormal(nA, c.pos, dA);
    b.calcInPlaneNormal(nB, q, dB);
    double X[3];
    t_cross3(dA, dB, X);
    const double lx = t_length3(X);
    if (lx < 1e-5) continue;
    double u[3] = {X[0] / lx, X[1] / lx, X[2] / lx};
    double uA[3], uB[3];
    const double sa = t_dot3(u, nA) >= 0 ? 1.0 : -1.0, sb = t_dot3(u, nB) >= 0 ? 1.0 : -1.0;
    for (int k = 0; k < 3; ++k) {
      uA[k] = sa * u[k];
      uB[k] = sb * u[k];
    }
    double cr[3];
    double angleA = safeAcos(t_dot3(uA, nA));
    t_cross3(nA, uA, cr);
    if (t_dot3(cr, dA) < 0) angleA = -angleA;
    double angleB = safeAcos(t_dot3(uB, nB));
    t_cross3(nB, uB, cr);
    if (t_dot3(cr, dB) < 0) angleB = -angleB;

    TTiltHandle ha;
    for (int k = 0; k < 3; ++k) {
      ha.pos[k] = c.pos[k];
      ha.dir[k] = dA[k];
      ha.axis[k] = uA[k];
    }
    ha.arcPos = c.arcPos;
    ha.angle = angleA;
    ha.otherContour = indexB;
    a.tiltHandles.emplace(c.arcPos, ha);

    TTiltHandle hb;
    for (int k = 0; k < 3; ++k) {
      hb.pos[k] = q[k];
      hb.dir[k] = dB[k];
      hb.axis[k] = uB[k];
    }
    hb.arcPos = sB;
    hb.angle = angleB;
    hb.otherContour = indexA;
    b.tiltHandles.emplace(sB, hb);
  }
}

void t_gatherContourConstraints(int nChannels, const std::vector<TCanvasContour>& stored,
                                const TCanvasContour& drawn, unsigned& newCount, unsigned& prevCount,
                                std::vector<int>& rowBlockEnd, std::vector<THrbfSample>& packed) {
  const int k = nChannels + 4;
  prevCount = 0;
  for (const TCanvasContour& c : stored) prevCount += static_cast<unsigned>(c.activeSampleCount());
  newCount = static_cast<unsigned>(drawn.activeSampleCount());
  const size_t total = static_cast<size_t>(prevCount) + newCount;
  rowBlockEnd.assign((total + 1) * static_cast<size_t>(k), 0);
  packed.clear();
  packed.reserve(total);

  size_t upTo = 0;
  long long nFirst = -1;
  auto addBlock = [&](const TCanvasContour& c) {
    const size_t cnt = c.activeSampleCount();
    if (nFirst < 0) nFirst = static_cast<long long>(cnt);
    const size_t first = upTo;
    upTo += cnt;
    const int last = k + k * static_cast<int>(upTo) - 1;
    for (size_t s = first; s < upTo; ++s)
      for (int r = 0; r < k; ++r) rowBlockEnd[static_cast<size_t>(k) * (s + 1) + r] = last;
    for (size_t s = 0; s < cnt; ++s) packed.push_back(c.samples[s]);
  };
  for (const TCanvasContour& c : stored) addBlock(c);
  if (stored.empty()) nFirst = -1;
  addBlock(drawn);
  if (!stored.empty()) nFirst = static_cast<long long>(stored.front().activeSampleCount());
  // One past the last row of the first block: with nothing stored that is the matrix size,
  // which the factorisation clamps to the last row.
  for (int r = 0; r < k; ++r) rowBlockEnd[static_cast<size_t>(r)] = static_cast<int>((nFirst + 1) * k);
}

void t_gatherRbfPoints(const std::vector<TCanvasContour>& stored, const TCanvasContour& drawn,
                       unsigned& newCount, unsigned& prevCount, std::vector<TRbfPoint>& points) {
  points.clear();
  auto take = [&](const TCanvasContour& c) {
    if (!c.hasValidShape()) return 0u;
    points.insert(points.end(), c.rbfPoints.begin(), c.rbfPoints.end());
    return static_cast<unsigned>(c.rbfPoints.size());
  };
  prevCount = 0;
  for (const TCanvasContour& c : stored) prevCount += take(c);
  newCount = take(drawn);
}

void t_gatherContourConstraints(int nChannels, const std::vector<TCanvasContour>& stored,
                                const TCanvasContour& drawn, unsigned* newCount, unsigned* prevCount,
                                int** rowBlockEnd, THrbfSample** packed) {
  std::vector<int> rb;
  std::vector<THrbfSample> pk;
  t_gatherContourConstraints(nChannels, stored, drawn, *newCount, *prevCount, rb, pk);
  *rowBlockEnd = new int[rb.size()];
  std::copy(rb.begin(), rb.end(), *rowBlockEnd);
  *packed = new THrbfSample[pk.size() > 0 ? pk.size() : 1];
  std::copy(pk.begin(), pk.end(), *packed);
}
