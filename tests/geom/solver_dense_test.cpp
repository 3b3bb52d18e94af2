// The self test is named TEST like gtest's macro: declare it before the macro exists.
#include "geom/TDenseMatEx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "geom/TDenseSqMat.h"

namespace {

using Dense = std::vector<std::vector<double>>;

Dense randomMatrix(int n, unsigned seed, double diagBoost = 0.0) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Dense a(n, std::vector<double>(n));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) a[i][j] = u(rng) + (i == j ? diagBoost : 0.0);
  return a;
}

void load(TDenseSqMat& m, const Dense& a) {
  for (int i = 0; i < m.n; ++i)
    for (int j = 0; j < m.n; ++j) m.rows[i][j] = a[i][j];
}

double relResidual(const Dense& a, const std::vector<double>& x, const std::vector<double>& b) {
  double rmax = 0.0, bmax = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    double s = -b[i];
    for (size_t j = 0; j < a.size(); ++j) s += a[i][j] * x[j];
    rmax = std::max(rmax, std::fabs(s));
    bmax = std::max(bmax, std::fabs(b[i]));
  }
  return rmax / bmax;
}

std::vector<double> randomVec(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-5.0, 5.0);
  std::vector<double> v(n);
  for (auto& e : v) e = u(rng);
  return v;
}

}  // namespace

TEST(DenseLU, SelfTestPasses) {
  testing::internal::CaptureStderr();
  EXPECT_TRUE((TDenseMatEx::TEST)());
  const std::string err = testing::internal::GetCapturedStderr();
  for (const char* line : {"-----------------TDenseMatEx::TEST()-----------------\n",
                           "\n1.000000 2.000000 3.000000 4.000000 5.000000\n",
                           "\n1.000000 -1.666667 -3.333333 1.333333\n"
                           "1.000000 -1.666667 -3.333333 1.333333\n",
                           "\nTDenseMatEx::TEST() done\n\n"})
    EXPECT_NE(err.find(line), std::string::npos) << line;
  EXPECT_EQ(err.find("error"), std::string::npos) << err;
}

TEST(DenseLU, RandomSystemsSolveToSmallResidual) {
  // Sizes around the panel width and its multiples exercise the blocked paths and the edges.
  for (int n : {1, 3, 63, 64, 65, 130, 257, 1000}) {
    const Dense a = randomMatrix(n, 100 + n);
    const auto b = randomVec(n, 7 + n);
    TDenseSqMat m(n);
    load(m, a);
    ASSERT_TRUE(m.factorLU()) << n;
    std::vector<double> x(n);
    ASSERT_TRUE(m.solveLU(b.data(), x.data()));
    EXPECT_LT(relResidual(a, x, b), 1e-9) << "n=" << n;
  }
}

TEST(DenseLU, PivotingRules) {
  // Equal magnitudes below the diagonal: the diagonal keeps the pivot.
  {
    TDenseSqMat m(3);
    load(m, {{1, 2, 3}, {-1, 1, 0}, {1, 0, 2}});
    ASSERT_TRUE(m.factorLU());
    EXPECT_EQ(m.rowPerm[0], 0);
  }
  // A larger entry below wins unless the limit forbids it.
  {
    const Dense a = {{1, 2, 0}, {5, 1, 1}, {3, 0, 4}};
    TDenseSqMat free(3), limited(3);
    load(free, a);
    load(limited, a);
    ASSERT_TRUE(free.factorLU());
    EXPECT_EQ(free.rowPerm[0], 1);
    const int limits[3] = {0, 1, 2};  // limit[j] <= j: never exchange
    ASSERT_TRUE(limited.factorLU(limits));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(limited.rowPerm[i], i);
    std::vector<double> b = {3, 7, 7}, x1(3), x2(3);
    free.solveLU(b.data(), x1.data());
    limited.solveLU(b.data(), x2.data());
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(x1[i], x2[i], 1e-12);
  }
  // Limits keep the pivot inside a block even for a large matrix (blocked path).
  {
    const int n = 300;
    Dense a = randomMatrix(n, 3, 4.0);
    std::vector<int> limits(n);
    for (int j = 0; j < n; ++j) limits[j] = (j / 50) * 50 + 49;  // blocks of 50 rows
    TDenseSqMat m(n);
    load(m, a);
    ASSERT_TRUE(m.factorLU(limits.data()));
    for (int i = 0; i < n; ++i) EXPECT_EQ(m.rowPerm[i] / 50, i / 50) << i;
    const auto b = randomVec(n, 4);
    std::vector<double> x(n);
    ASSERT_TRUE(m.solveLU(b.data(), x.data()));
    EXPECT_LT(relResidual(a, x, b), 1e-9);
  }
}

