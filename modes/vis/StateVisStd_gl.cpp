// Drawing of the standard visualisation mode.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "core/TCore.h"
#include "geom/matrix3.h"
#include "geom/sphere_cache_gl.h"
#include "modes/vis/StateVisStd.h"
#include "platform/GLContextHost.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "view/key_state.h"
#include "view/mode_gl.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

void StateVisStd::OnDraw() {
  const TextureManager& tm = TextureManager::getInst();
  if (tm.vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  const int m = TCore::getInst().modeId;
  vr.drawFrame();
  glEnable(GL_DEPTH_TEST);
  vr.drawSlicePlanes();

  // Clip selector of the planes and the cut surface (the renderer drops it while the space bar
  // is held).
  const int c = m == 3 ? 2 : 0;
  vr.drawSlicePlanesTextured(c, false);
  vr.drawSlicePlanesTextured(c, true);

  // The far side of the cut surface, the volume, then its near side.
  vr.drawCutSurface(vr.cutSurface, false, c);
  switch (m) {
    case 0: vr.drawVolumeVisI(); break;
    case 1: vr.drawVolumeVisIG(); break;
    case 2: vr.drawVolumeVisIG2D(); break;
    case 3:
      drawMaskSurfaces();
      vr.drawVolumeVisMask();
      break;
    default: break;
  }
  vr.drawCutSurface(vr.cutSurface, true, c);

  if (vr.cutSurface.polyCount > 0) {
    glDisable(GL_LIGHTING);
    glColor3d(1, 1, 1);
    glLineWidth(t_glPixels(2));
    vr.cutSurface.drawBoundaryEdges();
  }
  if (!t_spaceHeld()) drawRulers();
  if (m_strokeFlag) t_drawGLLines(m_cutStroke, 1, 0, 0, 4);
}

void t_drawCylinder(const double a[3], const double b[3], const double colour[3], double r) {
  glDisable(GL_LIGHTING);
  glColor3d(colour[0], colour[1], colour[2]);
  double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  double yAxis[3] = {0, 1, 0};
  double rot[16];
  if (len > 0) {
    for (double& v : d) v /= len;
  } else {
    d[1] = 1;
  }
  t_rotMatBetweenVectors(rot, yAxis, d);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glTranslated(a[0], a[1], a[2]);
  glMultMatrixd(rot);
  glBegin(GL_TRIANGLE_STRIP);
  for (int k = 0; k >= -6; --k) {
    const double t = k * M_PI / 3;
    const double s = std::sin(t), c = std::cos(t);
    glNormal3d(s, 0, c);
    glVertex3d(r * s, 0, r * c);
    glVertex3d(r * s, len, r * c);
  }
  glEnd();
  glPopMatrix();
}

void StateVisStd::drawRulers() {
  const double* e = VolRendManager::getInst().extent;
  const double green[3] = {0, 0.8, 0};
  for (size_t i = 0; i < rulers.size(); ++i) {
    const auto& r = rulers[i];
    const double a[3] = {r[0] * e[0], r[1] * e[1], r[2] * e[2]};
    const double b[3] = {r[3] * e[0], r[4] * e[1], r[5] * e[2]};
    const double L = std::max(1.0, std::sqrt((b[0] - a[0]) * (b[0] - a[0]) +
                                             (b[1] - a[1]) * (b[1] - a[1]) +
                                             (b[2] - a[2]) * (b[2] - a[2])));
    const bool selected = int(i) == selectedRuler;
    t_drawCylinder(a, b, green, (selected ? 0.007 : 0.006) * L);
    glEnable(GL_LIGHTING);
    const GLfloat spec[4] = {1, 1, 1, 0.5f};
    const GLfloat difN[4] = {0.2f, 0.5f, 0.2f, 0.5f};
    const GLfloat difS[4] = {0.2f, 0.3f, 1.0f, 0.5f}, ambS[4] = {0.2f, 0.3f, 0.8f, 0.5f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spec);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 32);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, selected ? difS : difN);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, selected ? ambS : difN);
    t_drawSphereShaded(0.01 * L, a);
    t_drawSphereShaded(0.01 * L, b);
  }
}

void StateVisStd::drawMaskSurfaces() {
  const double* e = VolRendManager::getInst().extent;
  const TMaskIdTable& table = TMaskIdTable::getInst();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glScaled(e[0], e[1], e[2]);
  glEnable(GL_NORMALIZE);
  glEnable(GL_LIGHTING);
  const GLfloat spec[4] = {1, 1, 1, 0.5f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spec);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 32);
  // Every id whose polygon flag is on, 255 included.
  for (int id = 0; id < 256 && id < int(table.records.size()); ++id) {
    const TMaskIdInfo& rec = table.records[id];
    if (!rec.polygonRendering) continue;
    const float r = (rec.color & 0xff) / 255.0f, g = ((rec.color >> 8) & 0xff) / 255.0f,
                b = ((rec.color >> 16) & 0xff) / 255.0f, a = rec.alpha / 255.0f;
    const GLfloat dif[4] = {r, g, b, a}, amb[4] = {r / 2, g / 2, b / 2, a};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, dif);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
    const bool translucent = a < 0.8f;
    if (translucent) {
      glEnable(GL_BLEND);
      glDepthMask(GL_FALSE);
      glEnable(GL_CULL_FACE);
    }
    rec.surface.draw();
    if (translucent) {
      glDisable(GL_BLEND);
      glDepthMask(GL_TRUE);
    }
  }
  glDisable(GL_NORMALIZE);
  glPopMatrix();
}
