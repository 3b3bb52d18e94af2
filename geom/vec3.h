// 3-D points and the free functions on points, point sequences, distances,
// angles and 2-D tests that the whole program shares.
#pragma once

#include <cstdio>
#include <utility>
#include <vector>

// A 3-D point or vector of doubles.  It converts to double* so that it can be
// handed to every routine that takes a plain double[3].
struct TVec3 {
  double v[3];

  TVec3() : v{0.0, 0.0, 0.0} {}
  TVec3(double x, double y, double z) : v{x, y, z} {}
  explicit TVec3(const double* p) : v{p[0], p[1], p[2]} {}

  double& operator[](int i) { return v[i]; }
  const double& operator[](int i) const { return v[i]; }
  operator double*() { return v; }
  operator const double*() const { return v; }
  double* data() { return v; }
  const double* data() const { return v; }

  double x() const { return v[0]; }
  double y() const { return v[1]; }
  double z() const { return v[2]; }

  void set(double x, double y, double z) { v[0] = x; v[1] = y; v[2] = z; }
  bool operator==(const TVec3& o) const { return v[0] == o.v[0] && v[1] == o.v[1] && v[2] == o.v[2]; }
  bool operator!=(const TVec3& o) const { return !(*this == o); }
};

// A growable sequence of points; a polyline is open unless an operation says otherwise.
using TPoints = std::vector<TVec3>;

class TTriangleMesh;

// ---- small inline helpers on double[3] ----------------------------------------
inline double t_dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline void t_cross3(const double a[3], const double b[3], double out[3]) {
  const double x = a[1] * b[2] - a[2] * b[1];
  const double y = a[2] * b[0] - a[0] * b[2];
  const double z = a[0] * b[1] - a[1] * b[0];
  out[0] = x; out[1] = y; out[2] = z;
}
inline void t_sub3(const double a[3], const double b[3], double out[3]) {
  out[0] = a[0] - b[0]; out[1] = a[1] - b[1]; out[2] = a[2] - b[2];
}
double t_length3(const double a[3]);
double t_dist3(const double a[3], const double b[3]);
double t_distSq3(const double a[3], const double b[3]);

// ---- vectors and point sequences --------------------------------------------------
// Divides v by its length; a zero length returns false and leaves v unchanged.
bool t_normalize3(double v[3]);
// Mean of the points.
void t_centroid(const TPoints& pts, double out[3]);
// Sum of the segment lengths; 0 for fewer than two points.
double t_polylineLength(const TPoints& pts);
// n+1 points at equal arc-length spacing from the first to the last input point.
void t_resamplePolyline(int n, const TPoints& in, TPoints& out);
// Nearest of n points to p (squared distance); the first of equals wins.
void t_nearestPointIndex(int n, const double pts[][3], const double p[3], int& index, double& d2);
// Nearest point of a sequence (Euclidean distance); index -1 and 1e9 when empty.
void t_nearestPointInVector(const double p[3], const TPoints& pts, int& index, double& d);
// Closest point on the open polyline; false for fewer than two points.
bool t_closestPointOnPolyline(const double p[3], const TPoints& pts, double q[3], double& d2,
                              int& i0, int& i1, double& t, double& s);
// "3DVectors %d" block of a contour file.
void t_printVectors3D(FILE* fp, const TPoints& pts);

// ---- distances, angles and 2-D tests ------------------------------------------------
double t_distPointLine(const double p[3], const double a[3], const double d[3]);
double t_distPointToLineSq(const double p[3], const double a[3], const double d[3]);
// Squared distance between the closest points of the line a0-a1 (the unclamped picking
// ray) and the line b0-b1; onSegment tells whether that point lies on the segment b0-b1.
double t_distRaySegment(const double a0[3], const double a1[3], const double b0[3], const double b1[3],
                        bool& onSegment);
double t_distPointSegment2D(const double p[], const double a[], const double b[]);
double t_signedAngle(const double a[3], const double b[3]);
double t_signedAngleAxis(const double a[3], const double b[3], const double n[3]);
bool t_isPointInLoop(const double p[3], const TPoints& loop, double& sum);
bool t_segmentsBBoxOverlap(const double a0[], const double a1[], const double b0[], const double b1[]);
// Crossings (segment of B, parameter on it) of the open polyline A with B, in x and y.
void t_crossPoint2D(const TPoints& A, const TPoints& B, bool closedB, std::vector<std::pair<int, double>>& out);
bool t_barycentricCoords(const double p[3], const double a[3], const double b[3], const double c[3], double w[3]);
// Area of one triangle of a mesh.
double t_meshPolyArea(const TTriangleMesh& mesh, int poly);

