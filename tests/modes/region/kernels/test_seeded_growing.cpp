// Seeded region growing against an independent heapq implementation of the growth rule, its
// refusals, its stop flag, and the display of a result.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "modes/region/kernels/seeded_growing.h"

namespace {

const char* kPython = "/usr/bin/python3";

std::string scriptPath(const char* name) {
  return std::string(KESTRIN_TEST_SOURCE_DIR) + "/scripts/" + name;
}

bool haveNumpy() {
  return std::system((std::string(kPython) + " -c 'import numpy' >/dev/null 2>&1").c_str()) == 0;
}

struct Volume {
  TVoxelBox box;
  std::vector<float> values;
};

// Background with a ramp, a ball and a slab, plus noise; integral values give many equal keys.
Volume makeVolume(int W, int H, int D, const double ext[3], bool integral, unsigned seed) {
  Volume v{TVoxelBox(W, H, D, ext), std::vector<float>(static_cast<std::size_t>(W) * H * D)};
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 9.0);
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const double dx = x - W * 0.55, dy = y - H * 0.5, dz = z - D * 0.5;
        double f = 100.0 + 0.3 * x;
        if (dx * dx + dy * dy + dz * dz < 0.09 * W * W) f = 170.0;
        else if (z < D / 5) f = 40.0;
        f += noise(rng);
        v.values[v.box.index(x, y, z)] = integral ? static_cast<float>(std::lround(f)) : static_cast<float>(f);
      }
  return v;
}

class SrgReference : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveNumpy()) GTEST_SKIP() << kPython << " lacks numpy";
    char d[] = "/tmp/kestrin_srgXXXXXX";
    ASSERT_NE(mkdtemp(d), nullptr);
    dir_ = d;
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Runs the kernel and the reference on the same input and requires identical labels and group
  // statistics.
  void compare(const Volume& v, const std::vector<TSrgGroup>& seeds) {
    const std::string vol = dir_ + "/v.f32", spec = dir_ + "/spec.txt", lab = dir_ + "/lab.u8",
                      stats = dir_ + "/stats.txt";
    {
      std::ofstream f(vol, std::ios::binary);
      f.write(reinterpret_cast<const char*>(v.values.data()), v.values.size() * sizeof(float));
      std::ofstream s(spec);
      s.precision(17);
      s << v.box.W << ' ' << v.box.H << ' ' << v.box.D << ' ' << v.box.extent[0] << ' '
        << v.box.extent[1] << ' ' << v.box.extent[2] << "\ngroups " << seeds.size() << '\n';
      for (const TSrgGroup& g : seeds) {
        s << "seeds " << g.seeds.size() << '\n';
        for (const TVec3& p : g.seeds) s << p[0] << ' ' << p[1] << ' ' << p[2] << '\n';
      }
    }
    const std::string cmd = std::string(kPython) + " '" + scriptPath("srg_reference.py") + "' " +
                            vol + ' ' + spec + ' ' + lab + ' ' + stats;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

    std::vector<TSrgGroup> groups = seeds;
    std::vector<std::uint8_t> labels;
    ASSERT_EQ(t_seededRegionGrowing(v.values.data(), v.box, groups, labels), TSrgStatus::Done);

    std::ifstream lf(lab, std::ios::binary);
    std::vector<char> want((std::istreambuf_iterator<char>(lf)), std::istreambuf_iterator<char>());
    ASSERT_EQ(want.size(), labels.size());
    std::int64_t differ = 0, first = -1;
    for (std::size_t i = 0; i < labels.size(); ++i)
      if (static_cast<std::uint8_t>(want[i]) != labels[i]) {
        if (first < 0) first = static_cast<std::int64_t>(i);
        ++differ;
      }
    EXPECT_EQ(differ, 0) << "first differing voxel " << first;
    for (std::size_t i = 0; i < labels.size(); ++i) ASSERT_NE(labels[i], 0) << "unlabelled voxel " << i;

    std::ifstream sf(stats);
    for (std::size_t g = 0; g < groups.size(); ++g) {
      std::string a, b;
      long long c = 0;
      ASSERT_TRUE(sf >> a >> b >> c);
      EXPECT_EQ(groups[g].sum, std::strtod(a.c_str(), nullptr)) << "group " << g;
      EXPECT_EQ(groups[g].mean, std::strtod(b.c_str(), nullptr)) << "group " << g;
      EXPECT_EQ(groups[g].count, c) << "group " << g;
    }
  }

  std::string dir_;
};

