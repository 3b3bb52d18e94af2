#include "volume/TOGL3DImage.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/GLContextHost.h"

namespace {
std::atomic<TGLTextureDeleter> g_deleter{nullptr};

}  // namespace

void t_setTextureDeleter(TGLTextureDeleter deleter) { g_deleter = deleter; }

void t_deleteTexture(unsigned int name, TGLContextHost* context) {
  if (name == TOGL3DImage::kNoTexture) return;
  TGLTextureDeleter del = g_deleter.load();
  if (!del) return;  // no texture was ever made, so this name cannot be one
  TGLCurrentGuard guard(context ? context : t_mainGLContext());
  del(name);
}

TOGL3DImage::~TOGL3DImage() {
  t_deleteTexture(texName, nullptr);
  delete[] data;
}

TOGL3DImage::TOGL3DImage(const TOGL3DImage& src) : W(src.W), H(src.H), D(src.D), linear(src.linear) {
  if (src.data) {
    data = new uint8_t[static_cast<size_t>(src.size())];
    std::memcpy(data, src.data, static_cast<size_t>(src.size()));
  }
}

TOGL3DImage& TOGL3DImage::operator=(const TOGL3DImage& src) {
  if (this == &src) return *this;
  clear();
  if (src.data) {
    data = new uint8_t[static_cast<size_t>(src.size())];
    std::memcpy(data, src.data, static_cast<size_t>(src.size()));
    W = src.W;
    H = src.H;
    D = src.D;
  }
  linear = src.linear;
  return *this;
}

void TOGL3DImage::clear(TGLContextHost* context) {
  unbind(context);
  delete[] data;
  data = nullptr;
  W = H = D = 0;
}

void TOGL3DImage::unbind(TGLContextHost* context) {
  t_deleteTexture(texName, context);
  texName = kNoTexture;
}

void TOGL3DImage::allocate(int w, int h, int d, TGLContextHost* context) {
  clear(context);
  if (w <= 0 || h <= 0 || d <= 0) return;
  W = w;
  H = h;
  D = d;
  fprintf(stderr, "system allocates intensity volume image size is %d %d %d\n", w, h, d);
  // Zeroed in parallel blocks: for a large volume the first touch of its pages is most of the
  // cost, and one thread alone takes several times longer.
  const int64_t n = size();
  data = new uint8_t[static_cast<size_t>(n)];
  const int64_t block = int64_t(1) << 20;
#pragma omp parallel for schedule(static)
  for (int64_t b = 0; b < n; b += block) std::memset(data + b, 0, static_cast<size_t>(std::min(block, n - b)));
}

void TOGL3DImage::allocateFromVolume(int w, int h, int d, const float* values, double minimum,
                                     double maximum, TGLContextHost* context) {
  allocate(w, h, d, context);
  if (!data || !values) return;
  const int64_t slice = int64_t(W) * H;
  uint8_t* out = data;  // local: a byte stored through the member could change the member
#pragma omp parallel for schedule(static)
  for (int z = 0; z < D; ++z) {
    const int64_t o = slice * z;
    for (int64_t i = 0; i < slice; ++i) out[o + i] = t_windowLevelByte(values[o + i], minimum, maximum);
  }
}
