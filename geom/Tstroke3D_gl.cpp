#include <GL/gl.h>

#include "geom/Tstroke3D.h"

void Tstroke3D::drawPolyline(float width) const {
  glLineWidth(width);
  glBegin(GL_LINE_STRIP);
  for (const TVec3& p : points) glVertex3dv(p.v);
  if (closed && !points.empty()) glVertex3dv(points.front().v);
  glEnd();
}