std::vector<TSrgGroup> groupsOf(const std::vector<TPoints>& seeds) {
  std::vector<TSrgGroup> g(seeds.size());
  for (std::size_t i = 0; i < seeds.size(); ++i) g[i].seeds = seeds[i];
  return g;
}

}  // namespace

TEST_F(SrgReference, EqualsHeapqGrowthOn64CubedWithThreeGroups) {
  const double ext[3] = {64.0, 64.0, 64.0};
  const Volume v = makeVolume(64, 64, 64, ext, true, 11);
  compare(v, groupsOf({{TVec3(3.5, 3.5, 32.5), TVec3(60.2, 60.7, 40.1)},
                       {TVec3(35.0, 32.0, 32.0), TVec3(38.3, 30.1, 33.9)},
                       {TVec3(20.5, 40.5, 4.5)}}));
}

// Float values, an odd grid, seeds outside the box, on its far faces, two groups sharing a seed
// voxel (the later group queues the free neighbours with its mean of 0), and a seed beside an
// earlier group's seed (its voxel is already waiting).
TEST_F(SrgReference, EqualsHeapqGrowthWithEdgeSeeds) {
  const double ext[3] = {2.3, 1.7, 1.1};
  const Volume v = makeVolume(23, 17, 11, ext, false, 5);
  compare(v, groupsOf({{TVec3(-0.1, 0.5, 0.5), TVec3(2.3, 1.7, 1.1)},
                       {TVec3(1.25, 0.85, 0.55)},
                       {TVec3(1.26, 0.86, 0.56), TVec3(0.05, 1.65, 0.0)},
                       {TVec3(5.0, 5.0, 5.0)},
                       {TVec3(0.3, 0.2, 0.1), TVec3(0.3, 0.2, 0.1), TVec3(2.0, 0.1, 1.0)},
                       {TVec3(1.35, 0.85, 0.55)}}));
}

// More groups than fit in one 64-bit label set.
TEST_F(SrgReference, EqualsHeapqGrowthWithSeventyGroups) {
  const double ext[3] = {1.0, 1.2, 0.9};
  const Volume v = makeVolume(22, 26, 18, ext, true, 21);
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<TPoints> seeds(70);
  for (TPoints& g : seeds)
    for (int k = 0; k < 2; ++k) g.emplace_back(u(rng) * ext[0], u(rng) * ext[1], u(rng) * ext[2]);
  compare(v, groupsOf(seeds));
}

TEST(SeededGrowing, RefusesWhatCannotBeLabelledAndKeepsTheOldResult) {
  const double ext[3] = {1.0, 1.0, 1.0};
  const Volume v = makeVolume(16, 16, 16, ext, false, 3);
  std::vector<std::uint8_t> labels(7, 9);
  // One group inside and one whose seeds all lie outside the box.
  std::vector<TSrgGroup> g = groupsOf({{TVec3(0.5, 0.5, 0.5)}, {TVec3(1.5, 0.5, 0.5), TVec3(0.5, -1e-9, 0.5)}, {}});
  g[0].mean = 42.0;
  EXPECT_EQ(t_seededRegionGrowing(v.values.data(), v.box, g, labels), TSrgStatus::TooFewGroups);
  EXPECT_STREQ(t_srgStatusMessage(TSrgStatus::TooFewGroups), "複数の制御点が必要です");
  EXPECT_EQ(labels, std::vector<std::uint8_t>(7, 9));
  EXPECT_EQ(g[0].mean, 42.0);
  // 255 groups would need label 255.
  const double ext2[3] = {4.8, 4.8, 0.3};
  const Volume flat = makeVolume(48, 48, 3, ext2, false, 8);
  std::vector<TSrgGroup> many(255);
  for (int i = 0; i < 255; ++i) many[i].seeds = {TVec3((2 * (i % 24) + 0.5) * 0.1, (2 * (i / 24) + 0.5) * 0.1, 0.15)};
  EXPECT_EQ(t_seededRegionGrowing(flat.values.data(), flat.box, many, labels), TSrgStatus::TooManyGroups);
  EXPECT_NE(std::string(t_srgStatusMessage(TSrgStatus::TooManyGroups)), "");
  // 254 groups fit: every label from 1 to 254 is used and every voxel is labelled.
  many.pop_back();
  ASSERT_EQ(t_seededRegionGrowing(flat.values.data(), flat.box, many, labels), TSrgStatus::Done);
  std::vector<int> seen(256, 0);
  for (std::uint8_t l : labels) ++seen[l];
  EXPECT_EQ(seen[0], 0);
  EXPECT_EQ(seen[255], 0);
  for (int l = 1; l <= 254; ++l) EXPECT_GT(seen[l], 0) << l;
  std::int64_t total = 0;
  for (const TSrgGroup& gr : many) total += gr.count;
  EXPECT_EQ(total, flat.box.voxelCount());
  // Seeds side by side: the later seed's voxel is already waiting and is not taken, yet the
  // voxels queued beside it still end in a group.
  std::vector<TSrgGroup> adjacent = groupsOf({{TVec3(0.5, 0.5, 0.5)}, {TVec3(0.5 + 1.0 / 16, 0.5, 0.5)}, {TVec3(0.1, 0.1, 0.1)}});
  ASSERT_EQ(t_seededRegionGrowing(v.values.data(), v.box, adjacent, labels), TSrgStatus::Done);
  EXPECT_EQ(std::count(labels.begin(), labels.end(), 0), 0);
  EXPECT_EQ(adjacent[1].count, 0);
  EXPECT_EQ(adjacent[0].count + adjacent[2].count, v.box.voxelCount());
  // No volume.
  EXPECT_EQ(t_seededRegionGrowing(nullptr, v.box, many, labels), TSrgStatus::NoVolume);
}

