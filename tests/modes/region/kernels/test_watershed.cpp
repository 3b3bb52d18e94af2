// Watershed pre-segmentation: slabs, agreement with skimage.segmentation.watershed, compaction,
// line absorption, region records and adjacency, and the worker pipeline's refusals.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "modes/region/kernels/gcut_precompute.h"
#include "modes/region/kernels/watershed.h"

namespace {

std::string sourceDir() {
  return KESTRIN_TEST_SOURCE_DIR;
}

std::string tempDir() {
  char tmpl[] = "/tmp/kestrin_wsXXXXXX";
  const char* d = mkdtemp(tmpl);
  return d ? d : "";
}

template <class T>
void writeRaw(const std::string& path, const std::vector<T>& v) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(v.data()), std::streamsize(v.size() * sizeof(T)));
}

// Smoothed random field: a few passes of a 3x3x3 box filter over uniform noise.
std::vector<float> smoothNoise(int W, int H, int D, unsigned seed, int passes) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<float> v(size_t(W) * H * D), t(v.size());
  for (float& x : v) x = u(rng);
  for (int p = 0; p < passes; ++p) {
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          float s = 0;
          int c = 0;
          for (int dz = -1; dz <= 1; ++dz)
            for (int dy = -1; dy <= 1; ++dy)
              for (int dx = -1; dx <= 1; ++dx) {
                const int xx = x + dx, yy = y + dy, zz = z + dz;
                if (xx < 0 || yy < 0 || zz < 0 || xx >= W || yy >= H || zz >= D) continue;
                s += v[(size_t(zz) * H + yy) * W + xx];
                ++c;
              }
          t[(size_t(z) * H + y) * W + x] = s / c;
        }
    v.swap(t);
  }
  // Stretched to 0 ... 1.
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  const float a = *lo, b = *hi;
  for (float& x : v) x = (x - a) / (b - a);
  return v;
}

}  // namespace

// 512 x 512 slices give slabs of 8 slices; 20 slices are cut 8, 8, 4.  A constant volume is one
// basin per slab, and after compaction and absorption the regions are exactly the slabs.
TEST(Watershed, SlabsOfAConstantVolume) {
  EXPECT_EQ(t_watershedSlabDepth(512, 512), 8);
  EXPECT_EQ(t_watershedSlabDepth(4096, 8192), 0);  // floor(log2) sum 25: refused
  EXPECT_EQ(t_watershedSlabDepth(2048, 2048), 1);  // sum 22: one slice per slab, never 0
  const int W = 512, H = 512, D = 20;
  std::vector<float> values(size_t(W) * H * D, 0.25f);
  std::vector<int> labels;
  ASSERT_EQ(t_calcWatershedBySlabs(W, H, D, values.data(), 1000.0f, labels), TWatershedStatus::Ok);
  ASSERT_EQ(labels.size(), values.size());
  const size_t slice = size_t(W) * H;
  for (int z = 0; z < D; ++z) {
    const int want = z < 8 ? 1 : z < 16 ? 2 : 3;
    for (size_t i = 0; i < slice; i += 997) ASSERT_EQ(labels[z * slice + i], want) << z;
  }
  EXPECT_EQ(t_compactLabels(labels), 3);

  std::vector<float> huge;
  std::vector<int> untouched{7};
  EXPECT_EQ(t_calcWatershedBySlabs(4096, 8192, 1, huge.data(), 1.0f, untouched),
            TWatershedStatus::TooBig);
  EXPECT_EQ(untouched, std::vector<int>{7});
}

// A slab of 2048 x 2048 slices (slab depth below one slice) still runs, one slice per slab.
TEST(Watershed, WideSlicesRunOneSlicePerSlab) {
  const int W = 2048, H = 2048, D = 2;
  std::vector<float> values(size_t(W) * H * D, 0.0f);
  std::vector<int> labels;
  ASSERT_EQ(t_calcWatershedBySlabs(W, H, D, values.data(), 1000.0f, labels), TWatershedStatus::Ok);
  EXPECT_EQ(labels.front(), 1);
  EXPECT_EQ(labels.back(), 2);
}

// Quantised levels clamp instead of wrapping through 16 bits: 65.6 * 1000 is the top level.
TEST(Watershed, LevelsClampToTheTop) {
  EXPECT_EQ(t_watershedLevel(65.6f, 1000.0f), kWsMaxLevel);
  EXPECT_EQ(t_watershedLevel(-0.5f, 1000.0f), 0);
  EXPECT_EQ(t_watershedLevel(std::nanf(""), 1000.0f), 0);
  EXPECT_EQ(t_watershedLevel(0.3017f, 1000.0f), 301);
}

