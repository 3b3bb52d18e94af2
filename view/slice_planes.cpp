#include "view/slice_planes.h"

#include <algorithm>
#include <cmath>

namespace {

// Axis of each plane's normal: XY z, YZ x, ZX y.
constexpr int kNormalAxis[3] = {2, 0, 1};

bool inBox(const double p[3], const double e[3], double tol) {
  for (int i = 0; i < 3; ++i)
    if (!(p[i] >= -tol && p[i] <= e[i] + tol)) return false;
  return true;
}

}  // namespace

bool t_clipLineToBox(const double extent[3], const double p[3], const double d[3], double entry[3],
                     double exit[3]) {
  bool hasEntry = false, hasExit = false;
  for (int i = 0; i < 3; ++i) {
    if (d[i] == 0 || std::isnan(d[i])) continue;
    for (int face = 0; face < 2; ++face) {
      const double plane = face == 0 ? extent[i] : 0.0;
      const double t = (plane - p[i]) / d[i];
      double q[3];
      for (int k = 0; k < 3; ++k) q[k] = p[k] + t * d[k];
      q[i] = plane;
      if (!inBox(q, extent, 0.001)) continue;
      // Entering through the far face when going down the axis, through 0 when going up.
      const bool isEntry = face == 0 ? d[i] < 0 : d[i] > 0;
      double* out = isEntry ? entry : exit;
      for (int k = 0; k < 3; ++k) out[k] = q[k];
      (isEntry ? hasEntry : hasExit) = true;
    }
  }
  return hasEntry && hasExit;
}

void t_smoothPolylineOnce(TPoints& pts) {
  if (pts.size() < 3) return;
  const TPoints src = pts;
  for (size_t i = 1; i + 1 < src.size(); ++i)
    for (int k = 0; k < 3; ++k)
      pts[i][k] = 0.5 * src[i][k] + 0.25 * (src[i - 1][k] + src[i + 1][k]);
}

void t_keepSlicesSane(double s[3], int W, int H, int D) {
  const int n[3] = {W > 0 ? W : 1, H > 0 ? H : 1, D > 0 ? D : 1};
  for (int i = 0; i < 3; ++i) {
    const double f = 1.0 / n[i];
    double& v = s[i];
    if (std::isnan(v)) v = 0;
    if (std::fabs(v - std::trunc(v / f) * f) < 0.25 * f) v += 0.25 * f;
    if (v <= 0) v = 0.5 * f;
    if (v >= 1) v = 1 - 0.5 * f;
  }
}

int t_pickSliceLine(int plane, const double s[3], const double e[3], const double p[3],
                    double tol) {
  // The pane's two in-plane axes, and which slice each of its two lines shows.
  int a0, a1;
  switch (plane) {
    case 0: a0 = 0, a1 = 1; break;  // XY: line 1 the YZ plane (x), line 2 the ZX plane (y)
    case 1: a0 = 1, a1 = 2; break;  // YZ: line 1 the ZX plane (y), line 2 the XY plane (z)
    case 2: a0 = 0, a1 = 2; break;  // ZX: line 1 the YZ plane (x), line 2 the XY plane (z)
    default: return 0;
  }
  if (!(p[a0] >= 0 && p[a0] <= e[a0] && p[a1] >= 0 && p[a1] <= e[a1])) return 0;
  const bool near1 = std::fabs(e[a0] * s[a0] - p[a0]) < tol;
  const bool near2 = std::fabs(e[a1] * s[a1] - p[a1]) < tol;
  return (near1 ? 1 : 0) + (near2 ? 2 : 0);
}

bool t_intersectSlicePlane(const double s[3], const double e[3], const double o[3],
                           const double d[3], int plane, double hit[3]) {
  hit[0] = hit[1] = hit[2] = -1;
  if (plane < 0 || plane > 2) return false;
  const int n = kNormalAxis[plane];
  if (d[n] == 0) return false;
  const double t = (e[n] * s[n] - o[n]) / d[n];
  if (!(t >= 0)) return false;  // behind the ray's origin
  for (int k = 0; k < 3; ++k) hit[k] = o[k] + t * d[k];
  hit[n] = e[n] * s[n];
  return inBox(hit, e, 0.0);
}

int t_pickSliceHandle(const double s[3], const double e[3], const bool shown[3], const double o[3],
                      const double d[3], double radius) {
  const double dd = t_dot3(d, d);
  if (!(dd > 0)) return -1;
  // YZ before ZX before XY.
  for (int plane : {1, 2, 0}) {
    const int n = kNormalAxis[plane];
    if (!shown[plane] || d[n] == 0) continue;
    double h[3] = {0, 0, 0};
    h[n] = e[n] * s[n];
    double ho[3];
    t_sub3(h, o, ho);
    const double t = t_dot3(ho, d) / dd;
    if (t < 0) continue;
    double q[3];
    for (int k = 0; k < 3; ++k) q[k] = o[k] + t * d[k] - h[k];
    if (t_length3(q) < radius) return plane;
  }
  return -1;
}

