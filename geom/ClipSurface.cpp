#include "geom/ClipSurface.h"

#include <cfloat>

void ClipSurface::clear() {
  TTriangleMesh::clear();
  direction[0] = 1.0;
  direction[1] = 0.0;
  direction[2] = 0.0;
}

bool ClipSurface::setFromMesh(const TTriangleMesh& src) {
  if (&src == this) {
    // Copying onto itself: keep the geometry and only derive the direction again.
    TTriangleMesh keep(src);
    return setFromMesh(keep);
  }
  clear();
  copyFrom(src);
  direction[0] = direction[1] = direction[2] = 0.0;
  for (int i = 0; i < vertexCount && i < static_cast<int>(vertNormals.size()); i += 3) {
    direction[0] += vertNormals[i][0];
    direction[1] += vertNormals[i][1];
    direction[2] += vertNormals[i][2];
  }
  return t_normalize3(direction);
}

void ClipSurface::translate(double t) {
  for (int i = 0; i < vertexCount; ++i)
    for (int k = 0; k < 3; ++k) verts[i][k] += t * direction[k];
}

void ClipSurface::getBoundingBox(double mn[3], double mx[3]) const {
  for (int k = 0; k < 3; ++k) {
    mn[k] = DBL_MAX;
    mx[k] = -DBL_MAX;
  }
  for (int i = 0; i < vertexCount; ++i)
    for (int k = 0; k < 3; ++k) {
      if (verts[i][k] < mn[k]) mn[k] = verts[i][k];
      if (verts[i][k] > mx[k]) mx[k] = verts[i][k];
    }
}
