// Interpolating uniform cubic B-spline through a few user-placed points.
#pragma once

#include "geom/vec3.h"

// output <- n points of the uniform cubic B-spline that passes through the input points
// (periodic when closed), sampled evenly in its parameter from the first input point
// (t = 0) to the last (t = N - 1); a closed curve's span back to the first point is not
// sampled.  0 input points give n points at the origin, 1 gives n copies, 2 the segment
// resampled evenly.
void t_fitCubicBSpline(const TPoints& input, TPoints& output, bool closed, int n);
