// Thresholds of the flag volume: raw values against numpy, HSV against Python's colorsys (with a
// channel whose data range is empty normalising to 0), and the voxel read-out.
#include <algorithm>
#include <sstream>

#include "modes/region/kernels/rgrow_threshold.h"
#include "modes/region/kernels/voxel_readout.h"
#include "rgrow_test_util.h"

using rgrow_test::countDiff;
using rgrow_test::Volume;

namespace {

std::string list3(const char* key, const double v[3]) {
  std::ostringstream p;
  p.imbue(std::locale::classic());
  p.precision(17);
  p << key << " " << v[0] << " " << v[1] << " " << v[2] << "\n";
  return p.str();
}

std::string scalar(const char* key, double v) {
  std::ostringstream p;
  p.imbue(std::locale::classic());
  p.precision(17);
  p << key << " " << v << "\n";
  return p.str();
}

}  // namespace

class ThresholdReference : public rgrow_test::Reference {};

TEST_F(ThresholdReference, RawThresholdEqualsNumpyForOneToThreeChannels) {
  std::mt19937 rng(31);
  for (int channels = 1; channels <= 3; ++channels) {
    Volume v(33, 17, 9, channels);
    v.randomise(rng, 0.15);
    TRgrowThresholds t;
    const double lo[3] = {12.0, 30.0, 5.0}, hi[3] = {70.0, 88.0, 97.0};  // integer values sit on them
    for (int k = 0; k < 3; ++k) t.minv[k] = lo[k], t.maxv[k] = hi[k];
    t.gMin = 0.1;
    t.gMax = 0.9;
    writeVolume(v, list3("lo", lo) + list3("hi", hi) + scalar("glo", t.gMin) + scalar("ghi", t.gMax));
    const std::vector<uint8_t> want = run("threshold", v.size());
    std::vector<uint8_t> flags = v.flags;
    std::vector<double> seen;
    ASSERT_EQ(t_runThreshold(v.view(), flags.data(), t, [&](double f) { seen.push_back(f); }), TRgrowStatus::Ok);
    EXPECT_EQ(countDiff(flags, want, v.W, v.H), 0u) << channels << " channels";
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_DOUBLE_EQ(seen.back(), 1.0);
    // Narrower ranges turn earlier 255 voxels back to 1.
    t.maxv[0] = t.minv[0];
    ASSERT_EQ(t_runThreshold(v.view(), flags.data(), t), TRgrowStatus::Ok);
    for (size_t i = 0; i < flags.size(); ++i) {
      if (flags[i] == 255) {
        ASSERT_EQ(v.ch[0][i], 12.0f);
      }
    }
  }
}

TEST_F(ThresholdReference, HsvEqualsColorsysIncludingGreyAndAnEmptyChannelRange) {
  std::mt19937 rng(32);
  for (int emptyChannel : {-1, 1}) {
    Volume v(25, 16, 12, 3);
    v.randomise(rng, 0.1);
    for (size_t i = 0; i < v.size(); i += 7) v.ch[1][i] = v.ch[2][i] = v.ch[0][i];  // grey voxels
    v.ch[0][3] = v.ch[1][3] = v.ch[2][3] = 0.0f;                                   // black
    TRgrowChannelRanges ranges;
    for (int k = 0; k < 3; ++k) {
      if (k == emptyChannel) std::fill(v.ch[k].begin(), v.ch[k].end(), 40.0f);
      ranges.lo[k] = *std::min_element(v.ch[k].begin(), v.ch[k].end());
      ranges.hi[k] = *std::max_element(v.ch[k].begin(), v.ch[k].end());
    }
    TRgrowThresholds b;
    b.minv[0] = 40.0, b.maxv[0] = 250.0;
    b.minv[1] = 0.1, b.maxv[1] = 1.0;
    b.minv[2] = 0.2, b.maxv[2] = 0.95;
    b.gMin = 0.05, b.gMax = 0.9;
    writeVolume(v, list3("lo", ranges.lo) + list3("hi", ranges.hi) + list3("blo", b.minv) + list3("bhi", b.maxv) +
                       scalar("glo", b.gMin) + scalar("ghi", b.gMax));
    const std::vector<uint8_t> want = run("hsv", v.size());
    const std::vector<double> hsv = readRaw<double>("hsv.f64", 3 * v.size());

    std::vector<uint8_t> flags = v.flags;
    ASSERT_EQ(t_runThresholdHsv(v.view(), flags.data(), b, ranges), TRgrowStatus::Ok);
    size_t nearBound = 0, selected = 0;
    for (size_t i = 0; i < v.size(); ++i) {
      const TRgrowHsv mine = t_rgrowHsv(v.ch[0][i], v.ch[1][i], v.ch[2][i], ranges);
      ASSERT_NEAR(mine.h, hsv[3 * i], 1e-9) << i;
      ASSERT_NEAR(mine.s, hsv[3 * i + 1], 1e-12) << i;
      ASSERT_NEAR(mine.v, hsv[3 * i + 2], 1e-12) << i;
      selected += flags[i] == 255;
      if (flags[i] == want[i]) continue;
      // Only rounding at a bound may disagree.
      const double d[3] = {mine.h, mine.s, mine.v};
      bool close = false;
      for (int k = 0; k < 3; ++k)
        close |= std::fabs(d[k] - b.minv[k]) < 1e-9 || std::fabs(d[k] - b.maxv[k]) < 1e-9;
      EXPECT_TRUE(close) << "voxel " << i << " flag " << int(flags[i]) << " reference " << int(want[i]);
      ++nearBound;
    }
    EXPECT_LT(nearBound, 3u);
    EXPECT_GT(selected, 20u);
  }
  // One- and two-channel volumes are not thresholded in HSV.
  Volume grey(4, 4, 4, 2);
  std::vector<uint8_t> flags(grey.size(), 1);
  EXPECT_EQ(t_runThresholdHsv(grey.view(), flags.data(), TRgrowThresholds(), TRgrowChannelRanges()),
            TRgrowStatus::BadInput);
  EXPECT_EQ(flags, std::vector<uint8_t>(grey.size(), 1));
}

