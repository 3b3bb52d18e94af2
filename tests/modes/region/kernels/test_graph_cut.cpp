// Region-level, voxel-level and whole-volume cuts on small volumes whose answer is known.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "modes/region/kernels/graph_cut.h"

namespace {

// A pre-segmentation from given labels and a grey channel.
TGCutPrecomp regionsOf(int W, int H, int D, const std::vector<int>& labels, const std::vector<float>& c1,
                       const std::vector<unsigned char>& flags) {
  TGCutPrecomp pre;
  pre.labels = labels;
  t_buildRegionsAndAdjacency(W, H, D, c1.data(), nullptr, nullptr, pre.labels, pre.regions, pre.adjacency);
  t_markTargetRegions(flags.data(), pre.regions);
  return pre;
}

std::vector<unsigned char> cubeFlags(int n, int lo, int hi, unsigned char in, unsigned char out) {
  std::vector<unsigned char> f(size_t(n) * n * n, out);
  for (int z = lo; z < hi; ++z)
    for (int y = lo; y < hi; ++y)
      for (int x = lo; x < hi; ++x) f[(size_t(z) * n + y) * n + x] = in;
  return f;
}

}  // namespace

// Control points outside the box give no seed; inside ones map to truncated voxel coordinates.
TEST(GraphCut, SeedVoxelsFromControlPoints) {
  const double extent[3] = {10.0, 5.0, 2.0};
  std::vector<TGCutCtrlPoint> pts = {{9.99, 0.1, 1.0, 1}, {10.0, 5.0, 2.0, 1}, {10.01, 1, 1, 1},
                                     {0.0, 0.0, 0.0, 0}, {-0.1, 1, 1, 0}, {9.99, 0.1, 1.0, 1}};
  std::vector<int> fore, back;
  t_gcutSeedVoxels(pts, extent, 10, 5, 4, fore, back);
  EXPECT_EQ(fore, (std::vector<int>{9 + 10 * (0 + 5 * 2), 9 + 10 * (4 + 5 * 3)}));
  EXPECT_EQ(back, std::vector<int>{0});
}

// a = 0: every in-target region goes to the side of the nearer seed colour; regions outside the
// target and their voxels stay as they are; without seeds nothing is extracted.
TEST(GraphCut, RegionCutWithoutSmoothingFollowsSeedColours) {
  const int W = 8;
  const std::vector<int> labels{0, 0, 1, 1, 2, 2, 3, 3};
  const std::vector<float> c1{0.0f, 0.0f, 0.9f, 0.9f, 0.2f, 0.2f, 0.7f, 0.7f};
  std::vector<unsigned char> flags{1, 1, 1, 1, 1, 1, 0, 0};
  TGCutPrecomp pre = regionsOf(W, 1, 1, labels, c1, flags);
  ASSERT_TRUE(t_graphCutRegionLevel(W, 1, 1, 0.0, {2}, {0}, c1.data(), nullptr, nullptr, pre, flags.data()));
  EXPECT_EQ(flags, (std::vector<unsigned char>{1, 1, 255, 255, 1, 1, 0, 0}));
  EXPECT_EQ(pre.regions[1].sourceSide, 1);
  EXPECT_EQ(pre.regions[3].sourceSide, 0);  // outside the target: hard sink

  std::vector<unsigned char> none{1, 255, 1, 255, 1, 1, 0, 0};
  ASSERT_TRUE(t_graphCutRegionLevel(W, 1, 1, 0.0, {}, {}, c1.data(), nullptr, nullptr, pre, none.data()));
  EXPECT_EQ(none, (std::vector<unsigned char>{1, 1, 1, 1, 1, 1, 0, 0}));
}

