#include "volume/TransFunc_2D.h"

#include <algorithm>
#include <cmath>

namespace {
inline double clamp01(double v) {
  if (!(v > 0)) return 0;  // NaN too
  return v > 1 ? 1 : v;
}
constexpr int kSide = 256;
}  // namespace

TransFunc_2D::~TransFunc_2D() = default;

void TransFunc_2D::init(TGLContextHost* context) {
  allocate(kSide, kSide, context);
  points.assign(1, TTransFuncPoint{0.5, 0.5, 0.1});
  updateTexture(context);
}

void TransFunc_2D::updateTexture(TGLContextHost* context) {
  if (!data) allocate(kSide, kSide, context);
  struct Px {
    double x, y, r2;
  };
  std::vector<Px> px;
  px.reserve(points.size());
  for (const TTransFuncPoint& p : points) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.r)) continue;
    const double r = p.r * H;
    // A point of no radius still marks its own pixel (the limit of the bump) instead of 0/0.
    px.push_back({p.x * W, p.y * H, std::max(r * r, 1e-12)});
  }
  const int w = W, h = H;
  uint8_t* const table = data;
#pragma omp parallel for schedule(static)
  for (int r = 0; r < h; ++r) {
    for (int c = 0; c < w; ++c) {
      double s = 0;
      for (const Px& p : px) {
        const double d2 = (c - p.x) * (c - p.x) + (r - p.y) * (r - p.y);
        if (d2 < 3600) s += std::exp(-d2 / p.r2);
      }
      if (s > 1) s = 1;
      table[4 * (size_t(r) * w + c)] = uint8_t(int(s * 255));
    }
  }
  unbind(context);
}

int TransFunc_2D::pickPoint(int px, int py, int width, int height) const {
  for (size_t i = 0; i < points.size(); ++i) {
    const int dx = int(width * points[i].x) - px;
    const int dy = int(height * points[i].y) - py;
    if (dx * dx + dy * dy < 36) return int(i);
  }
  return -1;
}

void TransFunc_2D::deletePoint(int index, TGLContextHost* context) {
  if (index < 0 || index >= int(points.size())) return;
  points.erase(points.begin() + index);
  updateTexture(context);
}

void TransFunc_2D::movePoint(int index, int px, int py, int width, int height, TGLContextHost* context) {
  if (index < 0 || index >= int(points.size()) || width <= 0 || height <= 0) return;
  points[index].x = clamp01(double(px) / width);
  points[index].y = clamp01(double(py) / height);
  updateTexture(context);
}

void TransFunc_2D::resizePoint(int index, double delta, TGLContextHost* context) {
  if (index < 0 || index >= int(points.size())) return;
  double r = points[index].r + delta;
  if (r < 0.01) r = 0.01;
  if (r > 0.5) r = 0.5;
  points[index].r = r;
  updateTexture(context);
}

void TransFunc_2D::addPoint(int px, int py, int width, int height, TGLContextHost* context) {
  if (width <= 0 || height <= 0) return;
  points.push_back({clamp01(double(px) / width), clamp01(double(py) / height), 0.1});
  updateTexture(context);
}

void TransFunc_2D::setPoints(const std::vector<TTransFuncPoint>& pts, TGLContextHost* context) {
  points = pts;
  updateTexture(context);
}

void TransFunc_2D::overlayPicture(uint8_t* picture, int width, int height) const {
  if (!picture || !data || points.empty() || width <= 0 || height <= 0) return;
  for (int r = height - 1; r >= 2; --r) {
    const int tr = std::min(r * H / height, H - 1);
    for (int c = 1; c <= width - 2; ++c) {
      const int tc = std::min(c * W / width, W - 1);
      const uint8_t v = data[4 * (size_t(tr) * W + tc)];
      if (!v) continue;
      uint8_t* p = picture + 4 * (size_t(r) * width + c);
      p[1] = p[0];
      p[2] = std::max(v, p[0]);
    }
  }
}