TEST(RgrowThreshold, FloatBoundsAdmitExactlyTheFloatsTheDoubleBoundsAdmit) {
  // Values at and around the float nearest to each bound, compared with the double test.
  const double bounds[] = {0.1, 1.0 / 3, 12.0, -2.5e-3, 1e-45, 3.4e38, 3.5e38, 1e300, -1e300, 0.0};
  std::vector<float> values;
  for (double b : bounds) {
    float f = static_cast<float>(b);
    for (int k = 0; k < 3; ++k) f = std::nextafter(f, -INFINITY);
    for (int k = 0; k < 7; ++k, f = std::nextafter(f, INFINITY)) values.push_back(f);
  }
  values.push_back(NAN);
  values.push_back(INFINITY);
  values.push_back(-INFINITY);
  Volume v(static_cast<int>(values.size()), 1, 1, 1);
  v.ch[0] = values;
  v.grad = values;
  for (double lo : bounds)
    for (double hi : bounds) {
      TRgrowThresholds t;
      t.minv[0] = t.gMin = lo;
      t.maxv[0] = t.gMax = hi;
      const TRgrowFloatThreshold<1> test(v.view(), t);
      for (size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(test(i), t_rgrowPassesThreshold(v.view(), i, t)) << values[i] << " in [" << lo << ", " << hi << "]";
    }
}

TEST(VoxelReadout, PicksTheClampedVoxelAndFormatsByChannels) {
  Volume v(10, 5, 4, 3);
  for (size_t i = 0; i < v.size(); ++i) v.ch[0][i] = v.ch[1][i] = v.ch[2][i] = 0.5f * i;
  v.ch[0][v.size() - 1] = 12.5f;
  const double extent[3] = {1.0, 0.5, 0.4};
  TRgrowChannelRanges ranges;
  for (int k = 0; k < 3; ++k) ranges.lo[k] = ranges.hi[k] = 3.0;  // empty ranges: all normalise to 0

  TRgrowVolume one = v.view();
  one.channels = 1;
  TVoxelReadout r = t_voxelReadout(one, TVec3(1.0, 0.5, 0.4), extent, true, ranges);  // far corner
  EXPECT_EQ(r.i, 9);
  EXPECT_EQ(r.j, 4);
  EXPECT_EQ(r.k, 3);
  EXPECT_EQ(r.text, "intensity:12.50");
  r = t_voxelReadout(one, TVec3(-3.0, std::nan(""), 99.0), extent, true, ranges);  // outside the box
  EXPECT_EQ(r.i, 0);
  EXPECT_EQ(r.j, 0);
  EXPECT_EQ(r.k, 3);

  const TVec3 p(0.25, 0.15, 0.0);  // voxel (2, 1, 0), index 12, value 6
  TRgrowVolume two = v.view();
  two.channels = 2;
  EXPECT_EQ(t_voxelReadout(two, p, extent, true, ranges).text, "R:6.00 G:6.00");
  EXPECT_EQ(t_voxelReadout(v.view(), p, extent, true, ranges).text, "R:6.00 G:6.00 B:6.00");
  EXPECT_EQ(t_voxelReadout(v.view(), p, extent, false, ranges).text, "H:0.0 S:0.000 V:0.000");
  EXPECT_EQ(t_voxelReadout(TRgrowVolume(), p, extent, true, ranges).text, "");
}
