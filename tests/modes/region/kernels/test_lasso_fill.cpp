// Lasso fill and brush painting of the working flag volume: the fill against an independent
// point-in-polygon test, the slice each plane fills, the paint and erase rules as a user meets
// them, and the commit into the mask.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "modes/region/kernels/brush_paint.h"
#include "modes/region/kernels/lasso_fill.h"

namespace {

const char* kPython = "/usr/bin/python3";

std::string scriptPath(const char* name) {
  return std::string(KESTRIN_TEST_SOURCE_DIR) + "/scripts/" + name;
}

bool haveSkimage() {
  return std::system((std::string(kPython) + " -c 'import skimage.measure' >/dev/null 2>&1").c_str()) == 0;
}

double distToSegment(double px, double py, const TVec3& a, const TVec3& b) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? ((px - a[0]) * dx + (py - a[1]) * dy) / l2 : 0.0;
  t = std::fmin(std::fmax(t, 0.0), 1.0);
  return std::hypot(px - a[0] - t * dx, py - a[1] - t * dy);
}

struct LassoCase {
  int w, h;
  double cx, cy;
  TPoints poly;
};

// A star {k/step} drawn as one self-crossing stroke.
TPoints star(double ox, double oy, double r, int k, int step, double turn) {
  TPoints p;
  for (int i = 0; i < k; ++i) {
    const double a = turn + 2.0 * M_PI * step * i / k;
    p.emplace_back(ox + r * std::cos(a), oy + r * std::sin(a), 0.0);
  }
  return p;
}

// An Archimedean spiral of `turns` turns, closed back to its start across all the turns.
TPoints spiral(double ox, double oy, double r0, double growth, double turns, int n) {
  TPoints p;
  for (int i = 0; i <= n; ++i) {
    const double a = 2.0 * M_PI * turns * i / n;
    const double r = r0 + growth * a;
    p.emplace_back(ox + r * std::cos(a), oy + r * std::sin(a), 0.0);
  }
  return p;
}

}  // namespace

