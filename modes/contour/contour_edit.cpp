#include "modes/contour/contour_edit.h"

#include <algorithm>

#include "modes/contour/contmesh_features.h"

namespace {

bool boxesOverlap(const double aMin[3], const double aMax[3], const double bMin[3], const double bMax[3]) {
  for (int k = 0; k < 3; ++k)
    if (aMax[k] < bMin[k] || bMax[k] < aMin[k]) return false;
  return true;
}

}  // namespace

TContourGrid t_contourGrid() {
  TContourGrid g;
  g.extent[0] = g.extent[1] = g.extent[2] = 1;
  g.W = g.H = g.D = 1;
  if (TModeViewHost* h = t_modeViewHost()) {
    h->volumeExtent(g.extent);
    h->volumeSize(g.W, g.H, g.D);
  }
  g.W = std::max(1, g.W), g.H = std::max(1, g.H), g.D = std::max(1, g.D);
  g.meanVoxel = t_meanVoxelSize(g.extent, g.W, g.H, g.D);
  return g;
}

double t_contourRayDistance(const double o[3], const double d[3], const double c[3]) {
  // A zero direction would divide by zero: it measures from the origin instead.
  return t_dot3(d, d) > 0 ? t_distPointLine(c, o, d) : t_dist3(o, c);
}

int t_contourPickControlPoint(const TCanvasContour& c, const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  TModeRay ray;
  if (!h || !h->mainCursorRay(p, ray)) return -1;
  const double tol = 1.5 * c.stroke.radius;
  for (int i = 0; i < static_cast<int>(c.controlPoints.size()); ++i)
    if (t_contourRayDistance(ray.org, ray.dir, c.controlPoints[static_cast<size_t>(i)].data()) < tol) return i;
  return -1;
}

int t_contourAddControlPoint(TCanvasContour& c, const TPoint2i& p) {
  TModeViewHost* h = t_modeViewHost();
  TModeRay ray;
  int poly = -1;
  double hit[3];
  if (!h || !h->mainCursorRay(p, ray) || !TTriangleMesh::pickByRay(ray.org, ray.dir, c.canvas, poly, hit, 0))
    return -1;
  c.controlPoints.push_back(TVec3(hit));
  c.updateStroke();
  return static_cast<int>(c.controlPoints.size()) - 1;
}

int t_contourPickStroke(const std::vector<TCanvasContour>& contours, const TModeRay& ray) {
  int best = -1;
  double bestDist = 0;
  for (int i = 0; i < static_cast<int>(contours.size()); ++i) {
    const Tstroke3D_tube& s = contours[static_cast<size_t>(i)].stroke;
    int idx = -1;
    const double dist = s.pickByRay(ray.org, ray.dir, idx);
    if (idx < 0 || !(dist < s.radius)) continue;
    const double eye = t_dist3(ray.org, s.points[static_cast<size_t>(idx)].data());
    if (best < 0 || eye < bestDist) best = i, bestDist = eye;
  }
  return best;
}

void t_contourRoiBox(const TCanvasContour& drawn, const std::vector<TCanvasContour>& stored, const double extent[3],
                     int W, int H, int D, double mn[3], double mx[3], int lo[3], int hi[3]) {
  drawn.getBoundingBox(mn, mx);
  for (const TCanvasContour& c : stored) {
    double a[3], b[3];
    c.getBoundingBox(a, b);
    for (int k = 0; k < 3; ++k) mn[k] = std::min(mn[k], a[k]), mx[k] = std::max(mx[k], b[k]);
  }
  const int n[3] = {W, H, D};
  for (int k = 0; k < 3; ++k) {
    const double pitch = extent[k] / n[k];
    mn[k] -= 3 * pitch;
    mx[k] += 3 * pitch;
    // No contour at all leaves an empty (inverted) box; clamp in double before truncating.
    lo[k] = static_cast<int>(std::max(0.0, std::min(double(n[k] - 1), mn[k] / pitch)));
    hi[k] = static_cast<int>(std::max(-1.0, std::min(double(n[k] - 1), mx[k] / pitch)));
  }
}

void t_contourCrossStored(std::vector<TCanvasContour>& stored, double tol) {
  const int n = static_cast<int>(stored.size());
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      TCanvasContour &a = stored[static_cast<size_t>(i)], &b = stored[static_cast<size_t>(j)];
      double mn[3], mx[3], cMin[3], cMax[3];
      a.getBoundingBox(mn, mx);
      b.canvas.getBoundingBox(cMin, cMax);
      if (boxesOverlap(mn, mx, cMin, cMax)) TCanvasContour::calcCrossPoints(i, a, j, b, tol);
    }
}

void t_contourCrossDrawn(std::vector<TCanvasContour>& stored, TCanvasContour& drawn, double tol) {
  const int n = static_cast<int>(stored.size());
  double cMin[3], cMax[3];
  drawn.canvas.getBoundingBox(cMin, cMax);
  for (int i = 0; i < n; ++i) {
    double mn[3], mx[3];
    stored[static_cast<size_t>(i)].getBoundingBox(mn, mx);
    if (boxesOverlap(mn, mx, cMin, cMax))
      TCanvasContour::calcCrossPoints(i, stored[static_cast<size_t>(i)], n, drawn, tol);
  }
}

void t_contourFromFile(TCanvasContour& c, const TTriangleMesh& canvas, const TVec3 frame[3], const TPoints& controlPoints,
                       bool insideDir, bool closed) {
  double f[9];
  for (int k = 0; k < 3; ++k)
    for (int a = 0; a < 3; ++a) f[3 * k + a] = frame[k][a];
  c.setCanvas(canvas, f);
  c.controlPoints = controlPoints;
  c.bInsideDir = insideDir;
  c.bClosed = closed;
  c.updateStroke();
}
