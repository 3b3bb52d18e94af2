// Drawing of the two-step contour-mesh mode in the main view.
#include "modes/contour/StateSegCMeshZel_gl.h"

#include <GL/glew.h>

#include "core/ModeViewHost.h"
#include "geom/sphere_cache_gl.h"
#include "modes/contour/StateSegCMeshZel.h"
#include "modes/contour/contour_canvas_gl.h"
#include "platform/GLContextHost.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

namespace {

// The segmentation overlay of the textured surfaces: non-target voxels dark.
constexpr int kSegClip = 1;

}  // namespace

void t_drawStateSegCMeshZel(StateSegCMeshZel& mode) {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  TModeViewHost* h = t_modeViewHost();
  const bool space = h && h->spaceKeyHeld();
  const unsigned keys = h ? h->keyState() : 0u;
  const bool ctrl = (keys & TModeState::MK_CONTROL) != 0, alt = (keys & TModeState::MK_ALT) != 0;
  TDlgSegCMeshZelIf* panel = mode.dlg();
  glEnable(GL_DEPTH_TEST);
  vr.drawFrame();

  if (!mode.isStep2()) {
    vr.drawSlicePlanes();
    vr.drawSlicePlanesTextured(kSegClip, false);
    vr.drawSlicePlanesTextured(kSegClip, true);
    // The axis lies on the slice it was picked on: drawn over it.
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glColor3d(0, 1, 0);
    for (int i = 0; i < mode.axisCount(); ++i) t_drawSphere(0.09, mode.axisPoint(i).data());
    if (mode.axisCount() == 2) {
      glLineWidth(t_glPixels(4));
      glBegin(GL_LINES);
      glVertex3dv(mode.axisPoint(0).data());
      glVertex3dv(mode.axisPoint(1).data());
      glEnd();
    }
    glEnable(GL_DEPTH_TEST);
  } else {
    const int clip = panel && panel->showRegion() ? kSegClip : 0;
    if (mode.isContourStarted()) {
      t_drawContourCanvas(vr, mode.drawnContour().canvas, clip);
      glEnable(GL_DEPTH_TEST);
      if (!space) {
        mode.drawnContour().draw(true);
        if (alt) mode.drawnContour().drawRbfPoints();
      }
    } else if (mode.currentPlane() < static_cast<int>(mode.planes().size())) {
      t_drawContourCanvas(vr, mode.planes()[static_cast<size_t>(mode.currentPlane())], clip);
    }
    glEnable(GL_DEPTH_TEST);
    if (!space && !ctrl)
      for (const TCanvasContour& c : mode.contours()) {
        c.draw(false);
        if (alt) c.drawRbfPoints();
      }
    if (panel && panel->showSurface() && mode.boundarySurface().polyCount > 0) {
      const float dif[4] = {0.0f, 0.7f, 0.1f, 0.8f}, amb[4] = {0.05f, 0.1f, 0.05f, 0.8f};
      glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, dif);
      glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
      glEnable(GL_LIGHTING);
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      mode.boundarySurface().draw();
      glDisable(GL_BLEND);
      glDisable(GL_LIGHTING);
    }
  }
  vr.drawVolumeSegGCut();
}
