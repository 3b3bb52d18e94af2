// Hermite-RBF systems and fields.  At every sample the field is 0 and its gradient (with respect
// to the coordinates scaled by 0.1) is the sample normal.  Three spaces:
//   joint space and intensity (4-D: x, y, z, val[0]),          k = 5 unknowns per sample
//   joint space and colour    (6-D: x, y, z, val[0..2]),       k = 7
//   space only                (3-D: x, y, z, unit normal),     k = 4
// Solution layout: c_0 .. c_{D-1}, c_D, then per sample alpha and D betas (rows k(a+1) ...).
// Kernels: 1 r^3, 2 r^4 log r, anything else r^5.  Matrix and right-hand side are scaled by 1000.
#pragma once

#include <vector>

#include "geom/TDenseSqMat.h"
#include "implicit/TCanvasContour.h"

void t_hrbfJoint4_buildMatrix(int kernel, int N, const THrbfSample* s, TDenseSqMat* m);
void t_hrbfJoint4_buildNewRows(int kernel, int Nold, int N, const THrbfSample* s, TDenseSqMat* m);
void t_hrbfJoint4_buildRhs(int N, const THrbfSample* s, double* rhs);
float t_hrbfJoint4_evalField(int kernel, const double* x, const double* y, const double* z,
                             const double* I, const int* N, const double* coef, const THrbfSample* s);

void t_hrbfJoint6_buildMatrix(int kernel, int N, const THrbfSample* s, TDenseSqMat* m);
void t_hrbfJoint6_buildNewRows(int kernel, int Nold, int N, const THrbfSample* s, TDenseSqMat* m);
void t_hrbfJoint6_buildRhs(int N, const THrbfSample* s, double* rhs);
float t_hrbfJoint6_evalField(int kernel, const double* x, const double* y, const double* z,
                             const double* I1, const double* I2, const double* I3, const int* N,
                             const double* coef, const THrbfSample* s);

void t_hrbfSpatial_buildSystem(int kernel, int N, const THrbfSample* s, double* rhs, TDenseSqMat* m);
float t_hrbfSpatial_evalField(int kernel, const double* x, const double* y, const double* z,
                              const int* N, const double* coef, const THrbfSample* s);

// A solved field packed for many evaluations (the labelling kernels): centres and weights in
// per-coordinate arrays, one serial sum per point, so that callers can spread points over threads.
// eval returns exactly what the t_hrbf*_evalField of the same space returns, up to the order
// of the double sum.
class THrbfField {
 public:
  // dim 3, 4 or 6.
  THrbfField(int dim, int kernel, int N, const double* coef, const THrbfSample* s);
  // x holds dim coordinates in world (weighted feature) units.
  float eval(const double* x) const;
  int dim() const { return m_dim; }

 private:
  int m_dim, m_kernel, m_n;
  std::vector<double> m_c;     // m_dim arrays of N scaled centre coordinates
  std::vector<double> m_alpha; // N
  std::vector<double> m_beta;  // m_dim arrays of N
  double m_poly[7] = {0, 0, 0, 0, 0, 0, 0};
};
