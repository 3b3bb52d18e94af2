#pragma once
// Fibers from cutting strokes: the surface swept from the eye by a stroke drawn in the main view
// meets the region mesh in polylines; each becomes a fiber whose samples are tied to mesh edges.
// Also the cross points with stored fibers, the nesting of the fibers of one cut, the projection
// of fiber points back onto the stroke surface and the picking of fiber points.
#include <cstdint>
#include <vector>

#include "geom/TTriangleMesh.h"
#include "modes/curve/kernels/TFiberStroke.h"
#include "modes/curve/kernels/TFiberView.h"

// Marks the mesh edges that the stroke surface cuts.  screenStroke holds window points
// (x, y from the top, 0).  The outputs are sized to the edge count: cut flag, cut point and arc
// position of the crossing along the stroke.
void t_cutMeshByStrokeSurface(const TPoints& screenStroke, const TTriangleMesh& mesh, const TFiberView& view,
                              std::vector<uint8_t>& edgeCut, TPoints& cutPoints, std::vector<double>& strokePos);

// Chains the cut edges into polylines through the triangles they share: open polylines first,
// then closed loops.  A polyline ends where it reaches the mesh border.  False when a triangle
// has all three edges cut.
bool t_linkCutSegments(const TTriangleMesh& mesh, const std::vector<uint8_t>& edgeCut,
                       std::vector<std::vector<int>>& polylines);

// Places the constraints (arc parameters u, one per constraint) on the resampled points R and
// gives every point its nearest constraint.
void t_setFiberConstraintParams(const TPoints& R, const std::vector<double>& u, std::vector<int>& pointConstraint,
                                std::vector<TFiberConstraint>& constraints);

// Cuts, links and builds one fiber per polyline into fibers (cleared first).  screenStroke is the
// resampled window stroke.  False when the linking fails or a fiber is not usable.
bool t_createFibersFromStroke(const TPoints& screenStroke, const TTriangleMesh& mesh, const TFiberView& view,
                              std::vector<TFiberStroke>& fibers);

// Joins the new fibers to the stored fibers that the stroke crosses on screen.  False when a
// crossing has no new-fiber point close enough.
bool t_addFiberCrossPoints(const TPoints& screenStroke, const TFiberView& view, std::vector<TFiberStroke>& newFibers,
                           std::vector<TFiberStroke>& storedFibers, std::vector<TCrossPoint>& crossPoints);

// Depth and parent of the fibers of one cut, from their nesting in the plane of the cut
// (stroke position, eye distance).
void t_rebuildFiberTree(std::vector<TFiberStroke>& fibers);

// Projects p onto the plane through the eye and the stroke segment nearest to the line eye-p.
// Fewer than 3 stroke points leave p unchanged.
void t_projectToStrokeSurface(double p[3], const double eye[3], const TPoints& stroke);
// Projects every fiber point onto the stroke surface, then rebuilds the tube.
void t_snapFiberToCurve(TFiberStroke& fiber, const double eye[3], const TPoints& stroke);

struct TFiberPick {
  int fiber = -1;
  int point = -1;
  double pos[3] = {0, 0, 0};
};
// The fiber point under the cursor (window point, y from the top): among the fibers whose
// nearest point lies within 3 tube radii of the cursor ray, the point nearest to the ray origin.
bool t_pickFiberPoint(double x, double y, const TFiberView& view, const std::vector<TFiberStroke>& fibers,
                      TFiberPick& pick);
