// Painting the transfer functions into an editor picture: the curve of a 1-D channel and the
// control points of the 2-D function, over the picture tint.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <vector>

#include "view/transfunc_paint.h"

TEST(TransFuncPaint, CurveFollowsTheChannel) {
  TransFunc_1D tf;
  tf.initRamp();
  tf.clearChannel(1);  // channel 1 flat at 0: the bottom line of a 90-pixel box
  QImage img(511, 101, QImage::Format_RGB32);
  img.fill(Qt::black);
  {
    QPainter painter(&img);
    painter.setPen(Qt::white);
    t_drawTransFuncCurve(painter, tf, 1, 510, 90);
  }
  EXPECT_EQ(img.pixel(300, 90), QColor(Qt::white).rgb());
  EXPECT_EQ(img.pixel(300, 50), QColor(Qt::black).rgb());

  // The ramp of channel 0 runs from the bottom left to the top right of a 100-pixel box.
  img.fill(Qt::black);
  {
    QPainter painter(&img);
    painter.setPen(Qt::white);
    t_drawTransFuncCurve(painter, tf, 0, 510, 100);
  }
  EXPECT_EQ(img.pixel(200, 60), QColor(Qt::white).rgb());  // entry 100: (200, 60)
  EXPECT_EQ(img.pixel(200, 90), QColor(Qt::black).rgb());

  // A function without entries draws nothing.
  TransFunc_1D empty;
  img.fill(Qt::black);
  {
    QPainter painter(&img);
    painter.setPen(Qt::white);
    t_drawTransFuncCurve(painter, empty, 0, 510, 100);
  }
  for (int x = 0; x < 511; x += 7)
    for (int y = 0; y < 101; y += 5) ASSERT_EQ(img.pixel(x, y), QColor(Qt::black).rgb());
}

TEST(TransFuncPaint, PointsTintThePictureAndDrawRings) {
  TransFunc_2D tf;
  tf.init();
  const int w = 64, h = 64;
  std::vector<uint8_t> pic(w * h * 4);
  for (int i = 0; i < w * h; ++i) pic[4 * i] = 50;
  // Without a painter only the picture is tinted, as TransFunc_2D::overlayPicture does.
  std::vector<uint8_t> expected = pic;
  tf.overlayPicture(expected.data(), w, h);
  t_drawTransFuncPoints(nullptr, tf, pic.data(), w, h);
  EXPECT_EQ(pic, expected);
  EXPECT_EQ(pic[4 * (32 * w + 32) + 2], 255);

  // A 12 x 12 ellipse around each point, y counted from the bottom.
  tf.setPoints({{0.25, 0.75, 0.1}});
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(Qt::black);
  {
    QPainter painter(&img);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    t_drawTransFuncPoints(&painter, tf, pic.data(), w, h);
  }
  EXPECT_EQ(img.pixel(16, 16), QColor(Qt::white).rgb());
  EXPECT_EQ(img.pixel(16, 48), QColor(Qt::black).rgb());
  EXPECT_EQ(img.pixel(16, 24), QColor(Qt::black).rgb());  // outside the 12-pixel ring

  // No points: neither the picture nor the painter is touched.
  tf.setPoints({});
  std::vector<uint8_t> before = pic;
  img.fill(Qt::black);
  {
    QPainter painter(&img);
    painter.setBrush(Qt::white);
    t_drawTransFuncPoints(&painter, tf, pic.data(), w, h);
  }
  EXPECT_EQ(pic, before);
  EXPECT_EQ(img.pixel(16, 16), QColor(Qt::black).rgb());
}
