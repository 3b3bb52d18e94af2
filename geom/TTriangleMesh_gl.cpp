// OpenGL immediate-mode drawing of TTriangleMesh.  The caller has made a context
// current; nothing here changes GL state except drawEdges, which switches lighting off.
#include <GL/gl.h>

#include <cstdio>

#include "geom/TTriangleMesh.h"

void TTriangleMesh::draw() const {
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < polyCount; ++i)
    for (int k = 0; k < 3; ++k) {
      const int v = polys[i][k];
      glNormal3dv(vertNormals[v]);
      glVertex3dv(verts[v]);
    }
  glEnd();
}

void TTriangleMesh::drawTexCoord(double X, double Y, double Z) const {
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < polyCount; ++i)
    for (int k = 0; k < 3; ++k) {
      const TVec3& p = verts[polys[i][k]];
      glTexCoord3d(p[0] / X, p[1] / Y, p[2] / Z);
      glVertex3dv(p);
    }
  glEnd();
}

void TTriangleMesh::drawTexCoordFlipped(double X, double Y, double Z) const {
  static const int order[3] = {0, 2, 1};
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < polyCount; ++i)
    for (int k : order) {
      const TVec3& p = verts[polys[i][k]];
      glTexCoord3d(p[0] / X, p[1] / Y, p[2] / Z);
      glVertex3dv(p);
    }
  glEnd();
}

void TTriangleMesh::drawEdges() const {
  glDisable(GL_LIGHTING);
  glBegin(GL_LINES);
  for (const TMeshEdge& e : edges) {
    glVertex3dv(verts[e.vert0]);
    glVertex3dv(verts[e.vert1]);
  }
  glEnd();
}

void TTriangleMesh::drawBoundaryEdges() const {
  glBegin(GL_LINES);
  for (const TMeshEdge& e : edges)
    if (e.isBoundary()) {
      glVertex3dv(verts[e.vert0]);
      glVertex3dv(verts[e.vert1]);
    }
  glEnd();
}

void TTriangleMesh::drawBoundaryPoints() const {
  fprintf(stderr, "#1");
  glBegin(GL_POINTS);
  for (const TMeshEdge& e : edges)
    if (e.isBoundary()) {
      glVertex3dv(verts[e.vert0]);
      glVertex3dv(verts[e.vert1]);
    }
  glEnd();
}
