// Hermite-RBF systems: interpolation and gradients of the solved field, the incremental
// factorisation and the removal of a contour against fresh factorisations, and the refusal of a
// singular system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "contour_shapes.h"
#include "implicit/hrbf.h"
#include "implicit/hrbf_engine.h"

namespace {

const double kExtent[3] = {48, 48, 48};
constexpr int kDim = 48;

// Three channels of smooth, different intensity so that the joint coordinates vary.
struct Volumes {
  std::vector<float> v[3];
  Volumes() {
    for (auto& c : v) c.resize(size_t(kDim) * kDim * kDim);
    for (int z = 0; z < kDim; ++z)
      for (int y = 0; y < kDim; ++y)
        for (int x = 0; x < kDim; ++x) {
          const size_t i = x + kDim * (y + size_t(kDim) * z);
          v[0][i] = float(2.0 * x + y);
          v[1][i] = float(100.0 * std::sin(0.1 * y) + z);
          v[2][i] = float((x - 24.0) * (x - 24.0) * 0.1);
        }
  }
};

std::vector<TCanvasContour> sampledContours(int n, int nChannels, double spacing, int nCtrl = 8) {
  static Volumes vols;
  const shapes::Ellipsoid E{{24, 24, 24}, {14, 11, 9}};
  std::vector<TCanvasContour> cs = shapes::crossSections(E, n, nCtrl, kExtent);
  for (auto& c : cs)
    c.calcSamples(kExtent, nChannels, kDim, kDim, kDim, vols.v[0].data(), vols.v[1].data(), vols.v[2].data(),
                  spacing, 0.05, 0.5, 0.3);
  for (size_t i = 0; i < cs.size(); ++i)
    for (size_t j = i + 1; j < cs.size(); ++j) TCanvasContour::calcCrossPoints(int(i), cs[i], int(j), cs[j], 2.25);
  for (auto& c : cs) c.applyTiltAngles(nChannels, 0.2, 0.3);
  return cs;
}

std::vector<THrbfSample> allSamples(const std::vector<TCanvasContour>& cs) {
  std::vector<THrbfSample> s;
  for (const auto& c : cs) s.insert(s.end(), c.samples.begin(), c.samples.end());
  return s;
}

// Field of dimension D at the coordinates x (world units, weighted features).
float evalAt(int D, int kernel, const double* x, const std::vector<double>& coef, const std::vector<THrbfSample>& s) {
  const int N = int(s.size());
  if (D == 3) return t_hrbfSpatial_evalField(kernel, &x[0], &x[1], &x[2], &N, coef.data(), s.data());
  if (D == 4) return t_hrbfJoint4_evalField(kernel, &x[0], &x[1], &x[2], &x[3], &N, coef.data(), s.data());
  return t_hrbfJoint6_evalField(kernel, &x[0], &x[1], &x[2], &x[3], &x[4], &x[5], &N, coef.data(), s.data());
}

std::vector<double> solveFull(int D, int kernel, const std::vector<THrbfSample>& s, const int* limits = nullptr) {
  const int N = int(s.size()), n = (D + 1) * (N + 1);
  TDenseSqMat m(n);
  std::vector<double> rhs(size_t(n), 0.0), x(size_t(n), 0.0);
  if (D == 3) {
    t_hrbfSpatial_buildSystem(kernel, N, s.data(), rhs.data(), &m);
  } else if (D == 4) {
    t_hrbfJoint4_buildMatrix(kernel, N, s.data(), &m);
    t_hrbfJoint4_buildRhs(N, s.data(), rhs.data());
  } else {
    t_hrbfJoint6_buildMatrix(kernel, N, s.data(), &m);
    t_hrbfJoint6_buildRhs(N, s.data(), rhs.data());
  }
  EXPECT_TRUE(m.factorLU(limits));
  EXPECT_TRUE(m.solveLU(rhs.data(), x.data()));
  return x;
}

THrbfFactorCache& cache_for_erase() {
  static THrbfFactorCache c;
  return c;
}

// The r^3 field of a 4-D solution in double precision (the evaluators return floats).
double field4(const std::vector<double>& coef, const std::vector<THrbfSample>& s, const double x[4]) {
  double f = coef[4];
  for (int l = 0; l < 4; ++l) f += 0.1 * coef[size_t(l)] * x[l];
  for (size_t a = 0; a < s.size(); ++a) {
    const double xa[4] = {s[a].pos[0], s[a].pos[1], s[a].pos[2], s[a].val[0]};
    const double* c = &coef[5 * (a + 1)];
    double r2 = 0, dot = 0;
    for (int l = 0; l < 4; ++l) {
      const double d = 0.1 * (x[l] - xa[l]);
      r2 += d * d;
      dot += d * c[1 + l];
    }
    const double r = std::sqrt(r2);
    f += c[0] * r2 * r - 3.0 * r * dot;
  }
  return f;
}

// Largest difference of the two solutions' fields over a grid around the shape, relative to the
// field's range there.  The systems are ill-conditioned (cond ~1e10): two correct factorisations
// with different pivot orders give coefficients that differ in directions the field hardly sees,
// so the solutions are compared through the field they define.
double fieldDifference(const std::vector<double>& a, const std::vector<double>& b, const std::vector<THrbfSample>& s) {
  double fmin = 1e300, fmax = -1e300, d = 0;
  for (int z = 8; z <= 40; z += 3)
    for (int y = 8; y <= 40; y += 3)
      for (int x = 8; x <= 40; x += 3) {
        const double p[4] = {double(x), double(y), double(z), s[size_t(x + y + z) % s.size()].val[0]};
        const double fa = field4(a, s, p), fb = field4(b, s, p);
        fmin = std::min(fmin, fb);
        fmax = std::max(fmax, fb);
        d = std::max(d, std::fabs(fa - fb));
      }
  return d / (fmax - fmin);
}

// Backward error of a solution: |A x - b| / (|A| |x| + |b|), max norms.
double backwardError(const std::vector<double>& x, const std::vector<THrbfSample>& s) {
  const int N = int(s.size()), n = 5 * (N + 1);
  TDenseSqMat m(n);
  std::vector<double> rhs(static_cast<size_t>(n));
  t_hrbfJoint4_buildMatrix(1, N, s.data(), &m);
  t_hrbfJoint4_buildRhs(N, s.data(), rhs.data());
  double r = 0, an = 0, xn = 0, bn = 0;
  for (int i = 0; i < n; ++i) {
    double acc = -rhs[size_t(i)], rowSum = 0;
    for (int j = 0; j < n; ++j) {
      acc += m.rows[i][j] * x[size_t(j)];
      rowSum += std::fabs(m.rows[i][j]);
    }
    r = std::max(r, std::fabs(acc));
    an = std::max(an, rowSum);
    xn = std::max(xn, std::fabs(x[size_t(i)]));
    bn = std::max(bn, std::fabs(rhs[size_t(i)]));
  }
  return r / (an * xn + bn);
}

}  // namespace

