// The region-growing floods against scipy.ndimage.label: the seed's connected component (26- or
// 6-structure) of the voxels that pass the flood's test plus the seed itself, united over the
// seeds; and shape growth against a whole-volume wave computation.
#include <algorithm>
#include <sstream>
#include <thread>

#include "modes/region/kernels/rgrow_flood.h"
#include "rgrow_test_util.h"

using rgrow_test::countDiff;
using rgrow_test::Volume;

namespace {

struct Case {
  int W, H, D, channels;
  float r;  // gives roughly half of the voxels within the distance of a seed
};

// Sizes with rows shorter than, equal to and longer than one 64-bit word, a one-voxel row, and a
// volume large enough for the kernels to split their loops among threads.
const Case kCases[] = {{70, 23, 17, 1, 22.0f}, {130, 9, 11, 2, 33.0f}, {64, 12, 10, 3, 42.0f},
                       {1, 40, 30, 1, 22.0f},  {90, 70, 60, 2, 33.0f}};

// Random box points over a box of extent (W, H, D) * 0.5, one on the far x face and one outside.
TPoints randomSeeds(std::mt19937& rng, const Volume& v, const double extent[3], int count) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  TPoints s;
  for (int k = 0; k < count; ++k) s.emplace_back(u(rng) * extent[0], u(rng) * extent[1], u(rng) * extent[2]);
  s.emplace_back(extent[0], u(rng) * extent[1], u(rng) * extent[2]);
  s.emplace_back(-0.01, u(rng) * extent[1], u(rng) * extent[2]);
  return s;
}

std::string thresholdParams(const TRgrowThresholds& t) {
  std::ostringstream p;
  p.imbue(std::locale::classic());
  p.precision(17);
  p << "lo " << t.minv[0] << " " << t.minv[1] << " " << t.minv[2] << "\nhi " << t.maxv[0] << " " << t.maxv[1] << " "
    << t.maxv[2] << "\nglo " << t.gMin << "\nghi " << t.gMax << "\n";
  return p.str();
}

}  // namespace

class FloodReference : public rgrow_test::Reference {};

TEST_F(FloodReference, DistanceFloodsEqualTheSeedsComponentsOfScipyLabel) {
  std::mt19937 rng(11);
  size_t grownTotal = 0;
  for (const Case& c : kCases) {
    for (bool faceOnly : {false, true}) {
      Volume v(c.W, c.H, c.D, c.channels);
      v.randomise(rng, 0.1);
      const double extent[3] = {0.5 * c.W, 0.5 * c.H, 0.5 * c.D};
      const TPoints seeds = randomSeeds(rng, v, extent, 3);
      std::ostringstream p;
      p.imbue(std::locale::classic());
      p.precision(17);
      p << "test dist\nconn " << (faceOnly ? 6 : 26) << "\nr " << c.r << "\nextent " << extent[0] << " "
        << extent[1] << " " << extent[2] << "\n";
      writeVolume(v, p.str());
      writeSeeds(seeds);
      const std::vector<uint8_t> want = run("flood", v.size());

      std::vector<uint8_t> flags = v.flags;
      ASSERT_EQ(t_regionGrowFromSeeds(v.view(), flags.data(), seeds, extent, c.r, faceOnly), TRgrowStatus::Ok);
      for (uint8_t f : flags) grownTotal += f == 255;
      EXPECT_EQ(countDiff(flags, want, c.W, c.H), 0u)
          << c.W << "x" << c.H << "x" << c.D << " channels " << c.channels << (faceOnly ? " 6" : " 26");
    }
  }
  EXPECT_GT(grownTotal, 5000u) << "the cases should grow well beyond their seeds";
}

TEST_F(FloodReference, ThresholdFloodsEqualTheSeedsComponentsAndTakeTheSeedUntested) {
  std::mt19937 rng(12);
  for (const Case& c : kCases) {
    for (bool faceOnly : {false, true}) {
      Volume v(c.W, c.H, c.D, c.channels);
      v.randomise(rng, 0.1);
      const double extent[3] = {0.5 * c.W, 0.5 * c.H, 0.5 * c.D};
      const TPoints seeds = randomSeeds(rng, v, extent, 3);
      // The first seed's own value lies outside the range: it is still reached.
      TQueueVoxel s0;
      ASSERT_TRUE(t_rgrowSeedVoxel(seeds[0], extent, c.W, c.H, c.D, s0));
      v.ch[0][s0.idx] = -5.0f;
      v.flags[s0.idx] = 1;
      TRgrowThresholds t;
      for (int k = 0; k < 3; ++k) {
        t.minv[k] = 10.0;   // integer values on the bounds occur
        t.maxv[k] = k == 0 ? 80.0 : 95.5;
      }
      t.gMin = 0.02;
      t.gMax = 0.97;
      writeVolume(v, "test thr\nconn " + std::to_string(faceOnly ? 6 : 26) + "\n" + thresholdParams(t) +
                         "extent " + std::to_string(extent[0]) + " " + std::to_string(extent[1]) + " " +
                         std::to_string(extent[2]) + "\n");
      writeSeeds(seeds);
      const std::vector<uint8_t> want = run("flood", v.size());

      std::vector<uint8_t> flags = v.flags;
      ASSERT_EQ(t_regionGrowListFromSeeds(v.view(), flags.data(), seeds, extent, t, faceOnly), TRgrowStatus::Ok);
      EXPECT_EQ(flags[s0.idx], 255);
      EXPECT_EQ(countDiff(flags, want, c.W, c.H), 0u)
          << c.W << "x" << c.H << "x" << c.D << " channels " << c.channels << (faceOnly ? " 6" : " 26");
    }
  }
}

