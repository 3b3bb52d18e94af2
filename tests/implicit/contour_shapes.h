// Contours of analytic shapes for the engine's tests: closed cross-sections of an ellipsoid on
// axis-aligned canvases, set up the way the contour-mesh mode sets up a drawn contour.
#pragma once

#include <cmath>
#include <vector>

#include "geom/TTriangleMesh.h"
#include "implicit/TCanvasContour.h"

namespace shapes {

struct Ellipsoid {
  double c[3];
  double r[3];
  bool contains(const double p[3]) const {
    double s = 0;
    for (int a = 0; a < 3; ++a) s += (p[a] - c[a]) * (p[a] - c[a]) / (r[a] * r[a]);
    return s <= 1.0;
  }
};

// The two in-plane axes of the canvas whose normal is axis a, with e1 x e2 = +a.
inline void planeAxes(int a, int& e1, int& e2) {
  e1 = (a + 1) % 3;
  e2 = (a + 2) % 3;
}

// A quad canvas over the whole volume box at coordinate t along axis a, facing +a.
inline TTriangleMesh canvasQuad(int a, double t, const double extent[3]) {
  int e1, e2;
  planeAxes(a, e1, e2);
  std::vector<TVec3> v(4);
  for (int i = 0; i < 4; ++i) {
    v[size_t(i)][a] = t;
    v[size_t(i)][e1] = (i == 1 || i == 2) ? extent[e1] : 0.0;
    v[size_t(i)][e2] = (i >= 2) ? extent[e2] : 0.0;
  }
  TTriangleMesh m;
  m.initFromVertsPolys(v, {TPolyIdx{0, 1, 2}, TPolyIdx{0, 2, 3}});
  return m;
}

// Closed contour: the ellipsoid's cross-section at coordinate t along axis a, nCtrl control
// points turning counter-clockwise about +a, inside to the left (towards the centre).
inline TCanvasContour crossSection(const Ellipsoid& E, int a, double t, int nCtrl, const double extent[3]) {
  TCanvasContour c;
  const TTriangleMesh quad = canvasQuad(a, t, extent);
  double centre[3] = {extent[0] / 2, extent[1] / 2, extent[2] / 2};
  centre[a] = t;
  double frame[9];
  for (int k = 0; k < 3; ++k) {
    frame[k] = centre[k] - (k == a ? 6.0 : 0.0);
    frame[3 + k] = centre[k];
    frame[6 + k] = 0.0;
  }
  c.setCanvas(quad, frame);
  c.bInsideDir = true;
  c.bClosed = true;
  int e1, e2;
  planeAxes(a, e1, e2);
  const double u = (t - E.c[a]) / E.r[a];
  const double s = std::sqrt(std::max(0.0, 1.0 - u * u));
  for (int i = 0; i < nCtrl; ++i) {
    const double th = 2.0 * M_PI * i / nCtrl;
    TVec3 p;
    p[a] = t;
    p[e1] = E.c[e1] + s * E.r[e1] * std::cos(th);
    p[e2] = E.c[e2] + s * E.r[e2] * std::sin(th);
    c.controlPoints.push_back(p);
  }
  c.updateStroke();
  return c;
}

// nContours cross-sections spread evenly over the three canvas orientations.
inline std::vector<TCanvasContour> crossSections(const Ellipsoid& E, int nContours, int nCtrl,
                                                 const double extent[3], double spread = 0.6) {
  std::vector<TCanvasContour> out;
  const int per = nContours / 3;
  for (int j = 0; j < per; ++j)
    for (int a = 0; a < 3; ++a) {
      const double f = per == 1 ? 0.0 : spread * (2.0 * (j + 0.5) / per - 1.0);
      out.push_back(crossSection(E, a, E.c[a] + f * E.r[a], nCtrl, extent));
    }
  return out;
}

}  // namespace shapes
