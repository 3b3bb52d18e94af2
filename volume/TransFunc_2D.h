#pragma once
// 256 x 256 transfer function over (intensity, gradient) built from circular control points.
// Only byte 0 (R) of each pixel is computed; the other bytes stay 0.  Point coordinates: x in
// [0, 1] along the width (intensity), y in [0, 1] along the height (gradient), radius in
// [0.01, 0.5] relative to the height.  Editor coordinates count y upwards from the bottom edge.
#include <cstdint>
#include <vector>

#include "volume/TOGL2DImage.h"

class TGLContextHost;

struct TTransFuncPoint {
  double x = 0.5;
  double y = 0.5;
  double r = 0.1;
};

class TransFunc_2D : public TOGL2DImage {
 public:
  std::vector<TTransFuncPoint> points;

  TransFunc_2D() = default;
  ~TransFunc_2D();

  // 256 x 256 zero pixels, one point (0.5, 0.5, 0.1), table rebuilt.
  void init(TGLContextHost* context = nullptr);
  // Recomputes the table from the points and drops the texture.
  void updateTexture(TGLContextHost* context = nullptr);
  // Index of the first point within 6 pixels of (px, py) in a width x height editor, else -1.
  int pickPoint(int px, int py, int width, int height) const;
  void deletePoint(int index, TGLContextHost* context = nullptr);
  void movePoint(int index, int px, int py, int width, int height, TGLContextHost* context = nullptr);
  void resizePoint(int index, double delta, TGLContextHost* context = nullptr);
  // Appends (clamp(px / width), clamp(py / height), 0.1) and rebuilds the table.
  void addPoint(int px, int py, int width, int height, TGLContextHost* context = nullptr);
  std::vector<TTransFuncPoint> copyPoints() const { return points; }
  // Replaces the points and rebuilds the table.
  void setPoints(const std::vector<TTransFuncPoint>& pts, TGLContextHost* context = nullptr);

  // Tints the editor picture (width x height, 4 bytes per pixel B, G, R, A, bottom row first)
  // with the table; nothing when there are no points.  The editor paints the points over it
  // (view/transfunc_paint.h).
  void overlayPicture(uint8_t* picture, int width, int height) const;

  void bindTexture() { TOGL2DImage::bindTexture(); }
};
