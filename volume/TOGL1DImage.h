#pragma once
// A row of RGBA entries kept in main memory together with the GL 1-D texture made from it (colour
// tables, 1-D transfer functions).  The texture is made on the first bind and dropped whenever the
// entries change; the next bind uploads them again.
#include <cstdint>

class TGLContextHost;

class TOGL1DImage {
 public:
  static constexpr unsigned int kNoTexture = 0xFFFFFFFFu;  // "no GL texture" (-1)

  uint8_t* data = nullptr;         // N x 4 bytes, entry i at 4i: R, G, B, A
  unsigned int texName = kNoTexture;
  int N = 0;
  bool linear = true;              // GL_LINEAR when set, else GL_NEAREST

  TOGL1DImage() = default;
  ~TOGL1DImage();
  // A copy owns its own entries and never shares the original's GL texture.
  TOGL1DImage(const TOGL1DImage& src);
  TOGL1DImage& operator=(const TOGL1DImage& src);

  // Texture dropped (context made current around it; null = the main view's), entries freed.
  void clear(TGLContextHost* context = nullptr);
  // Only the GL texture is dropped; the entries stay and are uploaded again by the next bind.
  void unbind(TGLContextHost* context = nullptr);
  // N entries of zero bytes (after clear).
  void allocate(int n, TGLContextHost* context = nullptr);

  // GL (kvolume_gl): binds, creating and uploading the texture on first use.  Needs a current
  // context.  Does nothing without entries.
  void bindTexture();
};
