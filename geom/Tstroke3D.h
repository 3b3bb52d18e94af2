// Tstroke3D: the program's 3-D polyline (curves drawn on surfaces and canvases, fibers,
// axis curves, contour strokes).  Drawing lives in Tstroke3D_gl.cpp (kgeom_surf_gl).
#pragma once

#include "geom/vec3.h"

class Tstroke3D {
 public:
  bool closed = false;  // the polyline closes from the last point back to the first
  TPoints points;

  Tstroke3D() = default;
  Tstroke3D(const Tstroke3D&) = default;
  Tstroke3D& operator=(const Tstroke3D&) = default;
  virtual ~Tstroke3D();
  // Empties the points.
  virtual void clear();

  // Sum of the segment lengths, with the closing segment when closed; 0 below 2 points.
  double length() const;
  // n + 1 points at equal arc length along the open polyline.  Derived rings are not
  // rebuilt here.
  void resample(int n);
  // The point nearest to the unbounded line origin + s * direction, and its distance.
  // With no points: the largest double and index untouched; a zero direction gives the
  // largest double and index -1.
  double closestPoint(const double origin[3], const double direction[3], int& index) const;
  // Distance from the same line to the polyline (points and segments); index is the
  // nearest point's.  Below 2 points: 0.0 and index untouched.
  double pickByRay(const double origin[3], const double direction[3], int& index) const;

  // One line strip through the points (and back to the first when closed).
  void drawPolyline(float width) const;
};
