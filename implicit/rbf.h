// Plain RBF systems and fields: value constraints only (TRbfPoint), in joint space and intensity
// (x, y, z, feat[0]) or in space alone.  Kernels of s = 0.01 |xa - xb|^2, 0 for s < 1e-12:
//   0 r^2 log r, 1 r^3, 2 r^4 log r, anything else r^5.
// Solution: joint c0 (constant), c1..c3 (x, y, z), c4 (feature), then one weight per point;
// space alone c0, c1..c3, then the weights.  Matrix and right-hand side are scaled by 1000.
#pragma once

#include "geom/TDenseSqMat.h"
#include "implicit/TCanvasContour.h"

void t_rbfJoint_buildSystem(int kernel, int N, const TRbfPoint* p, TDenseSqMat* m, double* rhs);
float t_rbfJoint_evalField(int kernel, const double* x, const double* y, const double* z,
                           const double* f, const int* N, const double* coef, const TRbfPoint* p);
void t_rbfSpatial_buildSystem(int N, const TRbfPoint* p, TDenseSqMat* m, double* rhs);
float t_rbfSpatial_evalField(const double* x, const double* y, const double* z, const int* N,
                             const double* coef, const TRbfPoint* p);
// Kernel 2 of a raw squared distance.
double t_rbfKernelR4LogR(double d2);
