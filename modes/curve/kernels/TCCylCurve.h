// TCCylCurve: the curve of the curved-cylinder mode.  The user places control points in
// any order; the curve finds the orders that join them best (short steps, little bending),
// keeps the order as placed beside them, and builds a tube of the chosen radius through
// the points in the selected order.  Drawing is left to the mode.
#pragma once

#include <vector>

#include "geom/Tstroke3D_tube.h"
#include "geom/vec3.h"
#include "modes/curve/kernels/ccyl_order_search.h"

class TCCylCurve {
 public:
  TPoints ctrlPoints;                        // in the order placed
  Tstroke3D_tube tube{0.1};                  // the centre line and its rings
  std::vector<std::vector<int>> candidates;  // 0: as placed; 1-3: best, second, third
  int selected = 1;                          // the candidate the tube follows
  TOrderSearchLimits searchLimits;           // bound of the order search

  TCCylCurve() = default;
  TCCylCurve(const TCCylCurve&) = default;
  TCCylCurve& operator=(const TCCylCurve&) = default;

  // Empties the control points, the tube and the candidates; radius and selection stay.
  void clear();

  // Recomputes the candidates when forced or when they no longer match the points, then
  // rebuilds the tube along the selected candidate.  The graph starts with the 3 nearest
  // neighbours (n - 1 when smaller) and widens only while no order exists.  Beyond the
  // exhaustive size the searches share one node budget, and a graph whose search ran out
  // of it without any order gives way to the complete graph at once.  Below two
  // points the tube is emptied.  Returns false, leaving the tube as it was, when the
  // selected candidate does not match the points.
  bool updateCurve(bool force);

  // candidates <- the order as placed, then the up to three best orders over the
  // k-nearest-neighbour graph; one or two points give two entries of the one order.
  void searchBestOrders(int k, std::vector<std::vector<int>>& out) const;
  void searchBestOrders(int k, std::vector<std::vector<int>>& out, const TOrderSearchLimits& limits,
                        TOrderSearchStats* stats) const;

  // Among the control points closer to the ray's line than the tube radius, the one
  // nearest to the ray origin; index -1 and false when none.
  bool pickCtrlPoint(const double origin[3], const double direction[3], int& index) const;

  // Copies the tube (points, sides, radius, rings).
  void copyCurveTo(Tstroke3D_tube& out) const;

  // Box of the points, from min = (100000, …) and max = (-100000, …).
  static void getBoundingBox(const TPoints& points, double min[3], double max[3]);
};
