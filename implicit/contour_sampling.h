// Helpers of contour sampling: closed resampling, polyline tangents, volume gradients and
// trilinear look-ups.  Volumes are W x H x D floats, x fastest; extent is the world size.
#pragma once

#include <vector>

#include "geom/vec3.h"

// N points at equal arc length along the closed polyline (closing segment included).
void t_resampleClosedPolyline(int N, const std::vector<TVec3>& in, std::vector<TVec3>& out);
// Unit tangent at point *i: central difference inside, one-sided at the ends of an open polyline.
void t_polylineTangent(const std::vector<TVec3>& pts, const int* i, const bool* closed, double out[3]);
// Smoothed central-difference gradient of the 3x3x3 block around voxel (x, y, z).
void t_gradient3x3x3(int W, int H, int D, int x, int y, int z, const float* vol, double g[3]);
// Trilinear value at the world point p; the plain voxel value next to a face, 0 off the volume.
double t_trilinearSample(const int* W, const int* H, const int* D, const double extent[3],
                         const double p[3], const float* vol);