TEST(DenseLU, ProgressAtEveryHundredthColumn) {
  TDenseSqMat m(250);
  load(m, randomMatrix(250, 9));
  std::vector<double> seen;
  ASSERT_TRUE(m.factorLU(nullptr, [&](double f) { seen.push_back(f); }));
  EXPECT_EQ(seen, (std::vector<double>{0.0, 100.0 / 250, 200.0 / 250}));
}

TEST(DenseLU, SingularMatrixIsReportedNotSolved) {
  TDenseSqMat m(4);
  load(m, {{1, 2, 3, 4}, {2, 4, 6, 8}, {0, 1, 0, 1}, {1, 0, 0, 0}});  // row 1 = 2 x row 0
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.factorLU());
  std::vector<double> b = {1, 2, 3, 4}, x(4, 99.0);
  EXPECT_FALSE(m.solveLU(b.data(), x.data()));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("singular"), std::string::npos);
  for (double v : x) EXPECT_EQ(v, 0.0);

  TDenseSqMat zero(3);
  EXPECT_FALSE(zero.factorLU());
}

namespace {

// Factorises the leading k0 block with limits, appends the rest through the placement rule and
// continues; the solution must match the one of the whole system.
void checkPartial(int n, int k0, bool withLimits, unsigned seed) {
  const Dense a = randomMatrix(n, seed, 3.0);
  std::vector<int> limits(n);
  for (int j = 0; j < n; ++j) limits[j] = std::min(n - 1, (j / 16) * 16 + 15);
  const int* lim = withLimits ? limits.data() : nullptr;

  TDenseSqMat old(k0);
  for (int i = 0; i < k0; ++i)
    for (int j = 0; j < k0; ++j) old.rows[i][j] = a[i][j];
  ASSERT_TRUE(old.factorLU(lim));

  TDenseSqMat big(n);
  big.copyFrom(old, k0);
  // Entries of equation r / variable c go to the physical row p with rowPerm[p] = r.
  std::vector<int> physRow(n);
  for (int p = 0; p < n; ++p) physRow[big.rowPerm[p]] = p;
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c)
      if (r >= k0 || c >= k0) big.rows[physRow[r]][c] = a[r][c];
  ASSERT_TRUE(big.factorLUPartial(k0, lim));

  const auto b = randomVec(n, seed + 1);
  std::vector<double> x(n);
  ASSERT_TRUE(big.solveLU(b.data(), x.data()));
  EXPECT_LT(relResidual(a, x, b), 1e-9) << "n=" << n << " k0=" << k0;

  // The same limits on the whole system give the same solution.
  TDenseSqMat full(n);
  load(full, a);
  ASSERT_TRUE(full.factorLU(lim));
  std::vector<double> xf(n);
  full.solveLU(b.data(), xf.data());
  for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], xf[i], 1e-8 * (1 + std::fabs(xf[i])));
}

}  // namespace

TEST(DenseLU, PartialFactorisationMatchesFullFactorisation) {
  checkPartial(40, 25, true, 11);
  checkPartial(40, 25, false, 12);
  checkPartial(300, 150, true, 13);   // crosses panel boundaries in both phases
  checkPartial(300, 70, false, 14);
  checkPartial(20, 0, true, 15);      // nothing factorised yet
}

TEST(DenseLU, PartialWithWholeOrderChangesNothing) {
  TDenseSqMat m(5);
  load(m, randomMatrix(5, 21, 2.0));
  ASSERT_TRUE(m.factorLU());
  std::vector<std::vector<double>> before(5);
  for (int i = 0; i < 5; ++i) before[i].assign(m.rows[i], m.rows[i] + 5);
  ASSERT_TRUE(m.factorLUPartial(5));
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) EXPECT_EQ(m.rows[i][j], before[i][j]);
  EXPECT_FALSE(m.factorLUPartial(6));
}

