#pragma once
// Fibers: curves on the region surface made by cutting strokes, each sample tied to a mesh edge
// by a constraint record; and the cross points where fibers of different cuts meet.
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "geom/Tstroke3D_fiber.h"

// One cut point of a fiber: where it sits on the fiber and on the region mesh.
struct TFiberConstraint {
  int fibA = -1;           // fiber segment fibA - fibB (fibB = fibA + 1)
  int fibB = -1;
  double t = 0.0;          // weight of fiber point fibA: (1 - t) P[fibB] + t P[fibA]
  double pos[3] = {0, 0, 0};
  int meshA = -1;          // the region-mesh edge meshA - meshB
  int meshB = -1;
  double w = 0.0;          // weight of meshA: w V[meshA] + (1 - w) V[meshB]
  uint8_t active = 1;
  uint8_t inRoi = 0;       // stored fibers: both mesh vertices lie in the current ROI mesh
  int roiIndex = -1;       // index of this constraint's edge-point constraint in the ROI mesh
  double strokePos = 0.0;  // 10 x arc position of the crossing along the screen stroke / its length
  double eyeDist = 0.0;    // distance from the camera eye to the cut point
};

class TFiberStroke : public Tstroke3D_fiber {
 public:
  std::vector<int> pointConstraint;         // per point: the nearest constraint along the fiber
  std::vector<TFiberConstraint> constraints;
  TPoints moveVectors;                      // per point, written by the rub-snakes step
  int depth = -1;                           // fibers of the same cut enclosing this one
  int parent = -1;                          // the enclosing fiber one level up

  TFiberStroke();
  // Copies everything but the move vectors, which start empty.
  TFiberStroke(const TFiberStroke& o);
  TFiberStroke& operator=(const TFiberStroke& o);
  ~TFiberStroke() override;

  // Pinned flag of point i (the flag array is first sized to the points, new entries 0).
  unsigned short getPointFlag(int i);
  void setPointFlag(int i, unsigned short v);
  // position := (1 - t) P[fibB] + t P[fibA] for every constraint.
  void updateConstraintPositions();
  void reversePoints();
  // The "fibConst" block of the contour file; false when the stream failed.
  bool writeConstraints(FILE* fp) const;
};

// Points of fibers that are one 3-D point: pairs (fiber index, point index) into the new and
// into the stored fibers.
struct TCrossPoint {
  std::vector<std::pair<int, int>> newPairs;
  std::vector<std::pair<int, int>> storedPairs;
};
