// Plain RBF fields against scipy.interpolate.RBFInterpolator (degree-1 polynomial) on the same
// points: the thin-plate and cubic kernels in joint space, the cubic one in space alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "implicit/rbf.h"

namespace {

std::string scriptPath() {
  return std::string(KESTRIN_TEST_SOURCE_DIR) + "/rbf_reference.py";
}

// Runs the reference; false when Debian's python3 or scipy is missing.
bool reference(const char* kernel, int dim, const std::vector<TRbfPoint>& pts, const std::vector<std::vector<double>>& q,
               std::vector<double>& out) {
  if (std::system("test -x /usr/bin/python3") != 0) return false;
  const std::string in = testing::TempDir() + "rbf_in.txt", res = testing::TempDir() + "rbf_out.txt";
  FILE* f = std::fopen(in.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "%s %d %zu %zu\n", kernel, dim, pts.size(), q.size());
  for (const TRbfPoint& p : pts) {
    std::fprintf(f, "%.17g %.17g %.17g ", p.pos[0], p.pos[1], p.pos[2]);
    if (dim == 4) std::fprintf(f, "%.17g ", p.feat[0]);
    std::fprintf(f, "%.17g\n", p.value);
  }
  for (const auto& x : q) {
    for (int l = 0; l < dim; ++l) std::fprintf(f, "%.17g ", x[size_t(l)]);
    std::fprintf(f, "\n");
  }
  std::fclose(f);
  const std::string cmd = "/usr/bin/python3 " + scriptPath() + " " + in + " " + res;
  const int rc = std::system(cmd.c_str());
  if (rc != 0) return false;
  f = std::fopen(res.c_str(), "r");
  if (!f) return false;
  out.clear();
  double v;
  while (std::fscanf(f, "%lf", &v) == 1) out.push_back(v);
  std::fclose(f);
  return out.size() == q.size();
}

struct Case {
  std::vector<TRbfPoint> pts;
  std::vector<std::vector<double>> queries;
};

Case randomCase(unsigned seed, int n, int nq) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> pos(0.0, 30.0), feat(0.0, 8.0), val(-2.0, 2.0);
  Case c;
  for (int i = 0; i < n; ++i) {
    TRbfPoint p;
    for (double& x : p.pos) x = pos(rng);
    p.feat[0] = feat(rng);
    p.value = val(rng);
    c.pts.push_back(p);
  }
  for (int i = 0; i < nq; ++i) c.queries.push_back({pos(rng), pos(rng), pos(rng), feat(rng)});
  return c;
}

}  // namespace

TEST(PlainRbf, EqualsScipyRbfInterpolator) {
  const Case c = randomCase(20240611u, 120, 200);
  const int N = int(c.pts.size());
  struct Variant {
    const char* scipyKernel;
    int kernel;  // -1: the spatial system
    int dim;
  } variants[] = {{"cubic", 1, 4}, {"thin_plate_spline", 0, 4}, {"cubic", -1, 3}};
  for (const Variant& v : variants) {
    SCOPED_TRACE(std::string(v.scipyKernel) + " dim " + std::to_string(v.dim));
    std::vector<double> ref;
    if (!reference(v.scipyKernel, v.dim, c.pts, c.queries, ref)) GTEST_SKIP() << "scipy (Debian python3-scipy) missing";
    const int n = N + v.dim + 1;
    TDenseSqMat m(n);
    std::vector<double> rhs(static_cast<size_t>(n)), coef(static_cast<size_t>(n));
    if (v.kernel < 0) t_rbfSpatial_buildSystem(N, c.pts.data(), &m, rhs.data());
    else t_rbfJoint_buildSystem(v.kernel, N, c.pts.data(), &m, rhs.data());
    ASSERT_TRUE(m.factorLU());
    ASSERT_TRUE(m.solveLU(rhs.data(), coef.data()));
    double worst = 0, scale = 0;
    for (size_t i = 0; i < c.queries.size(); ++i) {
      const auto& q = c.queries[i];
      const float f = v.kernel < 0
                          ? t_rbfSpatial_evalField(&q[0], &q[1], &q[2], &N, coef.data(), c.pts.data())
                          : t_rbfJoint_evalField(v.kernel, &q[0], &q[1], &q[2], &q[3], &N, coef.data(), c.pts.data());
      worst = std::max(worst, std::fabs(double(f) - ref[i]));
      scale = std::max(scale, std::fabs(ref[i]));
    }
    // The evaluators return floats: agreement to a few float ulps of the field's size.
    EXPECT_LE(worst, 4e-7 * scale);
    // And the field interpolates the values exactly at the points.
    for (int i = 0; i < N; i += 7) {
      const TRbfPoint& p = c.pts[size_t(i)];
      const float f = v.kernel < 0
                          ? t_rbfSpatial_evalField(&p.pos[0], &p.pos[1], &p.pos[2], &N, coef.data(), c.pts.data())
                          : t_rbfJoint_evalField(v.kernel, &p.pos[0], &p.pos[1], &p.pos[2], &p.feat[0], &N, coef.data(),
                                                 c.pts.data());
      EXPECT_NEAR(f, p.value, 1e-5);
    }
  }
}
