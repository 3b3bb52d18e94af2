#pragma once
// A tube stroke the user pulls with the mouse: the dragged point follows the cursor and the
// points within an arc-length region around it follow as a bent elastic rod (one linearised
// least-squares solve per move), while pinned points and points outside the region stay put.
#include <array>
#include <vector>

#include "geom/Tstroke3D_tube.h"

class Tstroke3D_fiber : public Tstroke3D_tube {
 public:
  // 3x3 rotation, column-major: element (row r, column c) at r + 3c.
  using Rot = std::array<double, 9>;

  TPoints restPoints;                  // the shape at the start of the current drag
  std::vector<int> regionFlags;        // 1: the point moves in the current drag
  std::vector<Rot> rotations;          // per point, the rotation accumulated during the drag
  std::vector<unsigned short> pinned;  // non-zero: held fixed (set by the owner)

  Tstroke3D_fiber();
  ~Tstroke3D_fiber() override;

  void copyFrom(const Tstroke3D_fiber& other);
  // Moves point i to the middle of its neighbours (ends only on a closed fiber).
  void relaxPoint(int i);

  void startDeformation(int i, double radius);
  // One drag step of point i towards target.  Returns false when the solve failed (the fiber is
  // then left as it was before this step).
  bool deform(int i, const double target[3]);
  void finishDeformation();

  void markRegionOpen(int i, double radius);
  void markRegionClosed(int i, double radius);
  void growRegionOpen(int i, const double target[3]);
  void growRegionClosed(int i, const double target[3]);

 private:
  void resizePinned();
};
