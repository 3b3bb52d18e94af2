#include "volume/TOGL2DImage.h"

#include <cstdio>
#include <cstring>

#include "platform/ImageCodec.h"
#include "volume/TOGL3DImage.h"

namespace {
// A BMP stores its rows bottom first unless its header height is negative.  Other formats are
// read top row first.
bool bmpIsBottomUp(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char h[26];
  const size_t n = fread(h, 1, sizeof(h), f);
  fclose(f);
  if (n < sizeof(h) || h[0] != 'B' || h[1] != 'M') return false;
  const uint32_t dibSize = h[14] | (h[15] << 8) | (h[16] << 16) | (uint32_t(h[17]) << 24);
  if (dibSize == 12) return true;  // OS/2 core header: unsigned 16-bit height, always bottom-up
  const int32_t height = int32_t(h[22] | (h[23] << 8) | (h[24] << 16) | (uint32_t(h[25]) << 24));
  return height > 0;
}
}  // namespace

TOGL2DImage::~TOGL2DImage() {
  t_deleteTexture(texName, nullptr);
  delete[] data;
}

TOGL2DImage::TOGL2DImage(const TOGL2DImage& src) : W(src.W), H(src.H), linear(src.linear) {
  if (src.data) {
    const size_t n = size_t(src.W) * src.H * 4;
    data = new uint8_t[n];
    std::memcpy(data, src.data, n);
  }
}

TOGL2DImage& TOGL2DImage::operator=(const TOGL2DImage& src) {
  if (this == &src) return *this;
  clear();
  if (src.data) {
    const size_t n = size_t(src.W) * src.H * 4;
    data = new uint8_t[n];
    std::memcpy(data, src.data, n);
    W = src.W;
    H = src.H;
  }
  linear = src.linear;
  return *this;
}

void TOGL2DImage::clear(TGLContextHost* context) {
  unbind(context);
  delete[] data;
  data = nullptr;
  W = H = 0;
}

void TOGL2DImage::unbind(TGLContextHost* context) {
  t_deleteTexture(texName, context);
  texName = kNoTexture;
}

void TOGL2DImage::allocate(int w, int h, TGLContextHost* context) {
  clear(context);
  if (w <= 0 || h <= 0) return;
  W = w;
  H = h;
  data = new uint8_t[size_t(w) * h * 4]();
}

bool TOGL2DImage::allocateFromFile(const std::string& path, bool* bottomUp, TGLContextHost* context) {
  TRgbPicture src;
  if (!t_imageCodec().read(path, src) || src.W <= 0 || src.H <= 0) return false;
  if (bottomUp) *bottomUp = bmpIsBottomUp(path);
  allocate(src.W, src.H, context);
  if (!data) return false;
  const size_t n = size_t(W) * H;
  for (size_t i = 0; i < n; ++i) {
    data[4 * i + 0] = src.rgb[3 * i + 0];
    data[4 * i + 1] = src.rgb[3 * i + 1];
    data[4 * i + 2] = src.rgb[3 * i + 2];
    data[4 * i + 3] = 128;
  }
  return true;
}

bool TOGL2DImage::saveAsFile(const std::string& path) const {
  if (!data || W <= 0 || H <= 0) return false;
  TRgbPicture out;
  out.W = W;
  out.H = H;
  out.rgb.resize(size_t(W) * H * 3);
  const size_t n = size_t(W) * H;
  for (size_t i = 0; i < n; ++i) {
    out.rgb[3 * i + 0] = data[4 * i + 0];
    out.rgb[3 * i + 1] = data[4 * i + 1];
    out.rgb[3 * i + 2] = data[4 * i + 2];
  }
  return t_imageCodec().writeBmp(path, out);
}
