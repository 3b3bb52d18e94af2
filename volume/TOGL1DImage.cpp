#include "volume/TOGL1DImage.h"

#include <cstring>

#include "volume/TOGL3DImage.h"

TOGL1DImage::~TOGL1DImage() {
  t_deleteTexture(texName, nullptr);
  delete[] data;
}

TOGL1DImage::TOGL1DImage(const TOGL1DImage& src) : N(src.N), linear(src.linear) {
  if (src.data) {
    data = new uint8_t[size_t(src.N) * 4];
    std::memcpy(data, src.data, size_t(src.N) * 4);
  }
}

TOGL1DImage& TOGL1DImage::operator=(const TOGL1DImage& src) {
  if (this == &src) return *this;
  clear();
  if (src.data) {
    data = new uint8_t[size_t(src.N) * 4];
    std::memcpy(data, src.data, size_t(src.N) * 4);
    N = src.N;
  }
  linear = src.linear;
  return *this;
}

void TOGL1DImage::clear(TGLContextHost* context) {
  unbind(context);
  delete[] data;
  data = nullptr;
  N = 0;
}

void TOGL1DImage::unbind(TGLContextHost* context) {
  t_deleteTexture(texName, context);
  texName = kNoTexture;
}

void TOGL1DImage::allocate(int n, TGLContextHost* context) {
  clear(context);
  if (n <= 0) return;
  N = n;
  data = new uint8_t[size_t(n) * 4]();
}
