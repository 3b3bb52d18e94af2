#include "geom/sphere_cache_gl.h"

#include <GL/gl.h>

#include "geom/TTriangleMesh.h"

namespace {

// The plain and the shaded sphere are separate meshes, each tessellated on first use
// and kept until exit.
TTriangleMesh& plainSphere() {
  static TTriangleMesh mesh;
  static bool notBuilt = true;
  if (notBuilt) {
    notBuilt = false;
    mesh.initSphere(1.0);
  }
  return mesh;
}

TTriangleMesh& shadedSphere() {
  static TTriangleMesh mesh;
  static bool notBuilt = true;
  if (notBuilt) {
    notBuilt = false;
    mesh.initSphere(1.0);
  }
  return mesh;
}

}  // namespace

void t_drawSphere(double radius, const double centre[3]) {
  const TTriangleMesh& m = plainSphere();
  glPushMatrix();
  glTranslated(centre[0], centre[1], centre[2]);
  glScaled(radius, radius, radius);
  glBegin(GL_TRIANGLES);
  for (const TPolyIdx& p : m.polys)
    for (int k = 0; k < 3; ++k) glVertex3dv(m.verts[size_t(p[k])].v);
  glEnd();
  glPopMatrix();
}

void t_drawSphereShaded(double radius, const double centre[3]) {
  const TTriangleMesh& m = shadedSphere();
  glPushMatrix();
  glTranslated(centre[0], centre[1], centre[2]);
  glScaled(radius, radius, radius);
  glBegin(GL_TRIANGLES);
  for (const TPolyIdx& p : m.polys)
    for (int k = 0; k < 3; ++k) {
      const TVec3& n = m.vertNormals[size_t(p[k])];
      glNormal3d(n[0] * radius, n[1] * radius, n[2] * radius);
      glVertex3dv(m.verts[size_t(p[k])].v);
    }
  glEnd();
  glPopMatrix();
}

void t_drawSpheresAtPoints(double radius, const TPoints& points) {
  const GLfloat specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  const GLfloat colour[4] = {0.2f, 0.2f, 1.0f, 0.5f};
  glMaterialf(GL_FRONT, GL_SHININESS, 128.0f);
  glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
  glMaterialfv(GL_FRONT, GL_DIFFUSE, colour);
  glMaterialfv(GL_FRONT, GL_AMBIENT, colour);
  for (const TVec3& p : points) t_drawSphereShaded(radius, p.v);
}
