#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "geom/TDenseSqMat.h"
#include "geom/TSparseMatrix.h"
#include "geom/TTriangleMesh.h"
#include "geom/umfpack_component.h"

namespace {

std::string componentPath() {
  const char* bin = std::getenv("KESTRIN_BIN_DIR");
  return std::string(bin ? bin : ".") + "/" + kUmfpackComponentName;
}

// Runs the body once with the own LU and once with the solver component.
template <class F>
void withBothBackEnds(F body) {
  t_freeUmfpackDll();
  body("own LU");
  ASSERT_TRUE(t_loadUmfpackDllFile(componentPath())) << componentPath();
  body("component");
  t_freeUmfpackDll();
}

// A random non-symmetric sparse system: a banded part plus scattered entries, needing pivoting.
void fillRandom(TSparseMatrix& m, int n, unsigned seed, std::vector<std::vector<double>>* dense) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::uniform_int_distribution<int> col(0, n - 1);
  std::vector<std::vector<double>> a(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; ++i) {
    a[i][i] = (i % 7 == 0) ? 0.0 : u(rng);  // some zero diagonals force row exchanges
    if (i + 1 < n) a[i][i + 1] = u(rng) + 2.0;
    if (i > 0) a[i][i - 1] = u(rng);
    for (int k = 0; k < 2; ++k) a[i][col(rng)] += u(rng);
  }
  int nnz = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      if (a[i][j] != 0.0) {
        m.rowLists[i].push_back({j, a[i][j]});
        ++nnz;
      }
  m.allocFields(nnz);
  if (dense) *dense = a;
}

}  // namespace

TEST(SparseLU, SelfTestPassesWithEitherBackEnd) {
  withBothBackEnds([](const char* which) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(TSparseMatrix::test()) << which;
    const std::string err = testing::internal::GetCapturedStderr();
    for (const char* line :
         {"!!!!!!!!!!!!!!!test TSparseMatrix!!!!!!!!!!!!!!!!!!!!!!\n",
          "result(umf ) 1.000000 2.000000 3.000000 4.000000 5.000000\n",
          "result(lumo) 1.000000 2.000000 3.000000 4.000000 5.000000\n",
          "new b 8.00 45.00 -3.00 3.00 19.00 (should be {8.45.-3,3,19})\n",
          "TSparseMatrix created 4 4\n",
          "result(umf ) 1.000000 -1.666667 -3.333333 1.333333 \n",
          "result(lumo) 1.000000 -1.666667 -3.333333 1.333333 \n",
          "result(cg  ) 1.000000 -1.666667 -3.333333 1.333333 \n",
          "FIN FIN FIN test TSparseMatrix!!!!!!!!!!!!!!!!!!!!!!\nFIN FIN FIN"})
      EXPECT_NE(err.find(line), std::string::npos) << which << ": " << line;
    EXPECT_EQ(err.find("error"), std::string::npos) << which << err;
  });
}

TEST(SparseLU, BackEndsAgreeWithDenseSolve) {
  const int n = 200;
  std::vector<std::vector<double>> a;
  TSparseMatrix probe(n, n);
  fillRandom(probe, n, 5, &a);
  std::vector<double> b(n);
  for (int i = 0; i < n; ++i) b[i] = std::sin(0.1 * i) * 3.0;

  TDenseSqMat d(n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) d.rows[i][j] = a[i][j];
  ASSERT_TRUE(d.factorLU());
  std::vector<double> xd(n);
  d.solveLU(b.data(), xd.data());

  withBothBackEnds([&](const char* which) {
    TSparseMatrix m(n, n);
    fillRandom(m, n, 5, nullptr);
    ASSERT_TRUE(m.factorLU()) << which;
    std::vector<double> x(n), x2(n);
    ASSERT_TRUE(m.solveLU(b.data(), x.data())) << which;
    ASSERT_TRUE(m.solveLU(b.data(), x2.data())) << which;  // a factor serves several solves
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(x[i], xd[i], 1e-8 * (1 + std::fabs(xd[i]))) << which << " " << i;
      EXPECT_EQ(x[i], x2[i]);
    }
  });
}

TEST(SparseLU, SingularSystemsFailWithEitherBackEnd) {
  withBothBackEnds([](const char* which) {
    TSparseMatrix m(3, 3);
    m.rowLists[0] = {{0, 1.0}, {1, 2.0}};
    m.rowLists[1] = {{0, 2.0}, {1, 4.0}};
    m.rowLists[2] = {{2, 1.0}};
    m.allocFields(5);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m.factorLU()) << which;
    const double b[3] = {1, 2, 3};
    double x[3] = {9, 9, 9};
    EXPECT_FALSE(m.solveLU(b, x)) << which;
    testing::internal::GetCapturedStderr();
    for (double v : x) EXPECT_FALSE(std::isnan(v)) << which;
  });
}

TEST(SparseLU, OwnSolveRefusesAFactorWithoutPivot) {
  // Row 1 of this factor stores no pivot: the solve must stop at it, not read past the row.
  const int rp[3] = {0, 1, 2};
  const int ci[2] = {0, 0};
  const double v[2] = {2.0, 0.5};
  const int perm[2] = {0, 1};
  const double b[2] = {1, 1};
  double x[2];
  testing::internal::CaptureStderr();
  EXPECT_FALSE(t_lumopackSolve(2, rp, ci, v, perm, b, x));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("no pivot"), std::string::npos);
}

