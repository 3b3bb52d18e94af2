#include "implicit/TCanvasContour.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "geom/bspline.h"

TCanvasContour::TCanvasContour() : stroke(0.1) {}

TCanvasContour::TCanvasContour(const TCanvasContour& src) : stroke(0.1) { copyFrom(src); }

TCanvasContour& TCanvasContour::operator=(const TCanvasContour& src) {
  if (this != &src) copyFrom(src);
  return *this;
}

TCanvasContour::~TCanvasContour() = default;

void TCanvasContour::copyFrom(const TCanvasContour& src) {
  controlPoints = src.controlPoints;
  canvas.setFromMesh(src.canvas);
  stroke = src.stroke;
  for (int i = 0; i < 3; ++i) canvasFrame[i] = src.canvasFrame[i];
  bInsideDir = src.bInsideDir;
  bClosed = src.bClosed;
  samples = src.samples;
  tiltHandles = src.tiltHandles;
  rbfPoints = src.rbfPoints;
  // The copy shows its samples untilted until its tilt angles are applied again.
  tiltedFlags.clear();
}

void TCanvasContour::clear() {
  controlPoints.clear();
  stroke.clear();
  canvas.clear();
  samples.clear();
  rbfPoints.clear();
  bInsideDir = false;
  bClosed = false;
  stroke.radius = 0.03;
}

void TCanvasContour::eraseControlPoint(int i) {
  if (i >= 0 && i < static_cast<int>(controlPoints.size()))
    controlPoints.erase(controlPoints.begin() + i);
  updateStroke();
}

bool TCanvasContour::moveControlPoint(const double origin[3], const double direction[3], int i) {
  int poly = -1;
  double hit[3];
  if (!TTriangleMesh::pickByRay(origin, direction, canvas, poly, hit, 0)) return false;
  if (i >= 0 && i < static_cast<int>(controlPoints.size())) controlPoints[i] = TVec3(hit);
  updateStroke();
  return true;
}

void TCanvasContour::getBoundingBox(double min[3], double max[3]) const {
  for (int k = 0; k < 3; ++k) {
    min[k] = DBL_MAX;
    max[k] = -DBL_MAX;
  }
  for (const TVec3& p : controlPoints)
    for (int k = 0; k < 3; ++k) {
      if (p[k] < min[k]) min[k] = p[k];
      if (p[k] > max[k]) max[k] = p[k];
    }
}

void TCanvasContour::setCanvas(const TTriangleMesh& mesh, const double frame[9]) {
  for (int i = 0; i < 3; ++i) canvasFrame[i] = TVec3(frame + 3 * i);
  canvas.setFromMesh(mesh);
}

void TCanvasContour::updateStroke() {
  TPoints pts;
  t_fitCubicBSpline(controlPoints, pts, bClosed, 4 * static_cast<int>(controlPoints.size()));
  stroke.points = pts;
  const double len = t_polylineLength(stroke.points);
  const double spacing = stroke.points.empty() ? 0.0 : len / static_cast<double>(stroke.points.size());
  stroke.sides = 10;
  stroke.radius = spacing == 0.0 ? 0.03 : 0.35 * spacing;
  stroke.closed = bClosed;
  stroke.updateTube();
}

bool TCanvasContour::hasValidShape() const {
  if (controlPoints.size() < 3 || stroke.points.size() < 3) return false;
  // Points on one spot leave a few ulps of length from the spline fit: that is no length.
  double size = 1.0;
  for (const TVec3& p : stroke.points)
    for (int k = 0; k < 3; ++k) size = std::max(size, std::fabs(p[k]));
  const double len = t_polylineLength(stroke.points);
  return std::isfinite(len) && len > 1e-9 * size;
}

void TCanvasContour::eraseCrossPointsWith(int index) {
  for (auto it = tiltHandles.begin(); it != tiltHandles.end();) {
    if (it->second.otherContour == index)
      it = tiltHandles.erase(it);
    else
      ++it;
  }
}

void TCanvasContour::renumberCrossPoints(int removed, int moved) {
  for (auto& kv : tiltHandles) {
    int& o = kv.second.otherContour;
    if (o == removed)
      o = moved;
    else if (o > removed)
      --o;
  }
}

bool t_rotMatAxisAngle(double m[9], double ax, double ay, double az, double c, double s) {
  for (int i = 0; i < 9; ++i) m[i] = (i % 4 == 0) ? 1.0 : 0.0;
  if (c == 1.0 && s == 0.0) return true;
  const double len = std::sqrt(ax * ax + ay * ay + az * az);
  if (len == 0.0) return false;
  const double ux = ax / len, uy = ay / len, uz = az / len, t = 1.0 - c;
  m[0] = c + ux * ux * t;
  m[1] = ux * uy * t + uz * s;
  m[2] = ux * uz * t - uy * s;
  m[3] = ux * uy * t - uz * s;
  m[4] = c + uy * uy * t;
  m[5] = uy * uz * t + ux * s;
  m[6] = ux * uz * t + uy * s;
  m[7] = uy * uz * t - ux * s;
  m[8] = c + uz * uz * t;
  return true;
}

void t_rotRowVec(const double m[9], const double v[3], double out[3]) {
  const double x = v[0] * m[0] + v[1] * m[3] + v[2] * m[6];
  const double y = v[0] * m[1] + v[1] * m[4] + v[2] * m[7];
  const double z = v[0] * m[2] + v[1] * m[5] + v[2] * m[8];
  out[0] = x;
  out[1] = y;
  out[2] = z;
}
