#include <algorithm>

#include <GL/gl.h>

#include "geom/Tstroke3D_tube.h"

// One strip across all stations: as the first and last entries of each ring coincide,
// the triangles that join one pair of rings to the next are degenerate.
void Tstroke3D_tube::drawTube() const {
  if (ringVerts.size() < 2 || ringNormals.size() != ringVerts.size()) return;
  glBegin(GL_TRIANGLE_STRIP);
  for (size_t i = 0; i + 1 < ringVerts.size(); ++i) {
    const TPoints& v0 = ringVerts[i];
    const TPoints& v1 = ringVerts[i + 1];
    const TPoints& n0 = ringNormals[i];
    const TPoints& n1 = ringNormals[i + 1];
    const size_t m = std::min(std::min(v0.size(), v1.size()), std::min(n0.size(), n1.size()));
    for (size_t s = 0; s < m; ++s) {
      glNormal3dv(n0[s].v);
      glVertex3dv(v0[s].v);
      glNormal3dv(n1[s].v);
      glVertex3dv(v1[s].v);
    }
  }
  glEnd();
}
