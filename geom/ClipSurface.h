// ClipSurface: a triangle mesh with one overall unit direction, the shape of every
// cutting or canvas surface.  The mouse wheel moves the whole surface along it.
#pragma once

#include "geom/TTriangleMesh.h"

class ClipSurface : public TTriangleMesh {
 public:
  double direction[3] = {0.0, 0.0, 0.0};

  ClipSurface() = default;
  // The copy takes the source's geometry; its direction is derived from the copied
  // normals, not taken from the source.
  explicit ClipSurface(const TTriangleMesh& src) { setFromMesh(src); }
  ClipSurface(const ClipSurface& src) : TTriangleMesh() { setFromMesh(src); }
  ClipSurface& operator=(const ClipSurface& src) = default;
  ~ClipSurface() override { ClipSurface::clear(); }

  void clear() override;
  // Copies src and derives the direction from the normals of vertices 0, 3, 6, ...;
  // false (direction (0, 0, 0)) when that sum is zero.
  bool setFromMesh(const TTriangleMesh& src);
  void translate(double t);
  void getBoundingBox(double mn[3], double mx[3]) const;
};
