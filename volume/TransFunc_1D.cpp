#include "volume/TransFunc_1D.h"

#include <algorithm>
#include <cmath>

namespace {
inline double clamp01(double v) {
  if (!(v > 0)) return 0;  // NaN too
  return v > 1 ? 1 : v;
}
}  // namespace

TransFunc_1D::~TransFunc_1D() = default;

void TransFunc_1D::initRamp(TGLContextHost* context) {
  allocate(256, context);
  linear = false;
  for (int i = 0; i < 256; ++i)
    for (int k = 0; k < 4; ++k) data[4 * i + k] = uint8_t(i);
}

void TransFunc_1D::resetChannel(int channel, TGLContextHost* context) {
  if (!data || channel < 0 || channel > 3) return;
  for (int i = 0; i < N && i < 256; ++i) data[4 * i + channel] = uint8_t(i);
  unbind(context);
}

void TransFunc_1D::clearChannel(int channel, TGLContextHost* context) {
  if (!data || channel < 0 || channel > 3) return;
  for (int i = 0; i < N; ++i) data[4 * i + channel] = 0;
  unbind(context);
}

void TransFunc_1D::paintByStroke(int channel, double x0, double y0, double x1, double y1,
                                 TGLContextHost* context) {
  if (!data || N < 256 || channel < 0 || channel > 3) return;
  if (x0 > x1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  x0 = clamp01(x0);
  y0 = clamp01(y0);
  x1 = clamp01(x1);
  y1 = clamp01(y1);
  const int i0 = int(x0 * 255);
  const int i1 = std::min(int(x1 * 255 + 1.0), 255);
  if (i0 <= i1) {
    const int n = i1 - i0 + 1;
    const double step = (y1 - y0) / n;
    for (int i = i0; i <= i1; ++i) data[4 * i + channel] = uint8_t(int((y0 + (i - i0) * step) * 255));
  }
  unbind(context);
}

std::vector<std::pair<int, int>> TransFunc_1D::curvePoints(int channel, int width, int height) const {
  std::vector<std::pair<int, int>> pts;
  if (!data || N < 256 || channel < 0 || channel > 3) return pts;
  pts.reserve(256);
  for (int i = 0; i < 256; ++i) {
    const int v = data[4 * i + channel];
    pts.emplace_back(int(i * (width / 255.0)), int(height - (v * height) / 255.0));
  }
  return pts;
}