// At every sample the field is 0 and its gradient is 0.1 x the sample normal (the system asks
// for the gradient in coordinates scaled by 0.1), in all three spaces and for all kernels.
TEST(HrbfField, InterpolatesSamplesAndNormals) {
  for (int D : {3, 4, 6}) {
    const int nc = D == 6 ? 3 : 1;
    const std::vector<TCanvasContour> cs = sampledContours(3, nc, 4.0);
    const std::vector<THrbfSample> s = allSamples(cs);
    ASSERT_GT(s.size(), 30u);
    for (int kernel : {1, 2, 3}) {
      SCOPED_TRACE("D=" + std::to_string(D) + " kernel=" + std::to_string(kernel));
      const std::vector<double> coef = solveFull(D, kernel, s);
      // Range of the field over the box around the shape.
      float fmin = 1e30f, fmax = -1e30f;
      for (int z = 8; z <= 40; z += 4)
        for (int y = 8; y <= 40; y += 4)
          for (int x = 8; x <= 40; x += 4) {
            double p[6] = {double(x), double(y), double(z), s[0].val[0], s[0].val[1], s[0].val[2]};
            const float f = evalAt(D, kernel, p, coef, s);
            fmin = std::min(fmin, f);
            fmax = std::max(fmax, f);
          }
      const double range = double(fmax) - double(fmin);
      ASSERT_GT(range, 0.0);
      double worstValue = 0, worstGrad = 0;
      for (const THrbfSample& a : s) {
        double x[6] = {a.pos[0], a.pos[1], a.pos[2], a.val[0], a.val[1], a.val[2]};
        worstValue = std::max(worstValue, std::fabs(double(evalAt(D, kernel, x, coef, s))));
        double n[6];
        for (int l = 0; l < D; ++l) n[l] = a.normal[l];
        if (D == 3) {
          const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
          for (int l = 0; l < 3; ++l) n[l] /= len;
        }
        const double h = 1e-3;
        double err = 0, nn = 0;
        for (int l = 0; l < D; ++l) {
          double xp[6], xm[6];
          std::copy(x, x + 6, xp);
          std::copy(x, x + 6, xm);
          xp[l] += h;
          xm[l] -= h;
          const double g = (double(evalAt(D, kernel, xp, coef, s)) - double(evalAt(D, kernel, xm, coef, s))) / (2 * h);
          err += (g - 0.1 * n[l]) * (g - 0.1 * n[l]);
          nn += 0.01 * n[l] * n[l];
        }
        worstGrad = std::max(worstGrad, std::sqrt(err / nn));
      }
      EXPECT_LE(worstValue, 1e-5 * range);
      EXPECT_LE(worstGrad, 1e-3);
    }
  }
}

