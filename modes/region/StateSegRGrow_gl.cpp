// Drawing of the region-growing mode in the main view.
#include "modes/region/StateSegRGrow_gl.h"

#include <GL/glew.h>

#include "geom/sphere_cache_gl.h"
#include "modes/region/StateSegRGrow.h"
#include "platform/GLContextHost.h"
#include "view/VolRendManager.h"
#include "view/mode_gl.h"
#include "volume/TextureManager.h"

namespace {
// The segmentation overlay of the textured surfaces: extracted voxels red, non-target dark.
constexpr int kSegClip = 1;
}  // namespace

void t_drawStateSegRGrow(StateSegRGrow& mode) {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  vr.drawFrame();
  glEnable(GL_DEPTH_TEST);
  // Far side of the cut surface, the planes' first pass, the volume through the segmentation
  // program (it shows the flags), then the near sides.
  vr.drawCutSurface(vr.cutSurface, false, kSegClip);
  vr.drawSlicePlanesTextured(kSegClip, false);
  vr.drawVolumeSegGCut();
  glEnable(GL_DEPTH_TEST);
  vr.drawSlicePlanes();
  vr.drawSlicePlanesTextured(kSegClip, true);
  vr.drawCutSurface(vr.cutSurface, true, kSegClip);
  if (vr.cutSurface.polyCount > 0) {
    glDisable(GL_LIGHTING);
    glColor3d(1, 1, 1);
    glLineWidth(t_glPixels(2));
    vr.cutSurface.drawBoundaryEdges();
  }

  glDisable(GL_LIGHTING);
  glColor3d(1, 0, 0);
  for (const TVec3& c : mode.controlPoints()) t_drawSphere(mode.ctrlPointRadius(), c.data());

  const TTriangleMesh& iso = mode.isoSurface();
  if (iso.polyCount > 0) {
    const float amb[4] = {0.5f, 0.1f, 0.0f, 1.0f}, dif[4] = {1.0f, 0.2f, 0.0f, 1.0f};
    const float spe[4] = {1, 1, 1, 1}, shi[1] = {128};
    glEnable(GL_LIGHTING);
    glMaterialfv(GL_FRONT, GL_AMBIENT, amb);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, dif);
    glMaterialfv(GL_FRONT, GL_SPECULAR, spe);
    glMaterialfv(GL_FRONT, GL_SHININESS, shi);
    iso.draw();
    glDisable(GL_LIGHTING);
  }
  if (mode.isDrawingStroke()) t_drawGLLines(mode.cutStroke(), 1, 0, 0, 4);
}