// A run on a worker thread reports rising progress and stops, changing nothing, when the
// interface thread raises the stop flag.
TEST(SeededGrowing, ProgressAndStopFromAnotherThread) {
  const double ext[3] = {1.0, 1.0, 1.0};
  const Volume v = makeVolume(48, 48, 48, ext, false, 4);
  const std::vector<TSrgGroup> seeds = groupsOf({{TVec3(0.1, 0.1, 0.5)}, {TVec3(0.55, 0.5, 0.5)}, {TVec3(0.5, 0.5, 0.05)}});

  std::vector<double> fractions;
  std::vector<TSrgGroup> g = seeds;
  std::vector<std::uint8_t> labels;
  TSrgControl c;
  c.progress = [&](double f) { fractions.push_back(f); };
  ASSERT_EQ(t_seededRegionGrowing(v.values.data(), v.box, g, labels, c), TSrgStatus::Done);
  ASSERT_GE(fractions.size(), 2u);
  for (std::size_t i = 1; i < fractions.size(); ++i) EXPECT_GT(fractions[i], fractions[i - 1]);
  EXPECT_EQ(fractions.back(), 1.0);

  std::atomic<bool> stop{false}, started{false};
  std::vector<TSrgGroup> g2 = seeds;
  std::vector<std::uint8_t> labels2(3, 1);
  TSrgControl c2;
  c2.stop = &stop;
  c2.progress = [&](double) {
    started.store(true, std::memory_order_release);
    while (!stop.load(std::memory_order_acquire)) std::this_thread::yield();
  };
  TSrgStatus status = TSrgStatus::Done;
  std::thread worker([&] { status = t_seededRegionGrowing(v.values.data(), v.box, g2, labels2, c2); });
  while (!started.load(std::memory_order_acquire)) std::this_thread::yield();
  stop.store(true, std::memory_order_release);
  worker.join();
  EXPECT_EQ(status, TSrgStatus::Stopped);
  EXPECT_EQ(labels2, std::vector<std::uint8_t>(3, 1));
  EXPECT_EQ(g2[0].count, 0);
}

TEST(SeededGrowing, MeanDisplayThroughTheWindowLevel) {
  EXPECT_EQ(t_srgDisplayByte(50.0, 10.0, 10.0), 0);  // hi == lo
  EXPECT_EQ(t_srgDisplayByte(50.0, 0.0, 100.0), 127);
  EXPECT_EQ(t_srgDisplayByte(-5.0, 0.0, 100.0), 0);
  EXPECT_EQ(t_srgDisplayByte(500.0, 0.0, 100.0), 255);
  EXPECT_EQ(t_srgDisplayByte(NAN, 0.0, 100.0), 0);
  std::vector<TSrgGroup> g(2);
  g[0].mean = 25.0;
  g[1].mean = 75.0;
  std::vector<std::uint8_t> out;
  t_srgMeanDisplay({0, 1, 2, 2, 1}, g, 0.0, 100.0, out);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 63, 191, 191, 63}));
  t_srgMeanDisplay({1, 2}, g, 3.0, 3.0, out);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 0}));
}
