// Filling curved cylinders into the region mask, and the small steps around it that the
// curved-cylinder mode needs: the tubes that take part, and picking a stored curve.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "geom/Tstroke3D_tube.h"
#include "modes/curve/kernels/TCCylCurve.h"

struct TCCylFillResult {
  bool refused = false;           // the ID lies outside 1-255: nothing was written
  long long filled = 0;           // voxels now holding the ID
  std::array<bool, 256> taken{};  // IDs that held some of those voxels before
};

// Writes `id` into the mask at every voxel whose flag is 1 and whose centre
// ((i + 0.5)·px, (j + 0.5)·py, (k + 0.5)·pz) lies within a tube's radius of its centre
// line (distance <= radius).  Each centre line is first resampled at equal arc length into
// max(2 × its point count, length / mean pitch) segments.  A centre line of zero length
// fills the ball around its point.  The flag and mask volumes are W × H × D bytes, x
// fastest.  progress (may be empty) gets the percentage of slices done, from the calling
// thread.
TCCylFillResult t_fillCurvedCylinders(const uint8_t* flags, uint8_t* mask, int W, int H, int D,
                                      const double pitch[3], const std::vector<Tstroke3D_tube>& tubes, int id,
                                      const std::function<void(int)>& progress = {});

// The tubes that "Finish" fills: every stored curve's, in order, then the curve being
// edited when there is one with at least two control points.
std::vector<Tstroke3D_tube> t_collectCurveTubes(const std::vector<TCCylCurve>& stored, const TCCylCurve* editing);

// The stored curve (at least two control points) whose tube the ray passes within its
// radius, the one whose picked tube point is nearest to the ray origin; -1 when none.
int t_pickStoredCurve(const std::vector<TCCylCurve>& curves, const double origin[3], const double direction[3]);
