// Tstroke3D_tube: a stroke with a tube mesh around it for shaded drawing, one ring of
// vertices and normals per station.  The rings are a cache of the points: whoever changes
// points, sides or radius calls updateTube.  Members are public for the fiber stroke
// that derives from this class.  drawTube lives in Tstroke3D_tube_gl.cpp (kgeom_surf_gl).
#pragma once

#include <vector>

#include "geom/Tstroke3D.h"

class Tstroke3D_tube : public Tstroke3D {
 public:
  std::vector<TPoints> ringVerts;    // one ring per station
  std::vector<TPoints> ringNormals;  // matching unit normals
  int sides = 6;                     // entries per ring; the first and last coincide
  double radius;

  explicit Tstroke3D_tube(double radius);
  // Copies closed, points, sides and radius; the rings are rebuilt, not copied.
  Tstroke3D_tube(const Tstroke3D_tube& other);
  Tstroke3D_tube& operator=(const Tstroke3D_tube& other);
  ~Tstroke3D_tube() override;

  // Empties points and both ring arrays; sides and radius stay.
  void clear() override;
  // Rebuilds the rings from the points (nothing below 2 points or 2 sides).
  void updateTube();
  // One triangle strip over all stations with the current material.
  void drawTube() const;
};