bool t_dragSliceHandle(double s[3], const double e[3], int plane, const double o[3],
                       const double d[3]) {
  if (plane < 0 || plane > 2) return false;
  const int n = kNormalAxis[plane];
  const int a = (n + 1) % 3, b = (n + 2) % 3;
  const double den = d[a] * d[a] + d[b] * d[b];
  if (!(den > 0)) return false;
  const double c = o[n] - d[n] * (d[a] * o[a] + d[b] * o[b]) / den;
  if (!(c >= 0 && c <= e[n]) || !(e[n] > 0)) return false;
  s[n] = c / e[n];
  return true;
}

int t_pickPointOnSlices(const double s[3], const double e[3], const bool shown[3],
                        const TTriangleMesh* cut, const double o[3], const double d[3],
                        double pos[3]) {
  int hitId = 4;
  double best = 1e7;
  for (int plane = 0; plane < 3; ++plane) {
    const int n = kNormalAxis[plane];
    if (!shown[plane] || d[n] == 0) continue;
    const double t = (e[n] * s[n] - o[n]) / d[n];
    if (!(t >= 0) || t >= best) continue;
    double p[3];
    for (int k = 0; k < 3; ++k) p[k] = o[k] + t * d[k];
    p[n] = e[n] * s[n];
    if (!inBox(p, e, 0.001)) continue;
    for (int k = 0; k < 3; ++k) pos[k] = p[k];
    hitId = plane;
    best = t;
  }
  if (cut && cut->polyCount > 0) {
    int poly = -1;
    double h[3];
    if (TTriangleMesh::pickByRay(o, d, *cut, poly, h, 0)) {
      double oh[3];
      t_sub3(h, o, oh);
      const double t = t_length3(oh) / std::max(t_length3(d), 1e-300);
      if (t < best) {
        for (int k = 0; k < 3; ++k) pos[k] = h[k];
        hitId = 3;
      }
    }
  }
  return hitId;
}

void t_processCutStroke(const TPoints& stroke, TPoints& out) {
  out.clear();
  const int n = int(stroke.size());
  if (n < 2) return;
  const int c = n <= 100 ? std::max(n, 30) : 100;
  TPoints q;
  t_resamplePolyline(c, stroke, q);
  const int m = int(q.size()) - 1;
  if (m < 1) return;
  out.reserve(q.size() + 20);
  for (int k = 10; k >= 1; --k)
    out.emplace_back(q[0][0] + k * (q[0][0] - q[1][0]), q[0][1] + k * (q[0][1] - q[1][1]),
                     q[0][2] + k * (q[0][2] - q[1][2]));
  out.insert(out.end(), q.begin(), q.end());
  for (int k = 0; k <= 9; ++k)
    out.emplace_back(q[m][0] + k * (q[m][0] - q[m - 1][0]), q[m][1] + k * (q[m][1] - q[m - 1][1]),
                     q[m][2] + k * (q[m][2] - q[m - 1][2]));
  t_smoothPolylineOnce(out);
  t_smoothPolylineOnce(out);
}

void t_cutSurfaceFromRays(const double extent[3], const TPoints& poly, const double* eye,
                          const double viewDir[3], std::vector<TVec3>& verts,
                          std::vector<TPolyIdx>& tris) {
  verts.clear();
  tris.clear();
  const bool fan = eye && inBox(eye, extent, 0.0);
  if (fan) verts.emplace_back(eye[0], eye[1], eye[2]);
  bool prevHit = false;
  for (const TVec3& q : poly) {
    double org[3], d[3];
    if (eye) {
      for (int k = 0; k < 3; ++k) org[k] = eye[k], d[k] = q[k] - eye[k];
      if (!t_normalize3(d)) d[0] = d[1] = d[2] = 0;
    } else {
      for (int k = 0; k < 3; ++k) org[k] = q[k], d[k] = viewDir[k];
    }
    double en[3], ex[3];
    if (!t_clipLineToBox(extent, org, d, en, ex)) {
      prevHit = false;
      continue;
    }
    if (fan) {
      verts.emplace_back(ex[0], ex[1], ex[2]);
      const int c = int(verts.size());
      if (prevHit) tris.push_back({c - 1, 0, c - 2});
    } else {
      verts.emplace_back(en[0], en[1], en[2]);
      verts.emplace_back(ex[0], ex[1], ex[2]);
      const int c = int(verts.size());
      if (prevHit) {
        tris.push_back({c - 1, c - 2, c - 3});
        tris.push_back({c - 2, c - 4, c - 3});
      }
    }
    prevHit = true;
  }
}
