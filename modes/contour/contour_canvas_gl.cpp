#include "modes/contour/contour_canvas_gl.h"

#include <GL/glew.h>

#include "platform/GLContextHost.h"
#include "view/VolRendManager.h"

void t_drawContourCanvas(VolRendManager& vr, const ClipSurface& c, int clip) {
  if (c.polyCount == 0) return;
  // The renderer's drawing calls take the surface as modifiable; they do not change it.
  ClipSurface& canvas = const_cast<ClipSurface&>(c);
  glDisable(GL_LIGHTING);
  glColor3d(1, 1, 1);
  vr.drawCutSurface(canvas, false, clip);
  vr.drawCutSurface(canvas, true, clip);
  glDisable(GL_LIGHTING);
  glColor3d(1, 1, 1);
  glLineWidth(t_glPixels(2));
  canvas.drawBoundaryEdges();
}
