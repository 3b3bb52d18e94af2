#pragma once
// Geometry of the three slice planes and of the cut surface in the volume box, as plain
// arithmetic (the renderer adds the drawing, the panel's check boxes and the camera).
//
// Plane ids: 0 XY (z = ez * s[2]), 1 YZ (x = ex * s[0]), 2 ZX (y = ey * s[1]); s holds the slice
// positions as fractions of the box extent e along x, y, z.  Rays are (o, d) with d of unit
// length; only points at t >= 0 along a ray count as hits.
#include <vector>

#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"

// Entry and exit of the line p + t d (t unrestricted) with the box [0, e]; false when the line
// misses it.  Faces are tested with a tolerance of 0.001.
bool t_clipLineToBox(const double extent[3], const double p[3], const double d[3], double entry[3],
                     double exit[3]);

// One pass of 0.5 p[i] + 0.25 (p[i-1] + p[i+1]) over the interior points; the ends stay.
void t_smoothPolylineOnce(TPoints& pts);

// Keeps each position a quarter voxel off the voxel boundary below it and inside (0, 1).
void t_keepSlicesSane(double s[3], int W, int H, int D);

// Pane line pick: 0 none, 1 near the pane's first line, 2 its second, 3 both; point is the world
// point under the cursor in the pane, which must lie inside the pane's rectangle of the box.
int t_pickSliceLine(int plane, const double s[3], const double extent[3], const double point[3],
                    double tol);

// The ray's point on a plane; true when it lies inside the box (no tolerance, t >= 0).  hit is
// (-1, -1, -1) when the ray is parallel to the plane or points away from it.
bool t_intersectSlicePlane(const double s[3], const double extent[3], const double o[3],
                           const double d[3], int plane, double hit[3]);

// Handle pick: the first of YZ, ZX, XY (when shown) whose handle centre lies closer than radius
// to the ray, in front of its origin.  -1 for none.
int t_pickSliceHandle(const double s[3], const double extent[3], const bool shown[3],
                      const double o[3], const double d[3], double radius);

// Moves plane (0..2) to the point of its axis nearest to the ray; false (nothing changed) when
// that point lies outside the box or the ray runs parallel to the axis.
bool t_dragSliceHandle(double s[3], const double extent[3], int plane, const double o[3],
                       const double d[3]);

// Nearest point along the ray on the shown planes (inside the box with a tolerance of 0.001) or
// on the cut surface (may be null).  Returns the plane id, 3 for the cut surface, 4 for none.
int t_pickPointOnSlices(const double s[3], const double extent[3], const bool shown[3],
                        const TTriangleMesh* cut, const double o[3], const double d[3],
                        double pos[3]);

// The stroke as the cut surface uses it: resampled (31 to 101 points), extended by ten points at
// each end and smoothed twice.  Fewer than two points give an empty result.
void t_processCutStroke(const TPoints& stroke, TPoints& out);

// Sweeps the lines through the polyline's points across the box.  Perspective: lines from the
// eye through each point (a fan from the eye when the eye is inside the box).  Parallel
// (eye == nullptr): lines through each point along viewDir.  A point whose line misses the box
// breaks the strip.
void t_cutSurfaceFromRays(const double extent[3], const TPoints& poly, const double* eye,
                          const double viewDir[3], std::vector<TVec3>& verts,
                          std::vector<TPolyIdx>& tris);
