// Picking and nearest-point queries of TTriangleMesh.
#include <cfloat>
#include <cmath>

#include "geom/TTriangleMesh.h"
#include "geom/matrix3.h"

namespace {

// Solves u a + v b - t d = o - p0 for the triangle (p0, p1, p2); false when the system
// is singular (ray parallel to the triangle, or a degenerate triangle).
bool solveRayTriangle(const double o[3], const double d[3], const double p0[3], const double p1[3],
                      const double p2[3], double& u, double& v, double& t) {
  double a[3], b[3], r[3];
  t_sub3(p1, p0, a);
  t_sub3(p2, p0, b);
  t_sub3(o, p0, r);
  double M[9] = {a[0], b[0], -d[0], a[1], b[1], -d[1], a[2], b[2], -d[2]};
  if (!t_inverse3x3(M)) return false;
  u = M[0] * r[0] + M[1] * r[1] + M[2] * r[2];
  v = M[3] * r[0] + M[4] * r[1] + M[5] * r[2];
  t = M[6] * r[0] + M[7] * r[1] + M[8] * r[2];
  return true;
}

}  // namespace

bool TTriangleMesh::pickByRay(const double o[3], const double d[3], const TTriangleMesh& mesh, int& poly,
                              double hit[3], int faceMode) {
  poly = -1;
  double best = DBL_MAX;
  bool found = false;
  for (int i = 0; i < mesh.polyCount; ++i) {
    const TPolyIdx& P = mesh.polys[i];
    const double* p0 = mesh.verts[P[0]];
    const double* p1 = mesh.verts[P[1]];
    const double* p2 = mesh.verts[P[2]];
    double a[3], b[3], n[3];
    t_sub3(p1, p0, a);
    t_sub3(p2, p0, b);
    t_cross3(a, b, n);
    t_normalize3(n);
    const double nd = t_dot3(n, d);
    if (faceMode == 1 && nd >= 0.0) continue;
    if (faceMode == 2 && nd <= 0.0) continue;
    double u, v, t;
    if (!solveRayTriangle(o, d, p0, p1, p2, u, v, t)) continue;
    if (u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0 && u + v <= 1.0 && t >= 0.0 && t < best) {
      best = t;
      for (int k = 0; k < 3; ++k) hit[k] = o[k] + t * d[k];
      poly = i;
      found = true;
    }
  }
  return found;
}

bool TTriangleMesh::intersectRay(const double p[3], const double q[3], const TTriangleMesh& mesh, int& poly,
                                 double hit[3], double& t) {
  double d[3];
  t_sub3(q, p, d);
  for (int i = 0; i < mesh.polyCount; ++i) {
    const TPolyIdx& P = mesh.polys[i];
    double u, v, tt;
    if (!solveRayTriangle(p, d, mesh.verts[P[0]], mesh.verts[P[1]], mesh.verts[P[2]], u, v, tt)) continue;
    if (u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0 && u + v <= 1.0 && tt >= 0.0 && tt <= 1.0) {
      t = tt;
      for (int k = 0; k < 3; ++k) hit[k] = p[k] + tt * d[k];
      poly = i;
      return true;
    }
  }
  return false;
}

bool TTriangleMesh::projectPoint(const double x[3], double out[3], int& poly) const {
  if (vertexCount == 0) return false;
  int nearest;
  double d2;
  static_assert(sizeof(TVec3) == 3 * sizeof(double), "TVec3 must be three packed doubles");
  t_nearestPointIndex(vertexCount, reinterpret_cast<const double(*)[3]>(verts.data()), x, nearest, d2);
  if (nearest < 0) return false;
  std::vector<int> fan;
  getRingPolys(nearest, fan);
  for (int p : fan) {
    if (p < 0 || p >= polyCount) continue;
    const TPolyIdx& P = polys[p];
    const TVec3& n = polyNormals[p];
    const double* p0 = verts[P[0]];
    const double h = (x[0] - p0[0]) * n[0] + (x[1] - p0[1]) * n[1] + (x[2] - p0[2]) * n[2];
    const double q[3] = {x[0] - h * n[0], x[1] - h * n[1], x[2] - h * n[2]};
    // Scaled by 10 so that the small triangles of a unit-cube surface stay above the
    // singularity threshold of the 3x3 inverse.
    double qs[3], c[3][3], w[3];
    for (int k = 0; k < 3; ++k) {
      qs[k] = q[k] * 10.0;
      for (int j = 0; j < 3; ++j) c[j][k] = verts[P[j]][k] * 10.0;
    }
    if (!t_barycentricCoords(qs, c[0], c[1], c[2], w)) continue;
    if (w[0] >= 0.0 && w[0] <= 1.0 && w[1] >= 0.0 && w[1] <= 1.0 && w[2] >= 0.0 && w[2] <= 1.0) {
      for (int k = 0; k < 3; ++k) out[k] = qs[k] * 0.1;
      poly = p;
      return true;
    }
  }
  return false;
}