TEST(DenseLU, ExchangesInsideTheFactorKeepTheSolution) {
  const int n = 12;
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const Dense a = randomMatrix(n, seed, seed % 2 ? 0.0 : 3.0);
    const auto b = randomVec(n, seed + 50);
    TDenseSqMat m(n);
    load(m, a);
    ASSERT_TRUE(m.factorLU());
    std::vector<double> x0(n), x(n);
    m.solveLU(b.data(), x0.data());
    for (int k = 0; k < n - 1; ++k) {
      ASSERT_TRUE(t_flipRow(m, k));
      m.solveLU(b.data(), x.data());
      for (int i = 0; i < n; ++i) ASSERT_NEAR(x[i], x0[i], 1e-7 * (1 + std::fabs(x0[i]))) << k;
    }
    for (int k = n - 2; k >= 0; --k) {
      if (!t_flipRowEx(m, k, k % 3 != 0)) continue;  // a refusal leaves the factor as it was
      m.solveLU(b.data(), x.data());
      for (int i = 0; i < n; ++i) ASSERT_NEAR(x[i], x0[i], 1e-7 * (1 + std::fabs(x0[i]))) << k;
    }
  }
}

TEST(DenseLU, ExchangeRefusals) {
  TDenseSqMat m(3);
  load(m, {{2, 1, 0}, {0, 3, 1}, {0, 0, 4}});  // already triangular: l = 0 below each pivot
  ASSERT_TRUE(m.factorLU());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(t_flipRow(m, 2));
  EXPECT_FALSE(t_flipRowEx(m, 2, true));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("strange input at t_flipRow"), std::string::npos);
  // Without a column exchange a vanishing sub-diagonal entry refuses, changing nothing.
  const double before = m.rows[0][0];
  EXPECT_FALSE(t_flipRowEx(m, 0, false));
  EXPECT_EQ(m.rows[0][0], before);
  EXPECT_EQ(m.rowPerm[0], 0);
}

TEST(DenseLU, CopyFromTooLargeCopiesNothing) {
  TDenseSqMat a(2), b(3);
  b.rows[0][0] = 7;
  a.copyFrom(b, 3);
  EXPECT_EQ(a.rows[0][0], 0.0);
  a.copyFrom(b, 2);
  EXPECT_EQ(a.rows[0][0], 7.0);
}

TEST(DenseLU, PivotsLeftOnlyByRoundingCountAsSingular) {
  // Rank 2: rounding leaves a last pivot near 1e-16 instead of 0; solving with it would give
  // values near 1e16 for an inconsistent right-hand side.
  TDenseSqMat m(3);
  load(m, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.factorLU());
  std::vector<double> b = {1, 0, 0}, x(3, 5.0);
  EXPECT_FALSE(m.solveLU(b.data(), x.data()));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("singular"), std::string::npos);
  for (double v : x) EXPECT_EQ(v, 0.0);

  // A badly scaled but regular system still factorises.
  TDenseSqMat s(2);
  load(s, {{1e-12, 0}, {0, 1e12}});
  EXPECT_TRUE(s.factorLU());

  // Appended rows and columns that make the system singular are refused as well.
  const Dense a = randomMatrix(6, 31, 3.0);
  TDenseSqMat old(4);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) old.rows[i][j] = a[i][j];
  ASSERT_TRUE(old.factorLU());
  TDenseSqMat big(6);
  big.copyFrom(old, 4);
  std::vector<int> physRow(6);
  for (int p = 0; p < 6; ++p) physRow[big.rowPerm[p]] = p;
  Dense e = a;
  for (int c = 0; c < 6; ++c) e[5][c] = e[4][c] + e[0][c];  // equation 5 = 4 + 0
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c)
      if (r >= 4 || c >= 4) big.rows[physRow[r]][c] = e[r][c];
  testing::internal::CaptureStderr();
  EXPECT_FALSE(big.factorLUPartial(4));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("singular"), std::string::npos);
}

