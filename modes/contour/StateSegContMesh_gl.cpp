// Drawing of the contour-mesh mode in the main view.
#include "modes/contour/StateSegContMesh_gl.h"

#include <GL/glew.h>

#include "core/ModeViewHost.h"
#include "modes/contour/StateSegContMesh.h"
#include "modes/contour/contour_canvas_gl.h"
#include "view/VolRendManager.h"
#include "view/mode_gl.h"
#include "volume/TextureManager.h"

bool t_contMeshCutSurface(TTriangleMesh& out) {
  const ClipSurface& s = VolRendManager::getInst().cutSurface;
  if (s.vertexCount <= 3) return false;
  out.copyFrom(s);
  return true;
}

void t_drawStateSegContMesh(StateSegContMesh& mode) {
  if (TextureManager::getInst().vol1.empty()) return;
  VolRendManager& vr = VolRendManager::getInst();
  TModeViewHost* h = t_modeViewHost();
  const bool space = h && h->spaceKeyHeld();
  const bool ctrl = h && (h->keyState() & TModeState::MK_CONTROL);
  TDlgSegContMeshIf* panel = mode.dlg();
  const bool drawing = mode.isNewContour();

  glEnable(GL_DEPTH_TEST);
  vr.drawFrame();

  // The canvas, both faces, showing the volume with the non-target voxels dark.
  t_drawContourCanvas(vr, drawing ? mode.drawnContour().canvas : mode.canvas(),
                      panel && panel->showForeground() && !space ? 1 : 0);
  glEnable(GL_DEPTH_TEST);
  if (drawing && !space) mode.drawnContour().draw(true);
  if (!space && (!panel || panel->showContours()))
    for (const TCanvasContour& c : mode.storedContours()) c.draw(false);

  if (!panel || panel->showSurface()) {
    const float spe[4] = {0.8f, 0.8f, 0.8f, 0.5f}, shi[1] = {40};
    const float dif[4] = {0.0f, 0.7f, 0.1f, 0.5f}, amb[4] = {0.05f, 0.1f, 0.05f, 0.5f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spe);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, shi);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, dif);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
    glEnable(GL_LIGHTING);
    if (!ctrl) {
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    mode.displayedMesh().draw();
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
  }
  if (mode.drawSamplesOn()) {
    mode.drawnContour().drawSamples();
    for (const TCanvasContour& c : mode.storedContours()) c.drawSamples();
  }
  if (mode.drawPointsOn()) {
    mode.drawnContour().drawRbfPoints();
    for (const TCanvasContour& c : mode.storedContours()) c.drawRbfPoints();
  }
  vr.drawVolumeSegGCut();
  if (mode.isDrawingCanvasStroke()) t_drawGLLines(mode.canvasStroke(), 1, 0, 0, 4);
}
