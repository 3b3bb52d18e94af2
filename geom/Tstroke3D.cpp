#include "geom/Tstroke3D.h"

#include <cfloat>
#include <cmath>

Tstroke3D::~Tstroke3D() = default;

void Tstroke3D::clear() { points.clear(); }

double Tstroke3D::length() const {
  if (points.size() < 2) return 0.0;
  double len = t_polylineLength(points);
  if (closed) len += t_dist3(points.back(), points.front());
  return len;
}

void Tstroke3D::resample(int n) {
  if (n < 0) {  // n + 1 points: none
    points.clear();
    return;
  }
  TPoints out;  // fresh: with fewer than 2 points the result is n + 1 points at the origin
  t_resamplePolyline(n, points, out);
  points.swap(out);
}

double Tstroke3D::closestPoint(const double origin[3], const double direction[3], int& index) const {
  if (points.empty()) return DBL_MAX;
  index = -1;
  double d[3] = {direction[0], direction[1], direction[2]};
  t_normalize3(d);
  const double dd = t_dot3(d, d);
  if (dd == 0.0) return DBL_MAX;  // no line: no distance is defined
  double best = DBL_MAX;
  for (size_t i = 0; i < points.size(); ++i) {
    double v[3];
    t_sub3(points[i], origin, v);
    const double t = t_dot3(v, d) / dd;
    const double q[3] = {origin[0] + t * d[0] - points[i][0], origin[1] + t * d[1] - points[i][1],
                         origin[2] + t * d[2] - points[i][2]};
    const double dist = t_length3(q);
    if (dist < best) {
      best = dist;
      index = int(i);
    }
  }
  return best;
}

double Tstroke3D::pickByRay(const double origin[3], const double direction[3], int& index) const {
  const size_t n = points.size();
  if (n < 2) return 0.0;
  double best = closestPoint(origin, direction, index);
  const double far[3] = {origin[0] + direction[0], origin[1] + direction[1], origin[2] + direction[2]};
  auto segment = [&](const TVec3& a, const TVec3& b) {
    bool onSegment = false;
    const double d2 = t_distRaySegment(origin, far, a, b, onSegment);
    if (onSegment && std::sqrt(d2) < best) best = std::sqrt(d2);
  };
  for (size_t k = 1; k < n; ++k) segment(points[k], points[k - 1]);
  if (closed) segment(points[0], points[n - 1]);
  return best;
}
