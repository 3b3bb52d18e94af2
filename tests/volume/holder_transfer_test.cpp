// Transfer functions: ramps, stroke painting, curves, the 2-D table and its control points.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "holder_test_util.h"
#include "volume/TransFunc_1D.h"
#include "volume/TransFunc_2D.h"

namespace {
int channelAt(const TransFunc_1D& tf, int entry, int channel) { return tf.data[4 * entry + channel]; }
int tableAt(const TransFunc_2D& tf, int col, int row) { return tf.data[4 * (row * tf.W + col)]; }
}  // namespace

TEST(TransFunc1D, RampResetClearAndTextureDrop) {
  DeleteLog::install();
  TransFunc_1D tf;
  tf.initRamp();
  ASSERT_EQ(tf.N, 256);
  EXPECT_FALSE(tf.linear);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(channelAt(tf, 0, c), 0);
    EXPECT_EQ(channelAt(tf, 255, c), 255);
    EXPECT_EQ(channelAt(tf, 100, c), 100);
  }
  tf.texName = 21;
  tf.clearChannel(2);
  EXPECT_EQ(DeleteLog::names(), std::vector<unsigned int>{21});
  EXPECT_EQ(tf.texName, TOGL1DImage::kNoTexture);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(channelAt(tf, i, 2), 0);
    ASSERT_EQ(channelAt(tf, i, 1), i);
  }
  tf.texName = 22;
  tf.resetChannel(2);
  EXPECT_EQ(DeleteLog::names().back(), 22u);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(channelAt(tf, i, 2), i);
  // Channels outside 0..3 and functions without entries are left alone.
  tf.clearChannel(4);
  tf.paintByStroke(-1, 0, 0, 1, 1);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(channelAt(tf, i, 3), i);
  TransFunc_1D empty;
  empty.resetChannel(0);
  empty.paintByStroke(0, 0, 0, 1, 1);
  EXPECT_EQ(empty.data, nullptr);
}

TEST(TransFunc1D, StrokeSwapsClampsAndCaps) {
  TransFunc_1D tf;
  tf.initRamp();
  // From (0.2, 0) to (0.1, 1): painted from entry 25 (the swapped start) to 52.
  tf.paintByStroke(0, 0.2, 0.0, 0.1, 1.0);
  EXPECT_EQ(channelAt(tf, 24, 0), 24);
  EXPECT_EQ(channelAt(tf, 25, 0), 255);
  EXPECT_EQ(channelAt(tf, 52, 0), 9);  // 1 - 27/28 of the way, not the end value 0
  EXPECT_EQ(channelAt(tf, 53, 0), 53);
  for (int i = 26; i <= 52; ++i) ASSERT_LE(channelAt(tf, i, 0), channelAt(tf, i - 1, 0));
  EXPECT_EQ(channelAt(tf, 30, 1), 30);  // other channels untouched

  // x1 = 1 ends at entry 255; values outside [0, 1] are clamped.
  tf.paintByStroke(3, 0.9, -0.5, 1.0, 2.0);
  EXPECT_EQ(channelAt(tf, 228, 3), 228);
  EXPECT_EQ(channelAt(tf, 229, 3), 0);
  EXPECT_EQ(channelAt(tf, 255, 3), 245);  // (26/27) * 255
  // A stroke beyond the right edge paints only the last entry.
  tf.paintByStroke(1, 1.5, 0.5, 3.0, 0.5);
  EXPECT_EQ(channelAt(tf, 255, 1), 127);
  EXPECT_EQ(channelAt(tf, 254, 1), 254);
}

TEST(TransFunc1D, CurvePoints) {
  TransFunc_1D tf;
  tf.initRamp();
  tf.clearChannel(1);
  const auto ramp = tf.curvePoints(0, 510, 100);
  ASSERT_EQ(ramp.size(), 256u);
  EXPECT_EQ(ramp[0], std::make_pair(0, 100));
  EXPECT_EQ(ramp[255], std::make_pair(510, 0));
  EXPECT_EQ(ramp[100], std::make_pair(200, 60));  // 100 - 10000/255 = 60.78, truncated
  for (const auto& p : tf.curvePoints(1, 510, 90)) ASSERT_EQ(p.second, 90);
}