// One region holding a foreground and a background seed far apart is split between them and the
// halves take opposite sides; two such regions become the four new regions R ... R + 3.
TEST(GraphCut, RegionsHoldingBothSeedsAreSplit) {
  const int W = 10, H = 2;
  std::vector<int> labels(W * H);
  std::vector<float> c1(W * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      labels[y * W + x] = y;  // region 0: row 0, region 1: row 1
      c1[y * W + x] = 0.1f * x;
    }
  std::vector<unsigned char> flags(W * H, 1);
  TGCutPrecomp pre = regionsOf(W, H, 1, labels, c1, flags);
  // Row 0: foreground at x = 9, background at x = 0; row 1 likewise.
  ASSERT_TRUE(t_graphCutRegionLevel(W, H, 1, 1.0, {9, W + 9}, {0, W}, c1.data(), nullptr, nullptr,
                                    pre, flags.data()));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      EXPECT_EQ(flags[y * W + x], x >= 5 ? 255 : 1) << x << "," << y;
      // the first split (row 0) gives 2 and 3, the second (row 1) 4 and 5
      EXPECT_EQ(pre.labels[y * W + x], 2 + 2 * y + (x >= 5)) << x << "," << y;
    }
  ASSERT_EQ(pre.regions.size(), 6u);
  EXPECT_TRUE(pre.regions[0].voxels.empty());
  EXPECT_TRUE(pre.regions[1].voxels.empty());
}

// Seeds take their own flood's label at once: a foreground seed next to the background seed and
// seeds two voxels apart keep their own sides.
TEST(GraphCut, SplitKeepsEachSeedOnItsSide) {
  std::vector<int> labels(7, 3);
  t_splitRegionBetweenSeeds(7, 1, 1, 9, /*f=*/2, /*b=*/3, labels);
  EXPECT_EQ(labels, (std::vector<int>{11, 11, 11, 10, 10, 10, 10}));
  labels.assign(7, 3);
  t_splitRegionBetweenSeeds(7, 1, 1, 9, /*f=*/1, /*b=*/3, labels);
  EXPECT_EQ(labels[1], 11);
  EXPECT_EQ(labels[3], 10);
  EXPECT_EQ(labels[0], 11);
  EXPECT_EQ(labels[6], 10);
  // A background seed in another region: nothing happens.
  labels.assign(7, 3);
  labels[5] = 4;
  t_splitRegionBetweenSeeds(7, 1, 1, 9, 1, 5, labels);
  EXPECT_EQ(std::count(labels.begin(), labels.end(), 3), 6);
}

// An extracted component without a foreground seed falls back to 1.
TEST(GraphCut, ComponentsWithoutSeedFallBack) {
  std::vector<unsigned char> flags{255, 255, 1, 255, 255, 0, 255};
  t_keepSeedComponents(7, 1, 1, {4, 5}, flags.data());
  EXPECT_EQ(flags, (std::vector<unsigned char>{1, 1, 1, 255, 255, 0, 1}));
}

