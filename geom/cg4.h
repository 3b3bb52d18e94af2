#pragma once
// Conjugate gradients for the 4 x 4 systems of the solvers' start-up self tests.  mult(v, out)
// computes out = A v; the iteration stops when the squared residual norm is not above tolerance
// (at most four steps; the residual is recomputed from x after the first step).
template <class Mult>
void t_cg4(Mult mult, const double b[4], double x[4], double tolerance) {
  double r[4], p[4], q[4], ax[4];
  for (int i = 0; i < 4; ++i) x[i] = 0.0;
  mult(x, ax);
  double rho = 0.0;
  for (int i = 0; i < 4; ++i) {
    r[i] = b[i] - ax[i];
    p[i] = r[i];
    rho += r[i] * r[i];
  }
  for (int iter = 0; iter < 4; ++iter) {
    if (!(rho > tolerance)) break;
    mult(p, q);
    double pq = 0.0;
    for (int i = 0; i < 4; ++i) pq += p[i] * q[i];
    const double alpha = rho / pq;
    for (int i = 0; i < 4; ++i) x[i] += alpha * p[i];
    if (iter == 0) {
      mult(x, ax);
      for (int i = 0; i < 4; ++i) r[i] = b[i] - ax[i];
    } else {
      for (int i = 0; i < 4; ++i) r[i] -= alpha * q[i];
    }
    double rho2 = 0.0;
    for (int i = 0; i < 4; ++i) rho2 += r[i] * r[i];
    for (int i = 0; i < 4; ++i) p[i] = (rho2 / rho) * p[i] + r[i];
    rho = rho2;
  }
}
