// Best orders of a set of control points: the Hamiltonian paths of a k-nearest-neighbour
// graph with the lowest energy (squared step lengths plus bending), found by a
// branch-and-bound search that stays exhaustive within a node budget and finishes with
// local improvement beyond it.
#pragma once

#include <vector>

#include "geom/vec3.h"

// Neighbour graph of a point set: j is a neighbour of i when either is among the other's
// k nearest.  Each list is in ascending index order.
struct TPointDistanceGraph {
  int k = 0;
  std::vector<std::vector<int>> neighbours;
};

// graph <- the symmetric k-nearest-neighbour graph of the points.  Candidates at equal
// distance are taken in ascending index order.  k is clamped to [0, n - 1].
void t_buildPointDistanceGraph(TPointDistanceGraph& graph, const TPoints& points, int k);

// Energy of visiting the points in the given order (a permutation of 0 … n - 1, or any
// index sequence): the squared step lengths plus, at every bend, (θ - π)² where θ is the
// angle between the step in and the step out (a straight continuation costs nothing, a
// full reversal π²).  A run of coincident points counts as one point: it bends once,
// between the last distinct point before it and the first distinct point after it, and a
// run at either end of the path does not bend.  Never NaN for finite points.
double t_pointOrderEnergy(const TPoints& points, const std::vector<int>& order);

// How far the search may go.  Up to `exhaustiveUpTo` points the search is exhaustive
// whatever the graph (the complete graph on 9 points has 8 × 109601 partial paths to
// extend from the starts 0 … 7, some tens of milliseconds; kNN graphs far fewer).  Beyond, it stops after `nodeBudget` extended partial paths, then improves the
// best paths found by local moves; within the budget the result is still exact.
struct TOrderSearchLimits {
  int exhaustiveUpTo = 9;
  long long nodeBudget = 750000;
};

struct TOrderSearchStats {
  long long considered = 0;   // complete orders evaluated
  long long nodes = 0;        // partial paths extended
  bool exhaustive = true;     // the budget was not reached: the result is exact
  double searchSeconds = 0;   // wall-clock
  double improveSeconds = 0;  // wall-clock of the local improvement (0 when exhaustive)
};

// The best, second and third orders (fewer when fewer exist) among the Hamiltonian paths
// of the graph, each path taken once, from its smaller end index.  Ranking is by energy;
// among equal energies the lexicographically smaller order ranks first.  Empty when the
// graph has no Hamiltonian path (or, beyond the budget, none was found).  Needs n >= 2.
std::vector<std::vector<int>> t_searchBestPointOrders(const TPoints& points, const TPointDistanceGraph& graph,
                                                      const TOrderSearchLimits& limits = TOrderSearchLimits(),
                                                      TOrderSearchStats* stats = nullptr);