TEST(LassoFill, EqualsEvenOddPointInPolygonOnStarsSpiralsAndScribbles) {
  if (!haveSkimage()) GTEST_SKIP() << kPython << " lacks skimage";
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<LassoCase> cases;
  const int w = 56, h = 44;
  const double cx = 0.7, cy = 0.55;
  for (int k = 0; k < 6; ++k) {
    const int points[] = {5, 7, 9, 11};
    const int n = points[k % 4];
    cases.push_back({w, h, cx, cy,
                     star(w * cx * (0.3 + 0.4 * u(rng)), h * cy * (0.3 + 0.4 * u(rng)),
                          (10 + 8 * u(rng)) * cx, n, n / 2, u(rng) * 2 * M_PI)});
  }
  // Stars whose vertices sit exactly at the height of cell centres: scan-line extrema and merged
  // crossings at vertices.
  for (int k = 0; k < 4; ++k) {
    TPoints p = star(w * cx * 0.5 + u(rng), h * cy * 0.5 + u(rng), 14 * cy, 7 + 2 * k, 3 + k, u(rng));
    for (TVec3& q : p) q[1] = (std::floor(q[1] / cy) + 0.5) * cy;
    cases.push_back({w, h, cx, cy, p});
  }
  for (int k = 0; k < 4; ++k)
    cases.push_back({w, h, cx, cy,
                     spiral(w * cx * 0.5 + u(rng), h * cy * 0.5 + u(rng), 0.3 + u(rng),
                            0.35 + 0.2 * u(rng), 2.5 + k, 200 + 37 * k)});
  // Scribbles of random points, some reaching far outside the grid.
  for (int k = 0; k < 4; ++k) {
    TPoints p;
    for (int i = 0; i < 12 + 8 * k; ++i)
      p.emplace_back((u(rng) * 1.6 - 0.3) * w * cx, (u(rng) * 1.6 - 0.3) * h * cy, 0.0);
    cases.push_back({w, h, cx, cy, p});
  }
  // A thin grid and a rectangle larger than it.
  cases.push_back({9, 3, 1.0, 2.0, {TVec3(-5, -5, 0), TVec3(30, -5, 0), TVec3(30, 40, 0), TVec3(-5, 40, 0)}});

  char dir[] = "/tmp/kestrin_lassoXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string in = std::string(dir) + "/cases.txt", out = std::string(dir) + "/inside.txt";
  {
    std::ofstream f(in);
    f.precision(17);
    for (const LassoCase& c : cases) {
      f << c.w << ' ' << c.h << ' ' << c.cx << ' ' << c.cy << ' ' << c.poly.size() << '\n';
      for (const TVec3& p : c.poly) f << p[0] << ' ' << p[1] << '\n';
    }
  }
  const std::string cmd = std::string(kPython) + " '" + scriptPath("lasso_reference.py") + "' " + in + " " + out;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  std::ifstream ref(out);
  int compared = 0, filled = 0;
  for (std::size_t ci = 0; ci < cases.size(); ++ci) {
    const LassoCase& c = cases[ci];
    std::string line;
    ASSERT_TRUE(std::getline(ref, line));
    ASSERT_EQ(line.size(), static_cast<std::size_t>(c.w * c.h));
    std::vector<std::uint8_t> grid;
    const double cell[2] = {c.cx, c.cy};
    t_fillLassoPolygon(c.w, c.h, cell, c.poly, grid);
    ASSERT_EQ(grid.size(), line.size());
    for (int r = 0; r < c.h; ++r)
      for (int col = 0; col < c.w; ++col) {
        const double px = (col + 0.5) * c.cx, py = (r + 0.5) * c.cy;
        // A centre on the outline may fall either way.
        bool onEdge = false;
        for (std::size_t e = 0; e < c.poly.size() && !onEdge; ++e)
          onEdge = distToSegment(px, py, c.poly[e], c.poly[(e + 1) % c.poly.size()]) < 1e-9;
        if (onEdge) continue;
        const std::uint8_t want = line[r * c.w + col] == '1' ? 255 : 0;
        ASSERT_EQ(grid[r * c.w + col], want) << "case " << ci << " cell (" << col << ", " << r << ")";
        ++compared;
        filled += want != 0;
      }
  }
  EXPECT_GT(compared, 20 * 2000);
  EXPECT_GT(filled, 3000);
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
}

TEST(LassoStroke, FillsTheSliceUnderThePlaneAndNothingElse) {
  const double ext[3] = {6.0, 5.0, 4.0};
  const TVoxelBox box(12, 10, 8, ext);  // pitch 0.5 on every axis
  const TPaintRules seg;                 // segmentation, other regions fixed
  // A rectangle covering centres 1.25..3.75 on the plane's first axis and 0.75..2.25 on its second.
  for (int plane = 0; plane < 3; ++plane) {
    static const int axes[3][3] = {{0, 1, 2}, {1, 2, 0}, {0, 2, 1}};
    const int au = axes[plane][0], av = axes[plane][1], an = axes[plane][2];
    TPoints stroke;
    const double corners[4][2] = {{1.1, 0.6}, {3.9, 0.6}, {3.9, 2.4}, {1.1, 2.4}};
    for (const auto& c : corners) {
      TVec3 p;
      p[au] = c[0];
      p[av] = c[1];
      p[an] = 123.0;  // the stroke's depth does not matter
      stroke.push_back(p);
    }
    std::vector<std::uint8_t> flags(box.voxelCount(), 0), mask(box.voxelCount(), 0);
    mask[box.index(5, 3, 2)] = 7;  // a voxel of another region inside the filled area on plane 0
    const double position = 0.3;   // slice 0.3 * n, truncated
    const std::int64_t changed = t_applyLassoStroke(box, stroke, plane, position, true, seg, flags.data(), mask.data());
    const int slice = static_cast<int>(box.size(an) * position);
    std::int64_t expected = 0;
    for (int k = 0; k < box.D; ++k)
      for (int j = 0; j < box.H; ++j)
        for (int i = 0; i < box.W; ++i) {
          const int ijk[3] = {i, j, k};
          double c[3];
          box.centre(ijk, c);
          bool in = ijk[an] == slice && c[au] > 1.1 && c[au] < 3.9 && c[av] > 0.6 && c[av] < 2.4;
          if (in && mask[box.index(i, j, k)] != 0) in = false;
          expected += in;
          ASSERT_EQ(flags[box.index(i, j, k)], in ? 255 : 0) << "plane " << plane << " voxel " << i << ',' << j << ',' << k;
        }
    EXPECT_EQ(changed, expected);
    EXPECT_GT(expected, 20);
  }
  // Fewer than three points fill nothing.
  std::vector<std::uint8_t> flags(box.voxelCount(), 0);
  EXPECT_EQ(t_applyLassoStroke(box, {TVec3(0, 0, 0), TVec3(6, 5, 0)}, 0, 0.5, true, seg, flags.data(), nullptr), 0);
}

