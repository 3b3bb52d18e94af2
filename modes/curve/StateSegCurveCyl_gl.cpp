// Drawing of the curved-cylinder mode in the main view.
#include "modes/curve/StateSegCurveCyl_gl.h"

#include <GL/glew.h>

#include "geom/sphere_cache_gl.h"
#include "modes/curve/StateSegCurveCyl.h"
#include "platform/GLContextHost.h"
#include "view/VolRendManager.h"
#include "view/mode_gl.h"
#include "volume/TextureManager.h"

namespace {

// The segmentation overlay of the textured surfaces: non-target voxels dark.
constexpr int kSegClip = 1;

// Control points: unlit red balls of the tube's radius.
void drawCtrlPoints(const TCCylCurve& c) {
  glDisable(GL_LIGHTING);
  glColor3d(1, 0, 0);
  for (const TVec3& p : c.ctrlPoints) t_drawSphere(c.tube.radius, p.data());
}

// The tube, lit in a half-transparent red material on both faces.
void drawCurve(const TCCylCurve& c, bool blend) {
  if (c.tube.ringVerts.size() < 2) return;
  const float spe[4] = {1, 1, 1, 0.5f}, shi[1] = {128};
  const float dif[4] = {1, 0.3f, 0.3f, 0.5f}, amb[4] = {1, 0.3f, 0.3f, 0.5f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spe);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, shi);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, dif);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
  glEnable(GL_LIGHTING);
  if (blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
  }
  c.tube.drawTube();
  glDisable(GL_BLEND);
  glDisable(GL_LIGHTING);
}

}  // namespace

void t_drawStateSegCurveCyl(StateSegCurveCyl& mode) {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  glEnable(GL_DEPTH_TEST);
  vr.drawFrame();
  vr.drawSlicePlanes();
  vr.drawSlicePlanesTextured(kSegClip, false);
  vr.drawSlicePlanesTextured(kSegClip, true);
  if (vr.cutSurface.polyCount > 0) {
    vr.drawCutSurface(vr.cutSurface, false, kSegClip);
    vr.drawCutSurface(vr.cutSurface, true, kSegClip);
    glDisable(GL_LIGHTING);
    glColor3d(1, 1, 1);
    glLineWidth(t_glPixels(2));
    vr.cutSurface.drawBoundaryEdges();
  }
  glEnable(GL_DEPTH_TEST);
  drawCtrlPoints(mode.newCurve());
  drawCurve(mode.newCurve(), true);
  for (const TCCylCurve& c : mode.storedCurves()) drawCurve(c, false);
  vr.drawVolumeSegGCut();
  if (mode.isDrawingStroke()) t_drawGLLines(mode.cutStroke(), 1, 0, 0, 4);
}
