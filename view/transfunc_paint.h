#pragma once
// Painting the transfer functions into the editor boxes of the rendering panel: the curve of one
// channel of a 1-D function, and the control points of the 2-D function.
#include <QPainter>
#include <QPoint>
#include <cstdint>

#include "volume/TransFunc_1D.h"
#include "volume/TransFunc_2D.h"

// The channel's curvePoints as a polyline with the painter's current pen.
inline void t_drawTransFuncCurve(QPainter& painter, const TransFunc_1D& tf, int channel, int width,
                                 int height) {
  const auto pts = tf.curvePoints(channel, width, height);
  if (pts.size() < 2) return;
  QPoint prev(pts[0].first, pts[0].second);
  for (size_t i = 1; i < pts.size(); ++i) {
    const QPoint p(pts[i].first, pts[i].second);
    painter.drawLine(prev, p);
    prev = p;
  }
}

// Tints the editor picture with the table (TransFunc_2D::overlayPicture), then draws an ellipse
// of 12 x 12 pixels around each point with the painter's pen and brush (painter coordinates have
// y downwards, the points' y counts upwards).  Nothing when there are no points; painter may be
// null (picture only).
inline void t_drawTransFuncPoints(QPainter* painter, const TransFunc_2D& tf, uint8_t* picture,
                                  int width, int height) {
  if (tf.points.empty()) return;
  tf.overlayPicture(picture, width, height);
  if (!painter) return;
  for (const TTransFuncPoint& p : tf.points) {
    const int cx = int(width * p.x);
    const int cy = int(height - height * p.y);
    painter->drawEllipse(cx - 6, cy - 6, 12, 12);
  }
}