// The band of the voxel cut: an extraction one voxel larger than the bright cube it should hold
// is pulled onto the cube's edge; without any extracted voxel every non-zero flag becomes 1.
TEST(GraphCut, VoxelCutMovesTheBoundaryToTheEdge) {
  const int n = 18;
  std::vector<unsigned char> flags = cubeFlags(n, 2, 16, 255, 1);
  std::vector<float> c1(flags.size(), 0.0f);
  for (int z = 3; z < 15; ++z)
    for (int y = 3; y < 15; ++y)
      for (int x = 3; x < 15; ++x) c1[(size_t(z) * n + y) * n + x] = 3.0f;
  ASSERT_TRUE(t_graphCutVoxelLevel(n, n, n, 1, 1000.0, c1.data(), nullptr, nullptr, flags.data()));
  EXPECT_EQ(flags, cubeFlags(n, 3, 15, 255, 1));

  // a = 0 and s = 1 on a cube of 255 in a volume of 1: the band is the shell three voxels thick
  // around the cube's surface layer.  Its inner layer is tied to the extraction, its outer layer
  // to the outside, the surface layer itself to neither (it ends on the sink side), and
  // everything deeper or farther stays.
  flags = cubeFlags(n, 3, 15, 255, 1);
  ASSERT_TRUE(t_graphCutVoxelLevel(n, n, n, 1, 0.0, c1.data(), nullptr, nullptr, flags.data()));
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const int dIn = std::min({x - 3, y - 3, z - 3, 14 - x, 14 - y, 14 - z});  // 0: surface layer
        const unsigned char f = flags[(size_t(z) * n + y) * n + x];
        if (dIn >= 2) {
          EXPECT_EQ(f, 255) << "deep voxel";
        } else if (dIn <= 0) {
          EXPECT_EQ(f, 1) << "surface layer or outside";
        }
      }
  // Face-centre voxels of the inner layer touch the deep part: hard source.
  EXPECT_EQ(flags[(size_t(9) * n + 9) * n + 4], 255);

  std::vector<unsigned char> noExtraction(flags.size(), 1);
  noExtraction[7] = 0;
  ASSERT_TRUE(t_graphCutVoxelLevel(n, n, n, 2, 1000.0, c1.data(), nullptr, nullptr, noExtraction.data()));
  EXPECT_EQ(std::count(noExtraction.begin(), noExtraction.end(), 1), long(flags.size()) - 1);
  EXPECT_EQ(noExtraction[7], 0);
}

// The whole-volume cut keeps the bright part connected to the foreground seed; a bright part
// without a seed and the not-eligible voxels are left out.
TEST(GraphCut, WholeVolumeCut) {
  const int W = 12, H = 6, D = 4;
  std::vector<float> c1(W * H * D, 0.0f);
  std::vector<unsigned char> flags(c1.size(), 1);
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const size_t i = (size_t(z) * H + y) * W + x;
        if ((x >= 1 && x <= 4) || x >= 8) c1[i] = 1.0f;  // two bright slabs apart
        if (x == 11 && y == 0) flags[i] = 0;
      }
  const int seedF = 2 + W * (2 + H * 1), seedB = 6;
  ASSERT_TRUE(t_graphCutWholeVolume(W, H, D, 0.5, {seedF}, {seedB}, c1.data(), flags.data()));
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const size_t i = (size_t(z) * H + y) * W + x;
        const unsigned char want = (x == 11 && y == 0) ? 0 : (x >= 1 && x <= 4) ? 255 : 1;
        ASSERT_EQ(flags[i], want) << x << "," << y << "," << z;
      }
}

// Cuts whose graphs do not fit in memory are refused with a message and change nothing.
TEST(GraphCut, GraphsBeyondMemoryAreRefused) {
  const int n = 16;
  std::vector<unsigned char> flags = cubeFlags(n, 4, 12, 255, 1);
  const std::vector<unsigned char> before = flags;
  std::vector<float> c1(flags.size(), 0.0f);
  std::string why;
  EXPECT_FALSE(t_graphCutVoxelLevel(n, n, n, 2, 10.0, c1.data(), nullptr, nullptr, flags.data(), &why, 4096));
  EXPECT_NE(why.find("too large"), std::string::npos);
  EXPECT_EQ(flags, before);
  why.clear();
  EXPECT_FALSE(t_graphCutWholeVolume(n, n, n, 10.0, {0}, {1}, c1.data(), flags.data(), &why, 4096));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(flags, before);

  std::vector<int> labels(flags.size());
  for (size_t i = 0; i < labels.size(); ++i) labels[i] = int(i % 7);
  TGCutPrecomp pre = regionsOf(n, n, n, labels, c1, flags);
  why.clear();
  EXPECT_FALSE(t_graphCutRegionLevel(n, n, n, 10.0, {3}, {5}, c1.data(), nullptr, nullptr, pre,
                                     flags.data(), &why, 100));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(flags, before);
  // Fits with the default limit (the memory the system reports).
  EXPECT_TRUE(t_graphCutVoxelLevel(n, n, n, 2, 10.0, c1.data(), nullptr, nullptr, flags.data(), &why));
}