// The same levels through skimage's watershed with our basin minima as markers, 26-connectivity
// and watershed lines (voxels on either result's lines are left out of the comparison).
TEST(Watershed, AgreesWithSkimage) {
  if (std::system("/usr/bin/python3 -c 'import skimage.segmentation' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "/usr/bin/python3 lacks skimage";
  const std::string dir = tempDir();
  ASSERT_FALSE(dir.empty());
  struct Case {
    int W, H, D, passes;
    float scale;
  };
  for (const Case& c : {Case{40, 36, 32, 2, 1000.0f}, Case{48, 40, 24, 8, 400.0f}, Case{30, 30, 30, 1, 100.0f}}) {
    const std::vector<float> v = smoothNoise(c.W, c.H, c.D, 11u + c.W, c.passes);
    std::vector<std::uint16_t> levels(v.size());
    for (size_t i = 0; i < v.size(); ++i) levels[i] = t_watershedLevel(v[i], c.scale);
    std::vector<int> labels(v.size());
    ASSERT_GT(t_watershed3D(c.W, c.H, c.D, v.data(), c.scale, labels.data()), 1);
    writeRaw(dir + "/levels.u16", levels);
    writeRaw(dir + "/labels.i32", labels);
    const std::string cmd = "/usr/bin/python3 " + sourceDir() + "/watershed_skimage.py " +
                            std::to_string(c.W) + " " + std::to_string(c.H) + " " +
                            std::to_string(c.D) + " " + dir + "/levels.u16 " + dir + "/labels.i32";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    double ari = -1;
    int basins = 0;
    const int got = std::fscanf(p, "ari %lf basins %d", &ari, &basins);
    pclose(p);
    ASSERT_EQ(got, 2) << cmd;
    std::printf("%dx%dx%d: %d basins, adjusted Rand index %.4f\n", c.W, c.H, c.D, basins, ari);
    EXPECT_GE(ari, 0.95) << c.W << " basins " << basins;
    EXPECT_GT(basins, 5);
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}

// One-voxel basins become lines; a line voxel takes its nearest-valued face neighbour, the first
// in the order x-1, x+1, y-1, y+1, z-1, z+1 on ties, and never a voxel absorbed in the same pass.
TEST(Watershed, CompactionAndAbsorption) {
  std::vector<int> labels{4, 4, 9, 6, 6, 0, 0};
  EXPECT_EQ(t_compactLabels(labels), 2);
  EXPECT_EQ(labels, (std::vector<int>{1, 1, 0, 2, 2, 0, 0}));
  // x:        0  1  2  3  4  5  6
  const std::vector<float> c1{0, 5, 3, 1, 9, 9, 2};
  t_absorbWatershedLines(7, 1, 1, c1.data(), nullptr, nullptr, labels);
  // voxel 2: |3-5| = |3-1| -> x-1 wins; voxel 5 from voxel 4 (x-1) in pass 1; voxel 6 only in pass 2
  EXPECT_EQ(labels, (std::vector<int>{1, 1, 1, 2, 2, 2, 2}));

  // Three channels: the summed squared difference decides (y-neighbour nearer than x-neighbour).
  std::vector<int> grid{1, 0, 0, 2};  // 2 x 2 slice
  const std::vector<float> a{0, 1, 0, 1}, b{0, 0, 0, 0}, c{0, 3, 0, 3};
  t_absorbWatershedLines(2, 2, 1, a.data(), b.data(), c.data(), grid);
  EXPECT_EQ(grid, (std::vector<int>{1, 2, 1, 2}));
}

// Region records hold their voxels ascending with float sums and means; each adjacent pair is
// stored once, under the smaller region.
TEST(Watershed, RegionsAndAdjacency) {
  const int W = 4, H = 3, D = 2;
  std::vector<int> labels(W * H * D, 0);
  for (int i = 0; i < W * H * D; ++i) labels[i] = (i % W) < 2 ? 3 : 7;
  labels[0] = 1;
  std::vector<float> c1(labels.size()), c3(labels.size());
  for (size_t i = 0; i < c1.size(); ++i) c1[i] = 0.5f * i, c3[i] = 1.0f;
  std::vector<TGCutRegion> regions;
  TGCutAdjacency adj;
  t_buildRegionsAndAdjacency(W, H, D, c1.data(), nullptr, c3.data(), labels, regions, adj);
  ASSERT_EQ(regions.size(), 8u);
  EXPECT_EQ(adj[1], std::vector<int>{3});
  EXPECT_EQ(adj[3], std::vector<int>{7});
  EXPECT_TRUE(adj[7].empty());
  EXPECT_TRUE(regions[0].voxels.empty());
  float sum = 0;
  for (int v : regions[7].voxels) sum += c1[v];
  EXPECT_EQ(regions[7].sum[0], sum);
  EXPECT_EQ(regions[7].mean[0], sum / float(regions[7].voxels.size()));
  EXPECT_EQ(regions[7].mean[1], 0.0f);
  EXPECT_EQ(regions[7].mean[2], 1.0f);
  for (size_t k = 1; k < regions[3].voxels.size(); ++k)
    EXPECT_LT(regions[3].voxels[k - 1], regions[3].voxels[k]);

  std::vector<unsigned char> flags(labels.size(), 0);
  flags[W * H + 3] = 1;  // a voxel of region 7
  t_markTargetRegions(flags.data(), regions);
  EXPECT_EQ(regions[7].inTarget, 1);
  EXPECT_EQ(regions[3].inTarget, 0);
  EXPECT_EQ(regions[1].inTarget, 0);
}

// The worker pipeline: a volume whose every basin is one voxel is refused without a file, a
// stop request ends it without a file, and a normal run covers every voxel with a region.
TEST(Watershed, PrecomputeRefusesStopsAndCompletes) {
  const std::string dir = tempDir();
  ASSERT_FALSE(dir.empty());
  TGCutPrecomputeInput in;
  in.W = in.H = in.D = 1;
  in.gradient = {0.0f};
  in.c1 = {1.0f};
  in.cachePath = dir + "/one.ksgcutprecomp";
  TGCutPrecomp out;
  EXPECT_EQ(t_precomputeGCut(in, out, nullptr), TWatershedStatus::NoBasin);
  EXPECT_TRUE(out.labels.empty());
  EXPECT_NE(access(in.cachePath.c_str(), F_OK), 0);

  in.W = 48, in.H = 40, in.D = 36;
  in.c1 = smoothNoise(in.W, in.H, in.D, 3, 2);
  in.gradient.assign(in.c1.size(), 0.0f);
  for (size_t i = 1; i < in.c1.size(); ++i) in.gradient[i] = std::fabs(in.c1[i] - in.c1[i - 1]);
  in.cachePath = dir + "/vol.ksgcutprecomp";
  std::atomic<bool> stop{true};
  TWatershedStatus st = TWatershedStatus::Ok;
  std::thread worker([&] { st = t_precomputeGCut(in, out, &stop); });
  worker.join();
  EXPECT_EQ(st, TWatershedStatus::Stopped);
  EXPECT_TRUE(out.labels.empty());
  EXPECT_NE(access(in.cachePath.c_str(), F_OK), 0);

  // A stop request while the worker runs: it ends either stopped with nothing published and no
  // file, or complete with both.
  stop = false;
  TGCutPrecomp racing;
  worker = std::thread([&] { st = t_precomputeGCut(in, racing, &stop); });
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  stop = true;
  worker.join();
  if (st == TWatershedStatus::Stopped) {
    EXPECT_TRUE(racing.labels.empty());
    EXPECT_NE(access(in.cachePath.c_str(), F_OK), 0);
  } else {
    EXPECT_EQ(st, TWatershedStatus::Ok);
    EXPECT_EQ(access(in.cachePath.c_str(), F_OK), 0);
  }

  stop = false;
  worker = std::thread([&] { st = t_precomputeGCut(in, out, &stop); });
  worker.join();
  ASSERT_EQ(st, TWatershedStatus::Ok);
  ASSERT_EQ(out.labels.size(), in.c1.size());
  size_t listed = 0;
  for (size_t r = 0; r < out.regions.size(); ++r) {
    listed += out.regions[r].voxels.size();
    for (int v : out.regions[r].voxels) ASSERT_EQ(out.labels[v], int(r));
  }
  EXPECT_EQ(listed, out.labels.size());
  EXPECT_GT(out.regions.size(), 2u);
  EXPECT_EQ(access(in.cachePath.c_str(), F_OK), 0);
  std::system(("rm -rf '" + dir + "'").c_str());
}