TEST(SparseMatrix, MultAAtKeepsExplicitZerosAndSkipsDisjointRows) {
  TSparseMatrix a(3, 4), out(3, 4);
  a.rowLists[0] = {{0, 1.0}, {1, 1.0}};
  a.rowLists[1] = {{0, 1.0}, {1, -1.0}};  // row0 . row1 = 0, stored explicitly
  a.rowLists[2] = {{3, 2.0}};             // shares no column with rows 0 and 1
  EXPECT_EQ(a.multAAt(out), 5);
  ASSERT_EQ(out.rowLists[0].size(), 2u);
  EXPECT_EQ(out.rowLists[0][0].col, 0);
  EXPECT_EQ(out.rowLists[0][0].val, 2.0);
  EXPECT_EQ(out.rowLists[0][1].col, 1);
  EXPECT_EQ(out.rowLists[0][1].val, 0.0);
  ASSERT_EQ(out.rowLists[2].size(), 1u);
  EXPECT_EQ(out.rowLists[2][0].val, 4.0);
  TSparseMatrix wrong(2, 2);
  testing::internal::CaptureStderr();
  EXPECT_EQ(a.multAAt(wrong), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("error 111123"), std::string::npos);
}

TEST(SparseMatrix, MultVecSameFromListsAndCompressedForm) {
  TSparseMatrix m(3, 3);
  fillRandom(m, 3, 8, nullptr);
  const double x[3] = {1, -2, 0.5};
  double y1[3], y2[3] = {7, 7, 7};
  m.multVec(3, x, 3, y1);
  TSparseMatrix listsOnly(3, 3);
  listsOnly.rowLists = m.rowLists;
  listsOnly.multVec(3, x, 3, y2);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(y1[i], y2[i]);
  double untouched[2] = {5, 5};
  testing::internal::CaptureStderr();
  m.multVec(3, x, 2, untouched);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(untouched[0], 5.0);
}

TEST(SparseMatrix, FactorNeedsSquareCompressedMatrix) {
  TSparseMatrix m(2, 2);
  m.rowLists[0] = {{0, 1.0}};
  m.rowLists[1] = {{1, 1.0}};
  testing::internal::CaptureStderr();
  EXPECT_FALSE(m.factorLU());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("error mat field is not ready!"),
            std::string::npos);
}

TEST(SolverComponent, MissingEntryPointFallsBackToOwnLU) {
  t_freeUmfpackDll();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(t_loadUmfpackDllFile(KESTRIN_INCOMPLETE_COMPONENT));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("fail : t_dll_umfpack_di_free_numeric\n"), std::string::npos);
  EXPECT_FALSE(g_umfpackDllLoaded);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(t_loadUmfpackDll("/nonexistent-dir/"));
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(g_umfpackDllLoaded);
  EXPECT_TRUE(TSparseMatrix::test());
}

TEST(SparseMatrix, BuildFromRowsGivesTheTransposedLaplacianWithIdentityRowsForFlags) {
  TTriangleMesh tet;
  ASSERT_TRUE(tet.initFromVertsPolys({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                                     {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}));
  // Vertex 0 is held; vertex 3 has no ring and contributes only its diagonal.
  const std::vector<std::vector<int>> rings = {{1, 2, 3}, {0, 2, 3}, {0, 1, 3}, {}};
  const unsigned short flags[4] = {1, 0, 0, 0};
  TSparseMatrix m(4, 4);
  m.rowLists[2].push_back({0, 5.0});  // old content goes
  m.buildFromRows(tet, flags, rings);
  const double t = -1.0 / 3.0;
  const std::vector<std::vector<std::pair<int, double>>> want = {
      {{0, 1.0}, {1, t}, {2, t}}, {{1, 1.0}, {2, t}}, {{1, t}, {2, 1.0}}, {{1, t}, {2, t}, {3, 1.0}}};
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(m.rowLists[i].size(), want[i].size()) << i;
    for (size_t k = 0; k < want[i].size(); ++k) {
      EXPECT_EQ(m.rowLists[i][k].col, want[i][k].first) << i;
      EXPECT_DOUBLE_EQ(m.rowLists[i][k].val, want[i][k].second) << i;
    }
  }
  // A matrix of the wrong size says so and builds anyway.
  TSparseMatrix wrong(3, 3);
  testing::internal::CaptureStderr();
  wrong.buildFromRows(tet, flags, rings);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("error1211\n"), std::string::npos);
}

TEST(SolverComponent, SolveWithoutFactorFactorisesFirst) {
  ASSERT_TRUE(t_loadUmfpackDllFile(componentPath()));
  TSparseMatrix m(3, 3);
  m.rowLists[0] = {{0, 4.0}, {1, 1.0}};
  m.rowLists[1] = {{0, 1.0}, {1, 3.0}, {2, 1.0}};
  m.rowLists[2] = {{1, 2.0}, {2, 5.0}};
  m.allocFields(7);
  ASSERT_EQ(m.symbolic, nullptr);
  const double x0[3] = {1.0, -2.0, 0.5};
  double b[3], x[3] = {0, 0, 0};
  m.multVec(3, x0, 3, b);  // a non-symmetric matrix: a transposed solve would differ
  EXPECT_TRUE(m.solveLU(b, x));
  EXPECT_NE(m.symbolic, nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(x[i], x0[i], 1e-12);
  m.clear();
  EXPECT_EQ(m.symbolic, nullptr);
  EXPECT_EQ(m.numeric, nullptr);
  t_freeUmfpackDll();
}
