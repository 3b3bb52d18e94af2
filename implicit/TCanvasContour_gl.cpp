// Drawing members of TCanvasContour (immediate-mode OpenGL into the current context).
#include <GL/gl.h>

#include <cmath>

#include "geom/sphere_cache_gl.h"
#include "implicit/TCanvasContour.h"
#include "platform/GLContextHost.h"

namespace {

void setMaterial(const float diffuse[4], const float ambient[4]) {
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
}

}  // namespace

void TCanvasContour::draw(bool highlighted) const {
  glEnable(GL_LIGHTING);
  if (highlighted) t_drawSpheresAtPoints(1.5 * stroke.radius, controlPoints);

  static const float hiDiff[4] = {1, 0, 1, 0.5f}, hiAmb[4] = {0.5f, 0, 0.5f, 0.5f};
  static const float loDiff[4] = {0.2f, 0.2f, 1, 0.5f}, loAmb[4] = {0, 0, 0.5f, 0.5f};
  if (highlighted) setMaterial(hiDiff, hiAmb);
  else setMaterial(loDiff, loAmb);
  stroke.drawTube();

  glEnable(GL_LIGHTING);
  setMaterial(loDiff, loDiff);
  for (const auto& kv : tiltHandles) t_drawSphereShaded(0.005, kv.second.pos);

  const TPoints& P = stroke.points;
  if (highlighted) {
    glDisable(GL_LIGHTING);
    glColor3d(1, 0.4, 0.4);
    glLineWidth(t_glPixels(5));
    glBegin(GL_LINES);
    const double* d = canvas.direction;
    const double angle = bInsideDir ? 1.570796326794895 : -1.570796326794895;
    double R[9];
    t_rotMatAxisAngle(R, d[0], d[1], d[2], std::cos(angle), std::sin(angle));
    const size_t n = P.size();
    for (size_t i = 0; i < n; i += 3) {
      double t[3] = {0, 0, 0};
      for (int k = 0; k < 3; ++k) {
        if (i > 0) t[k] += P[i][k] - P[i - 1][k];
        if (i + 1 < n) t[k] += P[i + 1][k] - P[i][k];
      }
      t_normalize3(t);
      double nrm[3];
      t_rotRowVec(R, t, nrm);
      double q[3];
      for (int k = 0; k < 3; ++k) q[k] = P[i][k] + 0.06 * nrm[k];
      glVertex3dv(P[i]);
      glVertex3d(q[0] + 0.01 * d[0], q[1] + 0.01 * d[1], q[2] + 0.01 * d[2]);
      glVertex3dv(P[i]);
      glVertex3d(q[0] - 0.01 * d[0], q[1] - 0.01 * d[1], q[2] - 0.01 * d[2]);
    }
    glEnd();
  }
  if (!bClosed && !P.empty()) {
    glEnable(GL_LIGHTING);
    t_drawSphereShaded(stroke.radius, P.front());
    t_drawSphereShaded(stroke.radius, P.back());
  }
}

void TCanvasContour::drawRbfPoints() const {
  if (!hasValidShape()) return;  // what it may still hold is no constraint
  glDisable(GL_LIGHTING);
  glPointSize(t_glPixels(5));
  glBegin(GL_POINTS);
  for (const TRbfPoint& p : rbfPoints) {
    if (p.value < 0) glColor3d(0, 0, 1);
    else if (p.value > 0) glColor3d(1, 0, 0);
    else glColor3d(1, 1, 1);
    glVertex3dv(p.pos);
  }
  glEnd();
}

void TCanvasContour::drawSamples() const {
  if (!hasValidShape()) return;  // what it may still hold is no constraint
  glEnable(GL_LIGHTING);
  static const float tilted[4] = {1, 0, 0, 0.5f}, plain[4] = {0.2f, 0.2f, 1, 0.5f};
  const bool flagsMatch = tiltedFlags.size() == samples.size();
  for (size_t i = 0; i < samples.size(); ++i) {
    const float* m = flagsMatch && tiltedFlags[i] ? tilted : plain;
    setMaterial(m, m);
    t_drawSphereShaded(0.008, samples[i].pos);
  }
}
