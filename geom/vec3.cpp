#include "geom/vec3.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "geom/TTriangleMesh.h"
#include "geom/matrix3.h"

double t_length3(const double a[3]) { return std::sqrt(t_dot3(a, a)); }

double t_distSq3(const double a[3], const double b[3]) {
  const double x = a[0] - b[0], y = a[1] - b[1], z = a[2] - b[2];
  return x * x + y * y + z * z;
}

double t_dist3(const double a[3], const double b[3]) { return std::sqrt(t_distSq3(a, b)); }

bool t_normalize3(double v[3]) {
  const double len = t_length3(v);
  if (len == 0.0) return false;
  v[0] /= len;
  v[1] /= len;
  v[2] /= len;
  return true;
}

void t_centroid(const TPoints& pts, double out[3]) {
  double s[3] = {0, 0, 0};
  for (const TVec3& p : pts) {
    s[0] += p[0];
    s[1] += p[1];
    s[2] += p[2];
  }
  const double n = static_cast<double>(pts.size());
  out[0] = s[0] / n;
  out[1] = s[1] / n;
  out[2] = s[2] / n;
}

double t_polylineLength(const TPoints& pts) {
  double len = 0.0;
  for (size_t i = 1; i < pts.size(); ++i) len += t_dist3(pts[i - 1], pts[i]);
  return len;
}

void t_resamplePolyline(int n, const TPoints& in, TPoints& out) {
  const size_t want = n + 1 > 0 ? static_cast<size_t>(n + 1) : 0;
  if (in.size() < 2) {
    out.resize(want);
    return;
  }
  // A negative count asks for no points; its negative step would never be reached by the
  // walk below and the output would grow without end.
  if (n < 0) {
    out.clear();
    return;
  }
  const double step = t_polylineLength(in) / n;
  if (step == 0.0) {
    out.clear();
    out.resize(want);
    return;
  }
  out.clear();
  out.push_back(in[0]);
  TVec3 prev = in[0];
  double acc = 0.0;
  size_t i = 1;
  while (i < in.size()) {
    acc += t_dist3(in[i], prev);
    if (acc >= step) {
      // Move in[i] back towards prev by the overshoot.
      TVec3 dir;
      t_sub3(prev, in[i], dir);
      TVec3 np = in[i];
      if (t_normalize3(dir)) {
        const double back = acc - step;
        for (int k = 0; k < 3; ++k) np[k] += back * dir[k];
      }
      out.push_back(np);
      prev = np;
      acc = 0.0;
    } else {
      prev = in[i];
      ++i;
    }
  }
  if (out.size() != want) out.push_back(in.back());
}

void t_nearestPointIndex(int n, const double pts[][3], const double p[3], int& index, double& d2) {
  index = -1;
  d2 = DBL_MAX;
  for (int i = 0; i < n; ++i) {
    const double d = t_distSq3(pts[i], p);
    if (d < d2) {
      d2 = d;
      index = i;
    }
  }
}

void t_nearestPointInVector(const double p[3], const TPoints& pts, int& index, double& d) {
  index = -1;
  d = 1e9;
  for (size_t i = 0; i < pts.size(); ++i) {
    const double di = t_dist3(pts[i], p);
    if (di < d) {
      d = di;
      index = static_cast<int>(i);
    }
  }
}