TEST_F(FloodReference, ShapeGrowthEqualsWholeVolumeWaves) {
  std::mt19937 rng(13);
  for (int channels : {1, 3}) {
    for (int coef : {2, 14, 30, 77}) {
      Volume v(24, 20, 18, channels);
      v.randomise(rng, 0.05);
      const double extent[3] = {2.4, 2.0, 1.8};
      const TPoints seeds = randomSeeds(rng, v, extent, 2);
      const float r = channels == 1 ? 30.0f : 55.0f;
      std::ostringstream p;
      p.imbue(std::locale::classic());
      p << "r " << r << "\ncoef " << coef << "\nextent 2.4 2.0 1.8\n";
      writeVolume(v, p.str());
      writeSeeds(seeds);
      const std::vector<uint8_t> want = run("shape", v.size());

      std::vector<uint8_t> flags = v.flags;
      ASSERT_EQ(t_regionGrowShapeFromSeeds(v.view(), flags.data(), seeds, extent, r, coef), TRgrowStatus::Ok);
      EXPECT_EQ(countDiff(flags, want, v.W, v.H), 0u) << "channels " << channels << " coefficient " << coef;

      if (coef <= 2) {  // support never holds a candidate back: the plain 26-neighbour flood
        std::vector<uint8_t> plain = v.flags;
        ASSERT_EQ(t_regionGrowFromSeeds(v.view(), plain.data(), seeds, extent, r, false), TRgrowStatus::Ok);
        EXPECT_EQ(plain, flags);
      }
    }
  }
}

TEST(RegionGrowSeeds, RunRulesAndRefusalsLeaveTheFlagsAsSpecified) {
  std::mt19937 rng(14);
  Volume v(40, 30, 20, 2);
  v.randomise(rng, 0.2);
  const double extent[3] = {4.0, 3.0, 2.0};
  const TRgrowVolume vol = v.view();

  // More than 100 seeds, a missing volume or missing flags: nothing changes.
  TPoints many(101, TVec3(1.0, 1.0, 1.0));
  std::vector<uint8_t> flags = v.flags;
  EXPECT_EQ(t_regionGrowFromSeeds(vol, flags.data(), many, extent, 10.0f, false), TRgrowStatus::TooManySeeds);
  EXPECT_EQ(t_regionGrowShapeFromSeeds(vol, flags.data(), many, extent, 10.0f, 15), TRgrowStatus::TooManySeeds);
  TRgrowVolume noGradient = vol;
  noGradient.gradient = nullptr;
  EXPECT_EQ(t_regionGrowListFromSeeds(noGradient, flags.data(), many, extent, TRgrowThresholds(), false),
            TRgrowStatus::BadInput);
  EXPECT_EQ(flags, v.flags);
  EXPECT_EQ(t_regionGrowFromSeeds(vol, nullptr, {}, extent, 1.0f, false), TRgrowStatus::BadInput);

  // Exactly 100 seeds run.  With r = 0 only the seed voxels (of non-zero flag) end 255.
  many.pop_back();
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<uint8_t> want = v.flags;
  for (uint8_t& f : want)
    if (f) f = 1;
  for (TVec3& s : many) {
    s.set(u(rng) * extent[0], u(rng) * extent[1], u(rng) * extent[2]);
    TQueueVoxel sv;
    ASSERT_TRUE(t_rgrowSeedVoxel(s, extent, v.W, v.H, v.D, sv));
    if (want[sv.idx]) want[sv.idx] = 255;
  }
  for (int kind = 0; kind < 3; ++kind) {
    flags = v.flags;
    const TRgrowStatus st = kind == 0   ? t_regionGrowFromSeeds(vol, flags.data(), many, extent, 0.0f, false)
                            : kind == 1 ? t_regionGrowFromSeeds(vol, flags.data(), many, extent, 0.0f, true)
                                        : t_regionGrowShapeFromSeeds(vol, flags.data(), many, extent, 0.0f, 15);
    ASSERT_EQ(st, TRgrowStatus::Ok);
    EXPECT_EQ(flags, want) << "kind " << kind;
  }

  // A single seed's flood into a scratch volume reaches what a run with that seed extracts.
  TQueueVoxel one;
  ASSERT_TRUE(t_rgrowSeedVoxel(many[0], extent, v.W, v.H, v.D, one));
  v.flags[one.idx] = 1;  // a run skips seeds on voxels of flag 0
  flags = v.flags;
  ASSERT_EQ(t_regionGrowFromSeeds(vol, flags.data(), TPoints{many[0]}, extent, 30.0f, false), TRgrowStatus::Ok);
  std::vector<uint8_t> scratch(v.size(), 7);
  ASSERT_TRUE(t_regionGrowFlood26(vol, v.flags.data(), 30.0f, one, scratch.data()));
  for (size_t i = 0; i < flags.size(); ++i) ASSERT_EQ(scratch[i] == 2, flags[i] == 255) << i;
  EXPECT_FALSE(t_regionGrowFlood6(vol, v.flags.data(), 30.0f, TQueueVoxel(v.W, 0, 0, v.W), scratch.data()));

  // No seeds: only the reset of earlier results.
  flags = v.flags;
  EXPECT_EQ(t_regionGrowFromSeeds(vol, flags.data(), {}, extent, 50.0f, false), TRgrowStatus::Ok);
  for (size_t i = 0; i < flags.size(); ++i) ASSERT_EQ(flags[i], v.flags[i] ? 1 : 0);

  // Seed voxels: the far face maps to the last voxel; outside points and an empty box do not.
  TQueueVoxel s;
  ASSERT_TRUE(t_rgrowSeedVoxel(TVec3(4.0, 3.0, 2.0), extent, v.W, v.H, v.D, s));
  EXPECT_EQ(s.idx, v.W * v.H * v.D - 1);
  EXPECT_FALSE(t_rgrowSeedVoxel(TVec3(4.0000001, 1, 1), extent, v.W, v.H, v.D, s));
  EXPECT_FALSE(t_rgrowSeedVoxel(TVec3(std::nan(""), 1, 1), extent, v.W, v.H, v.D, s));
  const double flat[3] = {0.0, 3.0, 2.0};
  EXPECT_FALSE(t_rgrowSeedVoxel(TVec3(0, 1, 1), flat, v.W, v.H, v.D, s));
}

