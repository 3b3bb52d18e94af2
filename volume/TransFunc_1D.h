#pragma once
// 256-entry RGBA transfer function indexed by an 8-bit value; the four channels are edited
// independently (channel 0..3 = R, G, B, A).  Every edit drops the GL texture.
#include <utility>
#include <vector>

#include "volume/TOGL1DImage.h"

class TGLContextHost;

class TransFunc_1D : public TOGL1DImage {
 public:
  TransFunc_1D() = default;
  virtual ~TransFunc_1D();

  // 256 entries (i, i, i, i), nearest sampling.
  void initRamp(TGLContextHost* context = nullptr);
  // Channel := i in entry i.
  void resetChannel(int channel, TGLContextHost* context = nullptr);
  // Channel := 0 everywhere.
  void clearChannel(int channel, TGLContextHost* context = nullptr);
  // Sets the channel along a stroke from (x0, y0) to (x1, y1), editor coordinates in [0, 1]
  // (x along the entries, y the value).
  void paintByStroke(int channel, double x0, double y0, double x1, double y1,
                     TGLContextHost* context = nullptr);

  // The channel's curve in an editor box of width x height pixels: 256 points, entry 0 first
  // (the editor paints it, view/transfunc_paint.h).
  std::vector<std::pair<int, int>> curvePoints(int channel, int width, int height) const;

  // GL (kvolume_gl): as TOGL1DImage::bindTexture (kept here so callers need one name).
  void bindTexture() { TOGL1DImage::bindTexture(); }
};