TEST(TransFunc2D, InitTableAndCutOff) {
  DeleteLog::install();
  TransFunc_2D tf;
  tf.init();
  ASSERT_EQ(tf.W, 256);
  ASSERT_EQ(tf.H, 256);
  ASSERT_EQ(tf.points.size(), 1u);
  EXPECT_EQ(tableAt(tf, 128, 128), 255);
  EXPECT_EQ(tableAt(tf, 0, 0), 0);
  // exp(-d^2 / 25.6^2) at d = 10
  EXPECT_EQ(tableAt(tf, 138, 128), int(std::exp(-100.0 / (25.6 * 25.6)) * 255));
  for (int i = 0; i < 256 * 256; ++i)
    for (int k = 1; k < 4; ++k) ASSERT_EQ(tf.data[4 * i + k], 0);

  // A point of radius 0.5 (128 pixels) still reaches only 60 pixels.
  tf.texName = 31;
  tf.resizePoint(0, 1.0);
  EXPECT_EQ(tf.points[0].r, 0.5);
  EXPECT_EQ(DeleteLog::names(), std::vector<unsigned int>{31});
  EXPECT_GT(tableAt(tf, 128 + 59, 128), 200);
  EXPECT_EQ(tableAt(tf, 128 + 61, 128), 0);
  EXPECT_EQ(tableAt(tf, 128, 128 - 61), 0);
  tf.resizePoint(0, -2.0);
  EXPECT_EQ(tf.points[0].r, 0.01);

  // Two overlapping points saturate at 255, never wrap.
  tf.setPoints({{0.5, 0.5, 0.2}, {0.5, 0.5, 0.2}});
  EXPECT_EQ(tableAt(tf, 128, 128), 255);
  EXPECT_EQ(tableAt(tf, 140, 128), 255);

  // Deleting the only point leaves an all-zero table.
  tf.setPoints({{0.3, 0.7, 0.1}});
  tf.deletePoint(5);
  tf.deletePoint(-1);
  ASSERT_EQ(tf.points.size(), 1u);
  tf.deletePoint(0);
  EXPECT_TRUE(tf.points.empty());
  for (int i = 0; i < 256 * 256; ++i) ASSERT_EQ(tf.data[4 * i], 0);
}

TEST(TransFunc2D, PickMoveAddAndDegeneratePoints) {
  TransFunc_2D tf;
  tf.init();
  // Editor 200 x 100: the point (0.5, 0.5) sits at pixel (100, 50).
  EXPECT_EQ(tf.pickPoint(104, 53, 200, 100), 0);
  EXPECT_EQ(tf.pickPoint(106, 50, 200, 100), -1);  // 36 is not below 36
  tf.addPoint(20, 10, 200, 100);
  ASSERT_EQ(tf.points.size(), 2u);
  EXPECT_DOUBLE_EQ(tf.points[1].x, 0.1);
  EXPECT_DOUBLE_EQ(tf.points[1].y, 0.1);
  EXPECT_EQ(tf.points[1].r, 0.1);
  EXPECT_EQ(tf.pickPoint(21, 11, 200, 100), 1);
  tf.movePoint(1, -30, 500, 200, 100);
  EXPECT_EQ(tf.points[1].x, 0.0);
  EXPECT_EQ(tf.points[1].y, 1.0);
  tf.movePoint(7, 10, 10, 200, 100);  // no such point: nothing happens
  EXPECT_EQ(tf.copyPoints().size(), 2u);
  EXPECT_EQ(tableAt(tf, 0, 255), 254);  // the point sits at row 256, one pixel above

  // Points read from a file may be degenerate: no NaN reaches a byte.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  tf.setPoints({{0.5, 0.5, 0.0}, {nan, 0.5, 0.1}, {0.2, 0.2, nan}});
  EXPECT_EQ(tableAt(tf, 128, 128), 255);
  EXPECT_EQ(tableAt(tf, 129, 128), 0);
  EXPECT_EQ(tableAt(tf, 51, 51), 0);
}

TEST(TransFunc2D, EditorOverlay) {
  TransFunc_2D tf;
  tf.init();
  const int w = 64, h = 64;
  std::vector<uint8_t> pic(w * h * 4);
  for (int i = 0; i < w * h; ++i) pic[4 * i] = 50;  // grey-blue histogram picture (B only)
  tf.overlayPicture(pic.data(), w, h);
  const auto px = [&](int c, int r) { return &pic[4 * (r * w + c)]; };
  EXPECT_EQ(px(32, 32)[1], 50);   // G := B
  EXPECT_EQ(px(32, 32)[2], 255);  // R := max(table, B)
  EXPECT_EQ(px(2, 5)[1], 0);      // table 0 there: untouched
  EXPECT_EQ(px(2, 5)[2], 0);
  // The outermost columns and the two bottom rows are never tinted.
  tf.setPoints({{0.0, 0.0, 0.5}});
  std::fill(pic.begin(), pic.end(), 0);
  tf.overlayPicture(pic.data(), w, h);
  EXPECT_EQ(px(0, 5)[2], 0);
  EXPECT_EQ(px(5, 1)[2], 0);
  EXPECT_GT(px(1, 2)[2], 0);
}