// Refinement of region 5 as a user does it: erase with the brush, paint with brush and lasso with
// "Fix Other Region" on, finish.
TEST(BrushAndLasso, RefinementEraseRepaintAndFinish) {
  const double ext[3] = {4.0, 4.0, 4.0};
  const TVoxelBox box(4, 4, 4, ext);  // unit voxels
  std::vector<std::uint8_t> mask(64, 0), flags(64, 0);
  const int T = 5;
  for (int i = 0; i < 4; ++i) mask[box.index(i, 1, 1)] = T;  // the refined region: a row
  mask[box.index(0, 2, 1)] = 9;                               // another region
  for (int i = 0; i < 64; ++i) flags[i] = mask[i] == T ? 255 : 0;
  TPaintRules rules;
  rules.refinement = true;
  rules.targetId = T;
  rules.fixOther = true;

  TPaintedSet painted;
  const double a[3] = {0.5, 1.5, 1.5}, a2[3] = {0.9, 1.1, 1.9}, b[3] = {1.5, 1.5, 1.5};
  // Erasing target voxels marks them 1; the same voxel twice in a stroke changes once.
  EXPECT_TRUE(t_paintVoxelAt(box, a, flags.data(), mask.data(), false, rules, painted));
  EXPECT_FALSE(t_paintVoxelAt(box, a2, flags.data(), mask.data(), false, rules, painted));
  EXPECT_TRUE(t_paintVoxelAt(box, b, flags.data(), mask.data(), false, rules, painted));
  EXPECT_EQ(painted.size(), 2u);
  EXPECT_EQ(flags[box.index(0, 1, 1)], 1);
  EXPECT_EQ(flags[box.index(1, 1, 1)], 1);
  // A painted background voxel erased again goes back to 0.
  painted.clear();
  const double bg[3] = {2.5, 3.5, 0.5};
  EXPECT_TRUE(t_paintVoxelAt(box, bg, flags.data(), mask.data(), true, rules, painted));
  EXPECT_EQ(flags[box.index(2, 3, 0)], 255);
  painted.clear();
  EXPECT_TRUE(t_paintVoxelAt(box, bg, flags.data(), mask.data(), false, rules, painted));
  EXPECT_EQ(flags[box.index(2, 3, 0)], 0);
  // With other regions fixed the brush refuses the erased target voxel and the other region...
  painted.clear();
  const double other[3] = {0.5, 2.5, 1.5};
  EXPECT_FALSE(t_paintVoxelAt(box, a, flags.data(), mask.data(), true, rules, painted));
  EXPECT_FALSE(t_paintVoxelAt(box, other, flags.data(), mask.data(), true, rules, painted));
  EXPECT_EQ(flags[box.index(0, 1, 1)], 1);
  // ...while the lasso repaints the target voxels and still leaves the other region alone.
  const TPoints lasso = {TVec3(0.1, 0.1, 0), TVec3(1.9, 0.1, 0), TVec3(1.9, 3.9, 0), TVec3(0.1, 3.9, 0)};
  t_applyLassoStroke(box, lasso, 0, 0.3, true, rules, flags.data(), mask.data());  // slice z = 1
  EXPECT_EQ(flags[box.index(0, 1, 1)], 255);
  EXPECT_EQ(flags[box.index(1, 3, 1)], 255);
  EXPECT_EQ(flags[box.index(0, 2, 1)], 0);
  // Erase voxel (1,1,1) once more, then finish: 1 -> 0 in the mask, 255 -> T, the rest unchanged.
  painted.clear();
  EXPECT_TRUE(t_paintVoxelAt(box, b, flags.data(), mask.data(), false, rules, painted));
  std::vector<std::uint8_t> before = mask;
  const TMaskCommit c = t_commitFlagsToMask(flags.data(), mask.data(), 64, T, true);
  for (int i = 0; i < 64; ++i) {
    const std::uint8_t want = flags[i] == 255 ? T : flags[i] == 1 ? 0 : before[i];
    ASSERT_EQ(mask[i], want) << i;
  }
  EXPECT_EQ(mask[box.index(1, 1, 1)], 0);
  EXPECT_EQ(mask[box.index(0, 2, 1)], 9);
  EXPECT_TRUE(c.changed[T]);
  EXPECT_TRUE(c.changed[0]);
  EXPECT_FALSE(c.changed[9]);
  EXPECT_EQ(c.voxels[9], 1);
  EXPECT_EQ(c.voxels[T], std::count(mask.begin(), mask.end(), T));
}