// Adding a contour on top of the cached factor of the stored ones gives the solution of a fresh
// full factorisation; so does storing one contour after another.  The first case has a single
// stored contour, whose polynomial rows may take their pivot one row past its own block.
TEST(HrbfIncremental, PartialFactorEqualsFullFactor) {
  const std::vector<TCanvasContour> cs = sampledContours(3, 1, 4.0);
  THrbfFactorCache cache;
  {
    // A single drawn contour: its polynomial rows' limit is the matrix size itself.
    THrbfRegionOrder o;
    o.kernel = 1;
    o.nChannels = 1;
    t_gatherContourConstraints(1, {}, cs[0], o.newPt, o.prePt, o.rowBlockEnd, o.samples);
    ASSERT_EQ(o.rowBlockEnd[0], int(5 * (o.samples.size() + 1)));
    std::vector<double> x;
    ASSERT_EQ(t_hrbfSolveIncremental(o, cache, x), THrbfStatus::Ok);
    EXPECT_EQ(cache.factor, nullptr);  // not storing: nothing cached
    EXPECT_LE(fieldDifference(x, solveFull(4, 1, o.samples), o.samples), 1e-9);
    EXPECT_LE(backwardError(x, o.samples), 1e-13);
  }
  for (int step = 1; step < 3; ++step) {
    std::vector<TCanvasContour> stored(cs.begin(), cs.begin() + step);
    THrbfRegionOrder o;
    o.kernel = 1;
    o.nChannels = 1;
    o.store = true;
    t_gatherContourConstraints(1, stored, cs[size_t(step)], o.newPt, o.prePt, o.rowBlockEnd, o.samples);
    std::vector<double> inc;
    ASSERT_EQ(t_hrbfSolveIncremental(o, cache, inc), THrbfStatus::Ok);
    ASSERT_EQ(cache.size(), int(5 * (o.samples.size() + 1)));
    for (const int* limits : {static_cast<const int*>(nullptr), static_cast<const int*>(o.rowBlockEnd.data())}) {
      const std::vector<double> full = solveFull(4, 1, o.samples, limits);
      EXPECT_LE(fieldDifference(inc, full, o.samples), 1e-9) << "step " << step;
    }
    EXPECT_LE(backwardError(inc, o.samples), 1e-13) << "step " << step;
  }
}