bool t_closestPointOnPolyline(const double p[3], const TPoints& pts, double q[3], double& d2, int& i0,
                              int& i1, double& t, double& s) {
  d2 = DBL_MAX;
  if (pts.size() < 2) return false;
  bool found = false;
  double arc = 0.0;
  for (size_t k = 1; k < pts.size(); ++k) {
    const TVec3& a = pts[k - 1];
    const TVec3& b = pts[k];
    double ab[3], ap[3];
    t_sub3(b, a, ab);
    const double L2 = t_dot3(ab, ab);
    if (L2 == 0.0) continue;
    const double L = std::sqrt(L2);
    t_sub3(p, a, ap);
    double tt = t_dot3(ap, ab) / L2;
    double c[3];
    if (tt <= 0.0) {
      tt = 0.0;
      c[0] = a[0]; c[1] = a[1]; c[2] = a[2];
    } else if (tt >= 1.0) {
      tt = 1.0;
      c[0] = b[0]; c[1] = b[1]; c[2] = b[2];
    } else {
      for (int j = 0; j < 3; ++j) c[j] = a[j] + tt * ab[j];
    }
    const double dd = t_distSq3(c, p);
    if (dd < d2) {
      d2 = dd;
      q[0] = c[0]; q[1] = c[1]; q[2] = c[2];
      i0 = static_cast<int>(k - 1);
      i1 = static_cast<int>(k);
      t = tt;
      s = arc + tt * L;
      found = true;
    }
    arc += L;
  }
  return found;
}

void t_printVectors3D(FILE* fp, const TPoints& pts) {
  fprintf(fp, "3DVectors %d\n", static_cast<int>(pts.size()));
  for (const TVec3& p : pts) fprintf(fp, "%f %f %f\n", p[0], p[1], p[2]);
}

double t_distPointToLineSq(const double p[3], const double a[3], const double d[3]) {
  double ap[3];
  t_sub3(p, a, ap);
  const double t = t_dot3(ap, d) / t_dot3(d, d);
  double r[3];
  for (int k = 0; k < 3; ++k) r[k] = a[k] + t * d[k] - p[k];
  return t_dot3(r, r);
}

double t_distPointLine(const double p[3], const double a[3], const double d[3]) {
  return std::sqrt(t_distPointToLineSq(p, a, d));
}

double t_distRaySegment(const double a0[3], const double a1[3], const double b0[3], const double b1[3],
                        bool& onSegment) {
  onSegment = false;
  double u[3], v[3], w[3];
  t_sub3(a1, a0, u);
  t_sub3(b1, b0, v);
  const double uu = t_dot3(u, u), vv = t_dot3(v, v);
  if (uu < 1e-8 || vv < 1e-8) return 0.0;
  t_sub3(b0, a0, w);
  const double d = t_dot3(u, v);
  const double den = d * d - uu * vv;
  const double wv = t_dot3(w, v), wu = t_dot3(w, u);
  double s = 0.0, t = 0.0;
  // Parallel lines: any pair of points has the same distance; take both parameters 0.
  if (den != 0.0) {
    s = (d * wv - vv * wu) / den;
    t = (wv * uu - wu * d) / den;
  }
  onSegment = (0.0 <= t && t <= 1.0);
  double r[3];
  for (int k = 0; k < 3; ++k) r[k] = a0[k] + s * u[k] - (b0[k] + t * v[k]);
  return t_dot3(r, r);
}

double t_distPointSegment2D(const double p[], const double a[], const double b[]) {
  const double bx = b[0] - a[0], by = b[1] - a[1];
  const double px = p[0] - a[0], py = p[1] - a[1];
  const double t = (px * bx + py * by) / (bx * bx + by * by);
  if (t < 0.0) return std::sqrt(px * px + py * py);
  if (t > 1.0) {
    const double qx = p[0] - b[0], qy = p[1] - b[1];
    return std::sqrt(qx * qx + qy * qy);
  }
  const double rx = a[0] + t * bx - p[0], ry = a[1] + t * by - p[1];
  return std::sqrt(rx * rx + ry * ry);
}

double t_signedAngle(const double a[3], const double b[3]) {
  const double la = std::sqrt(a[0] * a[0] + a[1] * a[1]);
  const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1]);
  const double den = la * lb;
  if (den == 0.0) return 0.0;
  double c = t_dot3(a, b) / den;
  c = std::max(-1.0, std::min(1.0, c));
  const double ang = std::acos(c);
  const double cz = a[0] * b[1] - a[1] * b[0];
  return cz < 0.0 ? -ang : ang;
}

