// Drawing of the graph-cut mode in the main view.
#include "modes/region/StateSegGCut_gl.h"

#include <GL/glew.h>

#include <cmath>

#include "core/ModeViewHost.h"
#include "geom/sphere_cache_gl.h"
#include "modes/region/StateSegGCut.h"
#include "platform/GLContextHost.h"
#include "view/VolRendManager.h"
#include "view/mode_gl.h"
#include "volume/TextureManager.h"

namespace {

// The segmentation overlay of the textured surfaces: extracted voxels red, non-target dark.
constexpr int kSegClip = 1;

// Whether a control point lies within r of a shown slice plane (XY, YZ, ZX in that order) or of a
// vertex of the cut surface.
bool nearShownSurface(const VolRendManager& vr, const double c[3], double r) {
  // Plane 0 (XY) is at z, 1 (YZ) at x, 2 (ZX) at y.
  const int axisOfPlane[3] = {2, 0, 1};
  for (int plane = 0; plane < 3; ++plane) {
    if (!vr.isPlaneShown(plane)) continue;
    const int a = axisOfPlane[plane];
    if (std::fabs(c[a] - vr.slicePos[a] * vr.extent[a]) < r) return true;
  }
  const ClipSurface& s = vr.cutSurface;
  for (int i = 0; i < s.vertexCount && i < static_cast<int>(s.verts.size()); ++i) {
    const TVec3& v = s.verts[i];
    const double d[3] = {v[0] - c[0], v[1] - c[1], v[2] - c[2]};
    if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] < r * r) return true;
  }
  return false;
}

}  // namespace

void t_drawStateSegGCut(StateSegGCut& mode) {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  vr.drawFrame();
  glEnable(GL_DEPTH_TEST);
  // Far side: the planes' first pass and the cut surface, then the volume through the
  // segmentation program (it shows the flags), then the near sides and the surface's rim.
  vr.drawSlicePlanesTextured(kSegClip, false);
  vr.drawCutSurface(vr.cutSurface, false, kSegClip);
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

  const bool space = t_modeViewHost() && t_modeViewHost()->spaceKeyHeld();
  if (!space) {
    glDisable(GL_LIGHTING);
    const double r = mode.ctrlPointRadius();
    const bool all = mode.isShowAllChecked();
    for (const TGCutCtrlPoint& p : mode.controlPoints()) {
      const double c[3] = {p.x, p.y, p.z};
      if (!all && !nearShownSurface(vr, c, r)) continue;
      if (p.fore)
        glColor3d(1, 0, 0);
      else
        glColor3d(0.2, 0.2, 1.0);
      t_drawSphere(r, c);
    }
  } else if (mode.regionSurface().polyCount > 0) {
    glEnable(GL_LIGHTING);
    mode.regionSurface().draw();
    glDisable(GL_LIGHTING);
  }
  if (mode.isDrawingStroke()) t_drawGLLines(mode.cutStroke(), 1, 0, 0, 4);
}

void t_installStateSegGCutHooks() {
  StateSegGCut::setDrawHook(&t_drawStateSegGCut);
  StateSegGCut::setVolumePathHook([] { return TextureManager::getInst().filePath; });
}