// Removing a contour from the cached factor by adjacent exchanges (its block lies behind more
// than 500 rows and spans at most 500) gives the solution of a fresh factorisation of what is left.
TEST(HrbfIncremental, EraseByExchangesEqualsFreshFactor) {
  std::vector<TCanvasContour> cs = sampledContours(3, 1, 0.55, 10);
  static Volumes vols;
  for (int i : {1, 2}) {
    cs[size_t(i)].calcSamples(kExtent, 1, kDim, kDim, kDim, vols.v[0].data(), nullptr, nullptr, 3.0 + i, 0.05, 0.5,
                              0.3);
    cs[size_t(i)].applyTiltAngles(1, 0.2, 0.3);
  }
  // The first contour must own more than 100 samples (a > 500 rows with the polynomial).
  ASSERT_GT(cs[0].samples.size(), 100u);
  ASSERT_LE(cs[1].samples.size(), 100u);
  const TCanvasContour none;
  THrbfRegionOrder o;
  o.kernel = 1;
  o.nChannels = 1;
  o.store = true;
  {
    std::vector<TCanvasContour> stored(cs.begin(), cs.begin() + 2);
    t_gatherContourConstraints(1, stored, cs[2], o.newPt, o.prePt, o.rowBlockEnd, o.samples);
    std::vector<double> x;
    ASSERT_EQ(t_hrbfSolveIncremental(o, cache_for_erase(), x), THrbfStatus::Ok);
  }
  THrbfFactorCache& cache = cache_for_erase();
  const unsigned a = unsigned(5 * (cs[0].samples.size() + 1)), b = unsigned(5 * cs[1].samples.size()),
                 c = unsigned(5 * cs[2].samples.size());
  ASSERT_EQ(cache.size(), int(a + b + c));
  const TDenseSqMat* before = cache.factor.get();

  std::vector<TCanvasContour> left = {cs[0], cs[2]};
  unsigned nNew, nPrev;
  std::vector<int> rb;
  std::vector<THrbfSample> rem;
  t_gatherContourConstraints(1, left, none, nNew, nPrev, rb, rem);
  bool eliminated = false;
  ASSERT_EQ(t_hrbfEraseFromFactor(cache, a, b, c, 1, 1, rem, rb, nullptr, &eliminated), THrbfStatus::Ok);
  EXPECT_TRUE(eliminated);
  ASSERT_EQ(cache.size(), int(a + c));
  EXPECT_NE(cache.factor.get(), before);  // a new, smaller factor

  std::vector<double> rhs(size_t(a + c)), reduced(size_t(a + c));
  t_hrbfJoint4_buildRhs(int(rem.size()), rem.data(), rhs.data());
  ASSERT_TRUE(cache.factor->solveLU(rhs.data(), reduced.data()));
  const std::vector<double> full = solveFull(4, 1, rem, rb.data());
  EXPECT_LE(fieldDifference(reduced, full, rem), 1e-9);
  EXPECT_LE(backwardError(reduced, rem), 1e-13);
}

// Coincident samples make every kernel's rows equal: the run stops before labelling with a
// status for the user, keeps the labels untouched and caches no factor.
TEST(HrbfIncremental, CoincidentSamplesStopWithStatus) {
  std::vector<TCanvasContour> cs = sampledContours(3, 1, 4.0);
  THrbfRegionOrder o;
  o.kernel = 1;
  o.nChannels = 1;
  o.store = true;
  o.W = o.H = o.D = kDim;
  for (int a = 0; a < 3; ++a) {
    o.extent[a] = kExtent[a];
    o.lo[a] = 0;
    o.hi[a] = kDim - 1;
  }
  static Volumes vols;
  o.vol[0] = vols.v[0].data();
  o.target.assign(size_t(kDim) * kDim * kDim, 1);
  for (int stored : {0, 1}) {
    SCOPED_TRACE(stored);
    std::vector<TCanvasContour> st(cs.begin(), cs.begin() + stored);
    TCanvasContour drawn = cs[2];
    drawn.samples.push_back(drawn.samples[3]);  // a second sample on the same spot
    t_gatherContourConstraints(1, st, drawn, o.newPt, o.prePt, o.rowBlockEnd, o.samples);
    THrbfFactorCache cache;
    THrbfRegionResult r;
    EXPECT_EQ(t_hrbfComputeRegion(o, cache, r), THrbfStatus::Singular);
    EXPECT_TRUE(r.label.empty());
    EXPECT_STRNE(t_hrbfStatusMessage(THrbfStatus::Singular), "");
    if (stored == 0) {
      EXPECT_EQ(cache.factor, nullptr);
    } else {
      EXPECT_EQ(cache.size(), int(5 * (cs[0].samples.size() + 1)));  // the stored one's, valid
    }
  }
}