TEST(DenseLU, RemovingABlockByExchangesLeavesTheFactorOfTheReducedSystem) {
  // Variables and equations 3 and 4 are carried to the end; the leading 6 x 6 block is then
  // the factor of the system without them.
  const int n = 8;
  const int removed[2] = {3, 4};
  for (unsigned seed = 1; seed <= 4; ++seed) {
    const Dense a = randomMatrix(n, 40 + seed, seed % 2 ? 0.0 : 2.0);
    TDenseSqMat m(n);
    load(m, a);
    ASSERT_TRUE(m.factorLU());
    // Variables: move the column holding each removed variable to the last free position.
    int last = n - 1;
    for (int r = 1; r >= 0; --r, --last) {
      int k = 0;
      while (m.colPerm[k] != removed[r]) ++k;
      for (; k < last; ++k) ASSERT_TRUE(t_flipRow(m, k));
    }
    // Equations likewise; no column exchange across the last kept column.
    last = n - 1;
    bool gaveUp = false;
    for (int r = 1; r >= 0 && !gaveUp; --r, --last) {
      int k = 0;
      while (m.rowPerm[k] != removed[r]) ++k;
      for (; k < last && !gaveUp; ++k)
        if (!t_flipRowEx(m, k, k != n - 3)) gaveUp = true;
    }
    if (gaveUp) continue;  // the caller refactorises; nothing to check
    for (int k = n - 2; k < n; ++k) {
      EXPECT_GE(m.colPerm[k], 3);
      EXPECT_LE(m.colPerm[k], 4);
      EXPECT_GE(m.rowPerm[k], 3);
      EXPECT_LE(m.rowPerm[k], 4);
    }
    TDenseSqMat small(n - 2);
    small.copyFrom(m, n - 2);
    // The reduced system, in the original numbering without 3 and 4.
    std::vector<int> keep = {0, 1, 2, 5, 6, 7};
    std::vector<int> compact(n, -1);
    for (int q = 0; q < n - 2; ++q) compact[keep[q]] = q;
    for (int q = 0; q < n - 2; ++q) {
      small.rowPerm[q] = compact[small.rowPerm[q]];
      small.colPerm[q] = compact[small.colPerm[q]];
      ASSERT_GE(small.rowPerm[q], 0);
      ASSERT_GE(small.colPerm[q], 0);
    }
    Dense reduced(n - 2, std::vector<double>(n - 2));
    for (int r = 0; r < n - 2; ++r)
      for (int c = 0; c < n - 2; ++c) reduced[r][c] = a[keep[r]][keep[c]];
    const auto b = randomVec(n - 2, seed + 9);
    std::vector<double> x(n - 2);
    ASSERT_TRUE(small.solveLU(b.data(), x.data()));
    EXPECT_LT(relResidual(reduced, x, b), 1e-9) << seed;
  }
}

TEST(DenseLU, BlockedFactorEqualsColumnByColumnElimination) {
  // The panels, the look-ahead and the packed update kernels against the textbook elimination
  // with the same pivot rule (largest magnitude at or below the diagonal within the column's
  // limit, ties keep the earlier row): same row order, same factor up to rounding.  517 leaves
  // remainders for every block size involved.
  const int n = 517;
  std::vector<int> limits(n);
  for (int j = 0; j < n; ++j) limits[j] = std::min(n - 1, (j / 40) * 40 + 39);
  for (const int* lim : {static_cast<const int*>(nullptr), static_cast<const int*>(limits.data())}) {
    Dense ref = randomMatrix(n, 31);
    std::vector<int> perm(n);
    for (int i = 0; i < n; ++i) perm[i] = i;
    for (int j = 0; j < n; ++j) {
      int p = j;
      const int last = lim ? lim[j] : n - 1;
      for (int i = j + 1; i <= last; ++i)
        if (std::fabs(ref[i][j]) > std::fabs(ref[p][j])) p = i;
      std::swap(ref[j], ref[p]);
      std::swap(perm[j], perm[p]);
      for (int i = j + 1; i < n; ++i) {
        const double l = ref[i][j] /= ref[j][j];
        for (int q = j + 1; q < n; ++q) ref[i][q] -= l * ref[j][q];
      }
    }
    TDenseSqMat m(n);
    load(m, randomMatrix(n, 31));
    ASSERT_TRUE(m.factorLU(lim));
    double worst = 0.0;
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(m.rowPerm[i], perm[i]) << "row " << i << (lim ? " with limits" : "");
      for (int j = 0; j < n; ++j)
        worst = std::max(worst, std::fabs(m.rows[i][j] - ref[i][j]) / (1.0 + std::fabs(ref[i][j])));
    }
    EXPECT_LT(worst, 1e-9) << (lim ? "with limits" : "without limits");
  }
}