TEST(BrushAndLasso, CommitReportsErasedAndPaintedOverRegions) {
  // Region 3 erased entirely, region 4 painted over by a new region 6 without "Fix Other Region".
  std::vector<std::uint8_t> mask = {3, 3, 4, 4, 4, 0, 0, 8};
  std::vector<std::uint8_t> flags = {1, 1, 255, 0, 0, 255, 0, 0};
  const TMaskCommit c = t_commitFlagsToMask(flags.data(), mask.data(), 8, 6, true);
  EXPECT_EQ(mask, (std::vector<std::uint8_t>{0, 0, 6, 4, 4, 6, 0, 8}));
  EXPECT_EQ(c.voxels[3], 0);
  EXPECT_TRUE(c.changed[3]);
  EXPECT_TRUE(c.changed[4]);
  EXPECT_EQ(c.voxels[4], 2);
  EXPECT_FALSE(c.changed[8]);
  EXPECT_EQ(c.written, 2);
}

TEST(Brush, OutlineIsTheCellOfThePaintedVoxel) {
  const double ext[3] = {3.0, 7.5, 2.0};
  const TVoxelBox box(7, 13, 5, ext);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-0.05, 1.05);
  TPaintRules rules;
  int inside = 0;
  for (int t = 0; t < 2000; ++t) {
    const double p[3] = {u(rng) * ext[0], u(rng) * ext[1], u(rng) * ext[2]};
    std::vector<std::uint8_t> flags(box.voxelCount(), 0);
    TPaintedSet painted;
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    const bool has = t_brushOutline(box, p, lo, hi);
    const bool changed = t_paintVoxelAt(box, p, flags.data(), nullptr, true, rules, painted);
    ASSERT_EQ(has, changed);
    const bool inBox = p[0] >= 0 && p[0] <= ext[0] && p[1] >= 0 && p[1] <= ext[1] && p[2] >= 0 && p[2] <= ext[2];
    ASSERT_EQ(has, inBox);
    if (!has) continue;
    ++inside;
    // The outline holds the cursor point and exactly one voxel centre: the painted one.
    int centres = 0;
    for (int k = 0; k < box.D; ++k)
      for (int j = 0; j < box.H; ++j)
        for (int i = 0; i < box.W; ++i) {
          const int ijk[3] = {i, j, k};
          double c[3];
          box.centre(ijk, c);
          const bool within = c[0] > lo[0] && c[0] < hi[0] && c[1] > lo[1] && c[1] < hi[1] && c[2] > lo[2] && c[2] < hi[2];
          centres += within;
          ASSERT_EQ(flags[box.index(i, j, k)] == 255, within);
        }
    ASSERT_EQ(centres, 1);
    for (int a = 0; a < 3; ++a) {
      ASSERT_GE(p[a], lo[a]);
      ASSERT_LE(p[a], hi[a]);
      ASSERT_NEAR(hi[a] - lo[a], box.pitch(a), 1e-12);
    }
    ASSERT_EQ(painted.size(), 1u);
  }
  EXPECT_GT(inside, 1500);
}
