#include "view/mode_gl.h"

#include <GL/gl.h>

#include <QWidget>

#include "platform/GLContextHost.h"
#include "view/TOGL.h"

void t_drawGLLines(const TPoints& points, double r, double g, double b, float width) {
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glColor3d(r, g, b);
  glLineWidth(t_glPixels(width));
  glBegin(GL_LINE_STRIP);
  for (const TVec3& p : points) glVertex3dv(p.data());
  glEnd();
  glEnable(GL_DEPTH_TEST);
}

void t_redrawWindow(TOGL& ogl) {
  if (ogl.wnd) ogl.wnd->update();
}
