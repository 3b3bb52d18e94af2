// Small dense matrices: 3x3 (row-major, element (r, c) at 3r + c), 4x4 (OpenGL column
// order, element (r, c) at 4c + r), n x n by cofactors (element (r, c) at n r + c),
// rotations, a Jacobi eigen-solver for symmetric 3x3 matrices and the fits built on it.
#pragma once

#include "geom/vec3.h"

// M <- R M
void t_premultiply3x3(double M[9], const double R[9]);
// out = B A
void t_mul3x3(double out[9], const double A[9], const double B[9]);
// out = B A; returns out
double* t_mul3x3To(const double A[9], double out[9], const double B[9]);
// out = B A^T
void t_mul3x3Transposed(double out[9], const double A[9], const double B[9]);
// In-place inverse by the adjugate; false (M unchanged) when |det| < 1e-7.
bool t_inverse3x3(double M[9]);
// In-place inverse of (a, b, c, d); false when det is exactly 0.
bool t_inverse2x2(double M[4]);

// 4x4 rotation (column order) by the angle with cosine c and sine s about axis.
bool t_rotMatFromAxisAngle(double out[16], const double axis[3], double c, double s);
// Rotation taking a onto b.  Normalises a and b in place.  For opposite vectors the
// result is a half-turn about an axis perpendicular to them.
bool t_rotMatBetweenVectors(double out[16], double a[3], double b[3]);
double* t_transpose4x4(const double in[16], double out[16]);
// In-place inverse; false (M unchanged) when |det| < 1e-11.
bool t_inverse4x4(double M[16]);
double t_det(const double M[], int n);
bool t_invertMatrix(const double M[], double out[], int n);

// Diagonalises the symmetric A in place; rows of V are the eigenvectors.
void t_jacobiEigen3(double A[9], double V[9], double tolerance, int maxRotations);
// Principal axes of the points about their centroid: e1 largest spread, e3 smallest.
void t_fitPlanePCA(const TPoints& pts, double e1[3], double e2[3], double e3[3]);
// Orthogonal factor of the polar decomposition of M (the rotation nearest to M).
void t_fitRotation(const double M[9], double R[9]);