TEST(RegionGrowSeeds, ProgressRisesToOneOverTheSeeds) {
  std::mt19937 rng(15);
  Volume v(60, 50, 40, 1);
  v.randomise(rng, 0.0);
  const double extent[3] = {6.0, 5.0, 4.0};
  const TPoints seeds = {TVec3(1, 1, 1), TVec3(3, 2.5, 2), TVec3(5, 4, 3), TVec3(-1, 0, 0)};  // the last is skipped
  for (int kind = 0; kind < 2; ++kind) {
    std::vector<double> seen;
    const TRgrowProgress progress = [&](double f) { seen.push_back(f); };
    std::vector<uint8_t> flags = v.flags;
    const TRgrowStatus st = kind == 0 ? t_regionGrowFromSeeds(v.view(), flags.data(), seeds, extent, 60.0f, false, progress)
                                      : t_regionGrowShapeFromSeeds(v.view(), flags.data(), seeds, extent, 60.0f, 15, progress);
    ASSERT_EQ(st, TRgrowStatus::Ok);
    ASSERT_GE(seen.size(), seeds.size()) << "kind " << kind;
    for (size_t k = 1; k < seen.size(); ++k) EXPECT_GE(seen[k], seen[k - 1]) << "kind " << kind;
    EXPECT_GE(seen.front(), 0.0);
    EXPECT_DOUBLE_EQ(seen.back(), 1.0);
  }
}

TEST(RegionGrowSeeds, RunsOnAWorkerThreadGiveTheCallingThreadsResults) {
  // The mode may run a flood on a worker and read the flags once it has joined; a volume above
  // the threads' threshold makes the kernels split their loops, which ThreadSanitizer checks.
  std::mt19937 rng(16);
  Volume v(80, 70, 60, 3);
  v.randomise(rng, 0.05);
  const double extent[3] = {8.0, 7.0, 6.0};
  const TPoints seeds = {TVec3(4, 3.5, 3), TVec3(1, 6, 5)};
  TRgrowThresholds t;
  for (int k = 0; k < 3; ++k) t.minv[k] = 20, t.maxv[k] = 90;
  t.gMax = 1;
  // The flags after each of the three floods.
  auto runAll = [&](std::vector<std::vector<uint8_t>>& results) {
    std::vector<uint8_t> flags = v.flags;
    EXPECT_EQ(t_regionGrowFromSeeds(v.view(), flags.data(), seeds, extent, 45.0f, false), TRgrowStatus::Ok);
    results.push_back(flags);
    EXPECT_EQ(t_regionGrowListFromSeeds(v.view(), flags.data(), seeds, extent, t, true), TRgrowStatus::Ok);
    results.push_back(flags);
    EXPECT_EQ(t_regionGrowShapeFromSeeds(v.view(), flags.data(), seeds, extent, 45.0f, 20), TRgrowStatus::Ok);
    results.push_back(flags);
  };
  std::vector<std::vector<uint8_t>> here, there;
  runAll(here);
  std::thread worker([&] { runAll(there); });
  worker.join();
  ASSERT_EQ(here.size(), 3u);
  EXPECT_TRUE(here == there);
  EXPECT_GT(std::count(here[0].begin(), here[0].end(), 255), 10000);
}