namespace {

// Closest point to x on the segment a-b; returns the squared distance.
double closestOnSegment(const double x[3], const double a[3], const double b[3], double q[3]) {
  double ab[3], ax[3];
  t_sub3(b, a, ab);
  t_sub3(x, a, ax);
  const double L2 = t_dot3(ab, ab);
  double t = L2 > 0.0 ? t_dot3(ax, ab) / L2 : 0.0;
  if (t < 0.0) t = 0.0;
  if (t > 1.0) t = 1.0;
  for (int k = 0; k < 3; ++k) q[k] = a[k] + t * ab[k];
  return t_distSq3(x, q);
}

}  // namespace

double TTriangleMesh::distanceToPoint(const double x[3], double out[3]) const {
  // The nearest surface point lies at a vertex, inside an edge or inside a face; all
  // three are searched so that the result is the true distance.
  double best = DBL_MAX;
  for (int i = 0; i < vertexCount; ++i) {
    const double d = t_dist3(verts[i], x);
    if (d < best) {
      best = d;
      out[0] = verts[i][0];
      out[1] = verts[i][1];
      out[2] = verts[i][2];
    }
  }
  auto trySegment = [&](int va, int vb) {
    double q[3];
    const double d = std::sqrt(closestOnSegment(x, verts[va], verts[vb], q));
    if (d < best) {
      best = d;
      out[0] = q[0];
      out[1] = q[1];
      out[2] = q[2];
    }
  };
  if (edgeCount > 0) {
    for (const TMeshEdge& e : edges) trySegment(e.vert0, e.vert1);
  } else {
    for (const TPolyIdx& P : polys)
      for (int k = 0; k < 3; ++k) trySegment(P[k], P[(k + 1) % 3]);
  }
  for (int i = 0; i < polyCount; ++i) {
    const TPolyIdx& P = polys[i];
    const TVec3& n = polyNormals[i];
    if (n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0) continue;
    const double* p0 = verts[P[0]];
    double r[3];
    t_sub3(x, p0, r);
    const double h = t_dot3(n, r);
    if (std::fabs(h) >= best) continue;
    double a[3], b[3];
    t_sub3(verts[P[1]], p0, a);
    t_sub3(verts[P[2]], p0, b);
    const double q[3] = {x[0] - h * n[0], x[1] - h * n[1], x[2] - h * n[2]};
    double qr[3];
    t_sub3(q, p0, qr);
    double G[4] = {t_dot3(a, a), t_dot3(a, b), t_dot3(a, b), t_dot3(b, b)};
    if (!t_inverse2x2(G)) continue;
    const double ra = t_dot3(qr, a), rb = t_dot3(qr, b);
    const double s = G[0] * ra + G[1] * rb;
    const double t = G[2] * ra + G[3] * rb;
    if (s >= 0.0 && t >= 0.0 && s <= 1.0 && t <= 1.0 && s + t <= 1.0) {
      best = std::fabs(h);
      out[0] = q[0];
      out[1] = q[1];
      out[2] = q[2];
    }
  }
  return best;
}

double TTriangleMesh::averageEdgeLength() const {
  if (edgeCount == 0) return 0.0;
  double sum = 0.0;
  for (int i = 0; i < edgeCount; ++i) sum += t_dist3(verts[edges[i].vert0], verts[edges[i].vert1]);
  return sum / edgeCount;
}