double t_signedAngleAxis(const double a[3], const double b[3], const double n[3]) {
  const double den = t_length3(a) * t_length3(b);
  if (den == 0.0) return 0.0;
  double c = t_dot3(a, b) / den;
  c = std::max(-1.0, std::min(1.0, c));
  const double ang = std::acos(c);
  double x[3];
  t_cross3(a, b, x);
  return t_dot3(x, n) < 0.0 ? -ang : ang;
}

bool t_isPointInLoop(const double p[3], const TPoints& loop, double& sum) {
  sum = 0.0;
  const size_t n = loop.size();
  for (size_t i = 0; i < n; ++i) {
    double a[3], b[3];
    t_sub3(loop[i], p, a);
    t_sub3(loop[(i + 1) % n], p, b);
    sum += t_signedAngle(a, b);
  }
  return sum > 4.712388980384685 || sum < -4.712388980384685;
}

bool t_segmentsBBoxOverlap(const double a0[], const double a1[], const double b0[], const double b1[]) {
  for (int k = 0; k < 2; ++k) {
    const double amin = std::min(a0[k], a1[k]), amax = std::max(a0[k], a1[k]);
    const double bmin = std::min(b0[k], b1[k]), bmax = std::max(b0[k], b1[k]);
    if (amax <= bmin || bmax <= amin) return false;
  }
  return true;
}

void t_crossPoint2D(const TPoints& A, const TPoints& B, bool closedB, std::vector<std::pair<int, double>>& out) {
  out.clear();
  const int nb = static_cast<int>(B.size());
  const int segB = closedB ? nb : nb - 1;
  for (size_t k = 0; k + 1 < A.size(); ++k) {
    const TVec3& p0 = A[k];
    const TVec3& p1 = A[k + 1];
    for (int j = 0; j < segB; ++j) {
      const TVec3& q0 = B[j];
      const TVec3& q1 = B[(j + 1) % nb];
      if (!t_segmentsBBoxOverlap(p0, p1, q0, q1)) continue;
      // p0 + s (p1 - p0) = q0 + t (q1 - q0)
      const double ax = p1[0] - p0[0], ay = p1[1] - p0[1];
      const double bx = q1[0] - q0[0], by = q1[1] - q0[1];
      const double det = -ax * by + ay * bx;
      if (det == 0.0) continue;
      const double rx = q0[0] - p0[0], ry = q0[1] - p0[1];
      const double s = (-rx * by + ry * bx) / det;
      const double t = (ax * ry - ay * rx) / det;
      if (0.0 <= t && t < 1.0 && 0.0 <= s && s < 1.0) out.emplace_back(j, t);
    }
  }
  bool removed = true;
  while (removed) {
    removed = false;
    for (size_t i = 0; i < out.size(); ++i) {
      for (size_t j = i + 1; j < out.size();) {
        if (out[j].first == out[i].first) {
          out.erase(out.begin() + j);
          fprintf(stderr, "here is a strange crossPoint");
          removed = true;
        } else {
          ++j;
        }
      }
    }
  }
}

bool t_barycentricCoords(const double p[3], const double a[3], const double b[3], const double c[3], double w[3]) {
  const double* v[3] = {a, b, c};
  double G[9], r[3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) G[3 * i + j] = t_dot3(v[i], v[j]) + 1.0;
    r[i] = t_dot3(p, v[i]) + 1.0;
  }
  if (!t_inverse3x3(G)) {
    w[0] = w[1] = w[2] = 0.0;
    fprintf(stderr, "error1111222\n");
    return false;
  }
  for (int i = 0; i < 3; ++i) w[i] = G[3 * i] * r[0] + G[3 * i + 1] * r[1] + G[3 * i + 2] * r[2];
  return true;
}

double t_meshPolyArea(const TTriangleMesh& mesh, int poly) {
  const TPolyIdx& t = mesh.polys[poly];
  double a[3], b[3], x[3];
  t_sub3(mesh.verts[t[2]], mesh.verts[t[0]], a);
  t_sub3(mesh.verts[t[1]], mesh.verts[t[0]], b);
  t_cross3(a, b, x);
  return 0.5 * t_length3(x);
}
